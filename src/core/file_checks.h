// SPDX-License-Identifier: GPL-2.0-or-later
// Reading a named pipe, a socket or a character device blocks until someone
// writes to it, and a program blocked in open() ignores Ctrl+C. Every file
// the program reads is checked first.
#pragma once

#include <filesystem>
#include <string>

namespace rizuvira::core {

// Empty when `path` is a regular file (or, with `block_device`, a block
// device, as a disc drive is); otherwise the words that follow the path in a
// message: " is missing", " is a named pipe, not a file", ...
std::string NotAFileReason(const std::filesystem::path& path, bool block_device = false);

// Empty when `path` is missing or reads as NotAFileReason allows.
inline std::string NotAFileReasonIfPresent(const std::filesystem::path& path) {
    std::error_code error;
    if (std::filesystem::symlink_status(path, error).type() ==
        std::filesystem::file_type::not_found)
        return {};
    return NotAFileReason(path);
}

}  // namespace rizuvira::core
