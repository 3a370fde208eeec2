// SPDX-License-Identifier: GPL-2.0-or-later
#include "core/file_checks.h"

namespace rizuvira::core {

std::string NotAFileReason(const std::filesystem::path& path, bool block_device) {
    namespace fs = std::filesystem;
    std::error_code error;
    switch (fs::status(path, error).type()) {
        case fs::file_type::regular:
            return {};
        case fs::file_type::block:
            if (block_device) return {};
            return " is a block device, not a file";
        case fs::file_type::not_found:
            return " is missing";
        case fs::file_type::directory:
            return " is a folder, not a file";
        case fs::file_type::fifo:
            return " is a named pipe, not a file";
        case fs::file_type::socket:
            return " is a socket, not a file";
        case fs::file_type::character:
            return " is a character device, not a file";
        default:
            return error ? ": " + error.message() : " is not a file";
    }
}

}  // namespace rizuvira::core
