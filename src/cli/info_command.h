// `rizuvira-cli info DISC [--json]`: what the main window's list shows of a disc.
#pragma once

#include <cstdio>

namespace rizuvira::cli {

// Exit codes shared by the commands.
inline constexpr int kExitDone = 0;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitCannotOpen = 3;

int RunInfo(const char* disc_path, bool json, std::FILE* out, std::FILE* err);

}  // namespace rizuvira::cli
