// SPDX-License-Identifier: GPL-2.0-or-later
// What a window's button did, as the app classes tell their windows.
#pragma once

#include <string>

namespace rizuvira::app {

// `ok` false leaves the window open with `message` shown (when not empty).
struct FormOutcome {
    bool ok = true;
    std::string message;
};

}  // namespace rizuvira::app
