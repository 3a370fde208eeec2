// SPDX-License-Identifier: GPL-2.0-or-later
// Which paths dropped on the main window open as a disc or file, and where
// the file windows open after one was opened.
//
// Threads: any; nothing shared.
#pragma once

#include <filesystem>

namespace rizuvira::app {

// True for what a drop on the main window opens: a file (an ISO image or a
// media file; opening it says when it cannot be read), a folder holding
// VIDEO_TS or BDMV, or the VIDEO_TS or BDMV folder itself.
bool IsOpenableDiscPath(const std::filesystem::path& path);

// The folder the file windows open in after `opened` was opened: the one
// holding the image or file, or holding the disc folder (for a VIDEO_TS
// folder, the one above its disc folder), so that the next disc beside it is
// one click away. Empty for a path without a parent.
std::filesystem::path FolderToRemember(const std::filesystem::path& opened);

}  // namespace rizuvira::app
