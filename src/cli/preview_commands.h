// SPDX-License-Identifier: GPL-2.0-or-later
// `rizuvira-cli snapshot` and `rizuvira-cli play`: the preview player without
// a window.
#pragma once

#include <string>
#include <vector>

namespace rizuvira::cli {

// snapshot DISC --title N --at TIME -o FILE: the picture the preview shows at
// TIME (seconds, or hh:mm:ss[.mmm]) saved as BMP, JPEG or GIF by FILE's
// extension.
int RunSnapshot(const std::vector<std::string>& args);

// play DISC --title N: plays the title with sound (silent without a sound
// device), showing the position.
int RunPlay(const std::vector<std::string>& args);

}  // namespace rizuvira::cli
