// SPDX-License-Identifier: GPL-2.0-or-later
// The clip information reader on the files of real Blu-ray discs, and on
// files that lie about their lengths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "demux/clip_info.h"

namespace rizuvira::demux {
namespace {

namespace fs = std::filesystem;

const fs::path kRealFiles = fs::path(RIZUVIRA_SOURCE_DIR) / "tests" / "data" / "clpi";

std::vector<uint8_t> Bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Blu-ray discs give each kind of stream its own PID range.
bool KindMatchesPid(const ClipStreamEntry& s) {
    const bool video = s.coding_type == 0x1B || s.coding_type == 0x24 || s.coding_type == 0x02 ||
                       s.coding_type == 0xEA;
    const bool audio = (s.coding_type >= 0x80 && s.coding_type <= 0x86) || s.coding_type == 0xA1 ||
                       s.coding_type == 0xA2;
    if (s.pid == 0x1011 || (s.pid >= 0x1B00 && s.pid <= 0x1B1F)) return video;
    if ((s.pid >= 0x1100 && s.pid <= 0x111F) || (s.pid >= 0x1A00 && s.pid <= 0x1A1F)) return audio;
    if (s.pid >= 0x1200 && s.pid <= 0x121F) return s.coding_type == 0x90;
    if (s.pid >= 0x1400 && s.pid <= 0x141F) return s.coding_type == 0x91;
    if (s.pid >= 0x1800 && s.pid <= 0x181F) return s.coding_type == 0x92;
    return true;
}

TEST(ClipInfo, EveryRealFileReadsWithStreamsOfTheirKind) {
    int files = 0, version_0300 = 0;
    for (const auto& entry : fs::recursive_directory_iterator(kRealFiles)) {
        if (entry.path().extension() != ".clpi") continue;
        SCOPED_TRACE(entry.path().string());
        ++files;
        const std::vector<uint8_t> bytes = Bytes(entry.path());
        version_0300 += std::string(bytes.begin() + 4, bytes.begin() + 8) == "0300";
        ClipInfoList list;
        ASSERT_EQ(LoadClipInfo(entry.path(), &list), ClipInfoResult::kOk);
        EXPECT_TRUE(list.loaded);
        ASSERT_FALSE(list.streams.empty());
        for (const ClipStreamEntry& stream : list.streams) {
            EXPECT_TRUE(KindMatchesPid(stream))
                << std::hex << stream.pid << " " << stream.coding_type;
            if (stream.coding_type >= 0x80 && stream.coding_type <= 0x86) {
                EXPECT_EQ(std::strlen(stream.language), 3u);
                EXPECT_NE(stream.channel_layout, 0);
            }
        }
    }
    EXPECT_EQ(files, 57);
    EXPECT_GT(version_0300, 0) << "the 0300 files read like 0200";
}

// Read by hand from the bytes of disc1/00008.clpi.
TEST(ClipInfo, ReadsWhatTheBytesSay) {
    ClipInfoList list;
    ASSERT_EQ(LoadClipInfo(kRealFiles / "disc1" / "00008.clpi", &list), ClipInfoResult::kOk);
    ASSERT_EQ(list.streams.size(), 7u);
    const ClipStreamEntry* video = FindClipStream(list, 0x1011);
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->coding_type, 0x1B);
    EXPECT_EQ(video->video_format, 6);  // 1080i
    EXPECT_EQ(video->frame_rate, 1);    // 23.976
    EXPECT_EQ(video->aspect_ratio, 3);  // 16:9
    const ClipStreamEntry* sound = FindClipStream(list, 0x1100);
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(sound->coding_type, 0x80);    // LPCM
    EXPECT_EQ(sound->channel_layout, 3);    // stereo
    EXPECT_EQ(sound->sample_rate_code, 1);  // 48 kHz
    EXPECT_STREQ(sound->language, "jpn");
    EXPECT_EQ(FindClipStream(list, 0x1FFF), nullptr);
}

// A small file: one program of two streams, the first with coding
// information longer than what is read.
std::vector<uint8_t> SmallFile(const char* version) {
    std::vector<uint8_t> b;
    for (const char c : std::string("HDMV") + version) b.push_back(static_cast<uint8_t>(c));
    for (const uint8_t c : {0, 0, 0, 0, 0, 0, 0, 20, 0, 0, 0, 0})
        b.push_back(c);  // program information at 20
    const std::vector<uint8_t> program = {
        0,    0,    0, 0,    0x01, 0x00, 2,   0,                // SPN, PMT PID, 2 streams, 0 groups
        0x11, 0x00, 9, 0x81, 0x62, 'E',  'N', 'G', 9, 9, 9, 9,  // AC-3, 9 bytes
        0x12, 0x00, 4, 0x90, 'f',  'r',  'a'};                  // PGS
    const uint32_t length = static_cast<uint32_t>(program.size() + 2);
    for (const uint8_t c : {uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8),
                            uint8_t(length), uint8_t{0}, uint8_t{1}})
        b.push_back(c);
    for (const uint8_t c : program) b.push_back(c);
    return b;
}

TEST(ClipInfo, LongCodingInformationIsSkippedAndLiesAreRefused) {
    ClipInfoList list;
    ASSERT_EQ(ParseClipInfo(SmallFile("0200"), &list), ClipInfoResult::kOk);
    ASSERT_EQ(list.streams.size(), 2u);
    EXPECT_STREQ(list.streams[0].language, "ENG");  // as stored
    EXPECT_EQ(list.streams[0].channel_layout, 6);
    EXPECT_EQ(list.streams[1].pid, 0x1200);
    EXPECT_STREQ(list.streams[1].language, "fra");

    EXPECT_EQ(ParseClipInfo(SmallFile("0400"), &list), ClipInfoResult::kInvalidFormat);
    EXPECT_FALSE(list.loaded);
    EXPECT_TRUE(list.streams.empty());
    // Cut anywhere, the file is refused whole rather than read past its end.
    const std::vector<uint8_t> whole = SmallFile("0300");
    for (size_t size = 0; size < whole.size(); ++size) {
        EXPECT_EQ(ParseClipInfo(std::span(whole.data(), size), &list),
                  ClipInfoResult::kInvalidFormat)
            << size;
    }
    EXPECT_EQ(LoadClipInfo(kRealFiles / "missing.clpi", &list), ClipInfoResult::kCannotOpen);
    EXPECT_EQ(ClipInfoFileFor("/d/BDMV/STREAM/00001.m2ts"), fs::path("/d/BDMV/CLIPINF/00001.clpi"));
    EXPECT_EQ(ClipInfoFileFor("00001.m2ts"), fs::path());
    EXPECT_EQ(ClipInfoFileFor("/d/Videos/00001.m2ts"), fs::path()) << "not a disc's clip";
    EXPECT_EQ(ClipInfoFileFor("DVD"), fs::path());
}

}  // namespace
}  // namespace rizuvira::demux
