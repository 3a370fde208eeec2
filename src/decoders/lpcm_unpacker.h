// SPDX-License-Identifier: GPL-2.0-or-later
// LpcmUnpacker: DVD LPCM payload (the splitter has removed the private-stream and LPCM
// headers) to interleaved signed 16-bit samples in host byte order.
//
// DVD LPCM is big-endian and comes in blocks of two sample frames. 16-bit: the block is the
// 2 x channels words. 20- and 24-bit: the block first holds the top 16 bits of both frames
// (2 x channels big-endian words, frame by frame), then the low 4 or 8 bits of each sample
// (channels or 2 x channels bytes). The top 16 bits are the 16-bit sample, so the unpacker
// keeps the words and skips the rest. A block split across payloads is carried over.
//
// Not thread-safe: one streaming thread owns it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rizuvira::decoders {

class LpcmUnpacker {
public:
    // bits: 16, 20 or 24; channels: 1 to 8. False (and nothing set) otherwise.
    bool Configure(int bits, int channels);

    // Appends the samples of every whole block in `data` (and the carried part) to `out`.
    // Returns the number of sample frames appended.
    std::size_t Unpack(const uint8_t* data, std::size_t size, std::vector<int16_t>* out);
    // Bytes of the carried partial block (fewer than one block).
    std::size_t PendingBytes() const { return carry_.size(); }
    void Reset() { carry_.clear(); }

    int block_bytes() const { return block_bytes_; }
    int channels() const { return channels_; }

private:
    void UnpackBlock(const uint8_t* block, std::vector<int16_t>* out) const;

    int bits_ = 16;
    int channels_ = 2;
    int block_bytes_ = 8;  // two sample frames
    std::vector<uint8_t> carry_;
};

}  // namespace rizuvira::decoders
