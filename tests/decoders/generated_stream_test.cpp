// SPDX-License-Identifier: GPL-2.0-or-later
// Streams the sample discs do not carry, made with the ffmpeg tool: MPEG-1 video (B-frames,
// square pixels) and DTS sound, cut into payloads the way a demultiplexer delivers them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "decoders/decoder_chain.h"
#include "decoders/decoder_interfaces.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::decoders {
namespace {

namespace fx = rizuvira::fixtures;
using rizuvira::decoders::CLSID_MpegAudioDecoder;
using rizuvira::decoders::CLSID_MpegVideoDecoder;

std::string Generated(const std::string& name, const std::string& ffmpeg_arguments) {
    const std::filesystem::path folder =
        std::filesystem::path(RIZUVIRA_BINARY_DIR) / "tests" / "decoders" / "generated";
    std::filesystem::create_directories(folder);
    const std::string path = (folder / name).string();
    const std::string command =
        "ffmpeg -nostdin -v error -y " + ffmpeg_arguments + " '" + path + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return path;
}

// 50 pictures at 25 fps whose luma is 16 + 4 x the picture number.
TEST(GeneratedStreams, Mpeg1VideoWithBFramesComesOutInDisplayOrder) {
    const std::string path = Generated(
        "counting.mpg",
        "-f lavfi -i "
        "\"color=c=black:s=352x240:r=25:d=2,format=yuv420p,geq=lum='N*4+16':cb=128:cr=128\" "
        "-c:v mpeg1video -g 12 -bf 2 -q:v 2 -f mpeg");
    const VobFile file = ReadProgramStream(path);
    const CMediaType type = Mpeg1VideoType(file);
    DecoderChain chain(CLSID_MpegVideoDecoder, type, [](const uint8_t* data, long bytes) -> double {
        if (bytes < 352 * 240 * 3 / 2) return -1;
        double sum = 0;
        for (int y = 100; y < 140; ++y)
            for (int x = 150; x < 200; ++x) sum += data[y * 352 + x];
        return (sum / (40 * 50) - 16) / 4;
    });
    ASSERT_EQ(chain.Connect(), S_OK);
    const auto* vih = chain.OutputType().FormatAs<VIDEOINFOHEADER2>();
    ASSERT_NE(vih, nullptr);
    EXPECT_EQ(vih->bmiHeader.biWidth, 352);
    EXPECT_EQ(vih->bmiHeader.biHeight, 240);
    EXPECT_EQ(vih->dwPictAspectRatioX, 22u);  // square pixels: 352:240
    EXPECT_EQ(vih->dwPictAspectRatioY, 15u);
    chain.Start();
    for (const VobPacket& p : file.packets)
        if (p.stream_id == 0xE0) {
            ASSERT_EQ(chain.Push(p), S_OK);
        }
    ASSERT_EQ(chain.source()->EndOfStream(), S_OK);
    const std::vector<Arrival> frames = chain.sink()->arrivals();
    ASSERT_EQ(frames.size(), 50u);
    for (std::size_t n = 0; n < frames.size(); ++n) {
        SCOPED_TRACE(n);
        EXPECT_NEAR(frames[n].value, static_cast<double>(n), 0.3);
        EXPECT_NEAR(static_cast<double>(frames[n].start - frames[0].start),
                    static_cast<double>(n) * 400000, 1.0);
        EXPECT_EQ(frames[n].stop - frames[n].start, 400000);
    }
}

// DTS in 2 KiB pieces that ignore frame boundaries, stamped only at the start.
TEST(GeneratedStreams, DtsDecodesToStereoWithTheTone) {
    const std::string path =
        Generated("tone.dts",
                  "-f lavfi -i sine=frequency=1000:sample_rate=48000:duration=2 -ac 2 -c:a dca "
                  "-strict -2 -b:a 768k -f dts");
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 100000u);

    std::vector<float> left;
    DecoderChain chain(CLSID_MpegAudioDecoder, DtsType(2),
                       [&left](const uint8_t* data, long size) -> double {
                           const auto* pcm = reinterpret_cast<const int16_t*>(data);
                           for (long i = 0; i + 1 < size / 2; i += 2)
                               left.push_back(pcm[i] / 32768.0f);
                           return static_cast<double>(size / 4);
                       });
    chain.sink()->Refuse(MEDIASUBTYPE_IEEE_FLOAT);  // a 16-bit consumer
    ASSERT_EQ(chain.Connect(), S_OK);
    chain.Start();
    for (std::size_t offset = 0; offset < bytes.size(); offset += 2048) {
        VobPacket piece;
        piece.stream_id = 0x88;
        piece.data.assign(
            bytes.begin() + static_cast<std::ptrdiff_t>(offset),
            bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), offset + 2048)));
        if (offset == 0) piece.start_100ns = UNITS;
        ASSERT_EQ(chain.Push(piece), S_OK);
    }
    ASSERT_EQ(chain.source()->EndOfStream(), S_OK);
    const std::vector<Arrival> blocks = chain.sink()->arrivals();
    ASSERT_FALSE(blocks.empty());
    EXPECT_EQ(blocks.front().start, UNITS);
    for (std::size_t i = 1; i < blocks.size(); ++i)
        EXPECT_NEAR(static_cast<double>(blocks[i].start), static_cast<double>(blocks[i - 1].stop),
                    2.0);
    // Two seconds of sound (the encoder pads the last frame).
    EXPECT_GE(left.size(), 2u * 48000);
    EXPECT_LT(left.size(), 2u * 48000 + 2 * 4096);
    const double amplitude =
        fx::ToneAmplitude(std::span<const float>(left.data() + 24000, 4800), 48000, 1000);
    // The sine source's level, 1/8, less 3 dB: ffmpeg spreads the mono source over both sides.
    EXPECT_NEAR(amplitude, 0.125 * std::sqrt(0.5), 0.01);
}

}  // namespace
}  // namespace rizuvira::decoders
