// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/dropped_paths.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <system_error>

namespace rizuvira::app {

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace

bool IsOpenableDiscPath(const fs::path& path) {
    std::error_code error;
    if (fs::is_directory(path, error)) {
        const fs::path folder = path.filename().empty() ? path.parent_path() : path;
        const std::string name = Lower(folder.filename().string());
        if (name == "video_ts" || name == "bdmv") return true;
        for (const char* inside : {"VIDEO_TS", "video_ts", "BDMV"})
            if (fs::is_directory(path / inside, error)) return true;
        return false;
    }
    // Images and media files; opening says what it cannot read.
    return fs::is_regular_file(path, error);
}

fs::path FolderToRemember(const fs::path& opened) {
    std::error_code error;
    fs::path path = fs::absolute(opened, error).lexically_normal();
    if (path.filename().empty()) path = path.parent_path();  // "movie/" is "movie"
    if (Lower(path.filename().string()) == "video_ts") path = path.parent_path();
    return path.has_relative_path() ? path.parent_path() : fs::path();
}

}  // namespace rizuvira::app
