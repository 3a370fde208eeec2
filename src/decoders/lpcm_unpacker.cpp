// SPDX-License-Identifier: GPL-2.0-or-later
#include "decoders/lpcm_unpacker.h"

#include <algorithm>

namespace rizuvira::decoders {

bool LpcmUnpacker::Configure(int bits, int channels) {
    if ((bits != 16 && bits != 20 && bits != 24) || channels < 1 || channels > 8) return false;
    bits_ = bits;
    channels_ = channels;
    block_bytes_ = channels * 2 * bits / 8;
    carry_.clear();
    return true;
}

void LpcmUnpacker::UnpackBlock(const uint8_t* block, std::vector<int16_t>* out) const {
    // The first 2 x channels big-endian words of every block are the two frames' top bits.
    for (int i = 0; i < 2 * channels_; ++i)
        out->push_back(
            static_cast<int16_t>(static_cast<uint16_t>(block[2 * i] << 8 | block[2 * i + 1])));
}

std::size_t LpcmUnpacker::Unpack(const uint8_t* data, std::size_t size, std::vector<int16_t>* out) {
    const std::size_t block = static_cast<std::size_t>(block_bytes_);
    std::size_t frames = 0;
    if (!carry_.empty()) {
        const std::size_t take = std::min(block - carry_.size(), size);
        carry_.insert(carry_.end(), data, data + take);
        data += take;
        size -= take;
        if (carry_.size() < block) return 0;
        UnpackBlock(carry_.data(), out);
        carry_.clear();
        frames += 2;
    }
    while (size >= block) {
        UnpackBlock(data, out);
        data += block;
        size -= block;
        frames += 2;
    }
    carry_.assign(data, data + size);
    return frames;
}

}  // namespace rizuvira::decoders
