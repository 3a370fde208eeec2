// Which paths dropped on the main window open as a disc or file.
//
// Threads: any; nothing shared.
#pragma once

#include <filesystem>

namespace rizuvira::app {

// True for what a drop on the main window opens: a file (an ISO image or a
// media file; opening it says when it cannot be read), a folder holding
// VIDEO_TS or BDMV, or the VIDEO_TS or BDMV folder itself.
bool IsOpenableDiscPath(const std::filesystem::path& path);

}  // namespace rizuvira::app
