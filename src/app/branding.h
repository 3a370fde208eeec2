// SPDX-License-Identifier: GPL-2.0-or-later
// The branding file of the desktop program: its title and home page.
//
// Threads: any; nothing shared.
#pragma once

#include <filesystem>
#include <string>

namespace rizuvira::app {

// Set.xml: the application title and the home page address. A missing file
// or element leaves its text empty.
struct Branding {
    std::string title;
    std::string url;
};
Branding ReadBranding(const std::filesystem::path& file);

}  // namespace rizuvira::app
