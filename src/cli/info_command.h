// SPDX-License-Identifier: GPL-2.0-or-later
// `rizuvira-cli info DISC [--json]`: what the main window's list shows of a disc.
#pragma once

#include <cstdio>

namespace rizuvira::cli {

// Exit codes shared by the commands.
inline constexpr int kExitDone = 0;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitCannotOpen = 3;

int RunInfo(const char* disc_path, bool json, std::FILE* out, std::FILE* err);

// `rizuvira-cli drives`: each optical drive and mounted disc on a line, with
// the volume name of the disc in it ("/dev/sr0\tMY_MOVIE", "/dev/sr0\t" for
// an empty drive); "No DVD drive was found." on standard error when there is
// none. Returns kExitDone.
int RunDrives(bool json, std::FILE* out);

}  // namespace rizuvira::cli
