// SPDX-License-Identifier: GPL-2.0-or-later
// DVD LPCM unpacking for the word lengths the sample discs do not carry (20 and 24 bits), and
// blocks cut at every possible place between payloads.
#include <gtest/gtest.h>

#include "decoders/lpcm_unpacker.h"

namespace rizuvira::decoders {
namespace {

using rizuvira::decoders::LpcmUnpacker;

// Packs two frames of `channels` samples (given as 24-bit values) the way DVD LPCM stores them.
std::vector<uint8_t> PackBlock(const std::vector<int32_t>& frames, int channels, int bits) {
    std::vector<uint8_t> block;
    for (int32_t s : frames) {  // top 16 bits of frame 0, then of frame 1
        block.push_back(static_cast<uint8_t>((s >> 16) & 0xFF));
        block.push_back(static_cast<uint8_t>((s >> 8) & 0xFF));
    }
    if (bits == 20) {
        for (int c = 0; c < channels; ++c)
            block.push_back(static_cast<uint8_t>(
                (frames[static_cast<std::size_t>(c)] & 0xF0) |
                ((frames[static_cast<std::size_t>(channels + c)] >> 4) & 0x0F)));
    } else if (bits == 24) {
        for (int32_t s : frames) block.push_back(static_cast<uint8_t>(s & 0xFF));
    }
    return block;
}

TEST(LpcmUnpacker, KeepsTheTopSixteenBitsOfEveryWordLength) {
    const std::vector<int32_t> frames = {0x123456,  -0x345678, 0x7FFFFF,
                                         -0x800000, 0x000010,  -0x000001};
    for (int bits : {16, 20, 24}) {
        for (int channels : {1, 3}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, " << channels << " channels");
            std::vector<int32_t> block_frames(frames.begin(), frames.begin() + 2 * channels);
            LpcmUnpacker unpacker;
            ASSERT_TRUE(unpacker.Configure(bits, channels));
            const std::vector<uint8_t> block = PackBlock(block_frames, channels, bits);
            ASSERT_EQ(static_cast<int>(block.size()), unpacker.block_bytes());
            std::vector<int16_t> out;
            EXPECT_EQ(unpacker.Unpack(block.data(), block.size(), &out), 2u);
            ASSERT_EQ(out.size(), block_frames.size());
            for (std::size_t i = 0; i < out.size(); ++i)
                EXPECT_EQ(out[i], static_cast<int16_t>(block_frames[i] >> 8)) << i;
        }
    }
}

TEST(LpcmUnpacker, BlocksSplitAcrossPayloadsComeOutWhole) {
    LpcmUnpacker unpacker;
    ASSERT_TRUE(unpacker.Configure(20, 2));
    std::vector<uint8_t> stream;
    std::vector<int16_t> expected;
    for (int b = 0; b < 5; ++b) {
        const std::vector<int32_t> frames = {b * 1000 * 256, -b * 999 * 256, (b + 7) * 4096,
                                             -(b + 3) * 4096};
        const std::vector<uint8_t> block = PackBlock(frames, 2, 20);
        stream.insert(stream.end(), block.begin(), block.end());
        for (int32_t s : frames) expected.push_back(static_cast<int16_t>(s >> 8));
    }
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        SCOPED_TRACE(cut);
        unpacker.Reset();
        std::vector<int16_t> out;
        std::size_t frames = unpacker.Unpack(stream.data(), cut, &out);
        EXPECT_LT(unpacker.PendingBytes(), static_cast<std::size_t>(unpacker.block_bytes()));
        frames += unpacker.Unpack(stream.data() + cut, stream.size() - cut, &out);
        EXPECT_EQ(frames, 10u);
        EXPECT_EQ(out, expected);
        EXPECT_EQ(unpacker.PendingBytes(), 0u);
    }
}

TEST(LpcmUnpacker, RefusesFormatsDvdLpcmDoesNotHave) {
    LpcmUnpacker unpacker;
    EXPECT_FALSE(unpacker.Configure(12, 2));
    EXPECT_FALSE(unpacker.Configure(16, 0));
    EXPECT_FALSE(unpacker.Configure(16, 9));
    EXPECT_TRUE(unpacker.Configure(24, 8));
    EXPECT_EQ(unpacker.block_bytes(), 48);
}

}  // namespace
}  // namespace rizuvira::decoders
