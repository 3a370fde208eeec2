// SPDX-License-Identifier: GPL-2.0-or-later
// A fixed-size ring of bytes between the audio converter's input and output samples.
//
// Sound is kept in whole frames where it matters: when a write does not fit, the excess is
// dropped in whole frames (the front of the write is kept), and a read takes whole frames, so
// that channels never swap after an overflow. Not thread-safe: one streaming thread uses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rizuvira::filters {

class ByteRing {
public:
    explicit ByteRing(std::size_t capacity_bytes);

    // Copies the first bytes of `data` that fit; the rest (rounded up to whole frames of
    // `frame_bytes`) is dropped. Returns the bytes written.
    std::size_t Write(const uint8_t* data, std::size_t bytes, std::size_t frame_bytes);
    // Copies up to `max_bytes` (whole frames) into `dest`; returns the bytes read.
    std::size_t Read(uint8_t* dest, std::size_t max_bytes, std::size_t frame_bytes);

    std::size_t capacity_bytes() const { return data_.size(); }

private:
    std::vector<uint8_t> data_;
    std::size_t read_ = 0;
    std::size_t write_ = 0;
    std::size_t fill_ = 0;
};

}  // namespace rizuvira::filters
