// SPDX-License-Identifier: GPL-2.0-or-later
#include "filters/byte_ring.h"

#include <algorithm>
#include <cstring>

namespace rizuvira::filters {

ByteRing::ByteRing(std::size_t capacity_bytes) : data_(capacity_bytes) {}

std::size_t ByteRing::Write(const uint8_t* data, std::size_t bytes, std::size_t frame_bytes) {
    const std::size_t unit = std::max<std::size_t>(frame_bytes, 1);
    const std::size_t free_bytes = data_.size() - fill_;
    if (bytes > free_bytes) {
        const std::size_t dropped = (bytes - free_bytes + unit - 1) / unit * unit;
        bytes = bytes > dropped ? bytes - dropped : 0;
    }
    if (bytes == 0) return 0;
    const std::size_t first = std::min(bytes, data_.size() - write_);
    std::memcpy(data_.data() + write_, data, first);
    std::memcpy(data_.data(), data + first, bytes - first);
    write_ = (write_ + bytes) % data_.size();
    fill_ += bytes;
    return bytes;
}

std::size_t ByteRing::Read(uint8_t* dest, std::size_t max_bytes, std::size_t frame_bytes) {
    const std::size_t unit = std::max<std::size_t>(frame_bytes, 1);
    const std::size_t bytes = std::min(max_bytes, fill_) / unit * unit;
    if (bytes == 0) return 0;
    const std::size_t first = std::min(bytes, data_.size() - read_);
    std::memcpy(dest, data_.data() + read_, first);
    std::memcpy(dest + first, data_.data(), bytes - first);
    read_ = (read_ + bytes) % data_.size();
    fill_ -= bytes;
    return bytes;
}

}  // namespace rizuvira::filters
