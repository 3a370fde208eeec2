// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/branding.h"

#include "core/xml_navigator.h"

namespace rizuvira::app {

namespace fs = std::filesystem;

Branding ReadBranding(const fs::path& file) {
    Branding branding;
    core::XmlNavigator nav;
    if (!nav.LoadFile(file) || !nav.FindChild("Profile")) return branding;
    nav.StepIn();
    if (nav.FindChild("Title")) {
        nav.StepIn();
        branding.title = nav.Attribute("value");
        nav.StepOut();
    }
    nav.Reset();
    nav.FindChild("Profile");
    nav.StepIn();
    if (nav.FindChild("Url")) {
        nav.StepIn();
        branding.url = nav.Attribute("value");
        nav.StepOut();
    }
    return branding;
}

}  // namespace rizuvira::app
