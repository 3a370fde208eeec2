// SPDX-License-Identifier: GPL-2.0-or-later
// The stream parser on the sample discs' VOB files, on generated transport, program, PES and
// PVA files, and on hand-made program streams for the rules that real files rarely hit.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "demux/mpeg_splitter_file.h"
#include "demux_test_util.h"

namespace rizuvira::demux {
namespace {

using testing::OpenFileReader;

struct Parsed {
    testing::FileReader source;
    std::unique_ptr<CMpegSplitterFile> file;
    HRESULT hr = E_FAIL;
};

Parsed Parse(const std::string& path, const dvd::DvdTitleInfo& title = {}) {
    Parsed p;
    p.source = OpenFileReader(path);
    if (!p.source.reader) return p;
    p.file = std::make_unique<CMpegSplitterFile>(p.source.reader.Get(), &p.hr, title);
    return p;
}

std::vector<uint32_t> Keys(const std::vector<SplitterStream>& streams) {
    std::vector<uint32_t> keys;
    for (const auto& s : streams) keys.push_back(s.Key());
    return keys;
}

const WAVEFORMATEX* Wave(const SplitterStream& s) {
    return s.type.FormatAs<WAVEFORMATEX>();
}

class SampleDiscParse : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(testing::NtscVob(1))) GTEST_SKIP() << "sample discs not built";
    }
};

TEST_F(SampleDiscParse, NtscMainTitleFindsVideoBothAc3TracksBestFirstAndTitleSubtitles) {
    dvd::DvdTitleInfo title{};
    ASSERT_TRUE(testing::LoadTitleInfo("ntsc", 0, &title));
    Parsed p = Parse(testing::NtscVob(1), title);
    ASSERT_EQ(p.hr, S_OK);
    EXPECT_EQ(p.file->Container(), MpegContainer::kProgramStream);
    EXPECT_GT(p.file->ByteRate(), 0);

    const auto video = p.file->Streams(kVideo);
    ASSERT_EQ(video.size(), 1u);
    EXPECT_EQ(video[0].Key(), 0xE000u);
    EXPECT_EQ(video[0].type.subtype, MEDIASUBTYPE_MPEG2_VIDEO);
    const auto* vi = video[0].type.FormatAs<MPEG2VIDEOINFO>();
    ASSERT_NE(vi, nullptr);
    EXPECT_EQ(vi->hdr.bmiHeader.biWidth, 720);
    EXPECT_EQ(vi->hdr.bmiHeader.biHeight, 480);
    EXPECT_EQ(vi->hdr.AvgTimePerFrame, 333666);
    EXPECT_EQ(vi->hdr.dwPictAspectRatioX, 4u);
    EXPECT_EQ(vi->hdr.dwPictAspectRatioY, 3u);
    EXPECT_GT(vi->cbSequenceHeader, 8u);

    const auto audio = p.file->Streams(kAudio);
    ASSERT_EQ(Keys(audio), (std::vector<uint32_t>{0xBD80, 0xBD81}));
    EXPECT_EQ(Wave(audio[0])->nChannels, 6);
    EXPECT_EQ(Wave(audio[1])->nChannels, 2);
    EXPECT_EQ(Wave(audio[0])->wFormatTag, WAVE_FORMAT_DOLBY_AC3);
    EXPECT_EQ(Wave(audio[0])->nSamplesPerSec, 48000u);
    EXPECT_EQ(Wave(audio[0])->nAvgBytesPerSec, 384000u / 8);

    EXPECT_EQ(Keys(p.file->Streams(kSubpicture)), (std::vector<uint32_t>{0xBD20, 0xBD21}));
}

TEST_F(SampleDiscParse, TitleWithoutSubtitlesGetsTheNoSubtitlesEntry) {
    Parsed p = Parse(testing::NtscVob(2));
    ASSERT_EQ(p.hr, S_OK);
    const auto audio = p.file->Streams(kAudio);
    ASSERT_EQ(Keys(audio), (std::vector<uint32_t>{0xC000}));
    EXPECT_EQ(Wave(audio[0])->wFormatTag, WAVE_FORMAT_MPEG);
    EXPECT_EQ(audio[0].type.subtype, MEDIASUBTYPE_MPEG1AudioPayload);
    const auto subs = p.file->Streams(kSubpicture);
    ASSERT_EQ(subs.size(), 1u);
    EXPECT_EQ(subs[0].Key(), 0u);
    EXPECT_EQ(subs[0].type.formattype, FORMAT_None);
    EXPECT_EQ(subs[0].type.subtype, MEDIASUBTYPE_DVD_SUBPICTURE);
}

TEST_F(SampleDiscParse, LpcmTrackIsDescribedFromItsPrivateHeader) {
    Parsed p = Parse(testing::NtscVob(3));
    ASSERT_EQ(p.hr, S_OK);
    const auto audio = p.file->Streams(kAudio);
    ASSERT_EQ(Keys(audio), (std::vector<uint32_t>{0xBDA0}));
    EXPECT_EQ(audio[0].type.subtype, MEDIASUBTYPE_DVD_LPCM_AUDIO);
    EXPECT_EQ(Wave(audio[0])->nChannels, 2);
    EXPECT_EQ(Wave(audio[0])->wBitsPerSample, 16);
    EXPECT_EQ(Wave(audio[0])->nSamplesPerSec, 48000u);
}

TEST_F(SampleDiscParse, PalDiscKeepsTheWholeMpegAudioIdAndSortsAc3First) {
    dvd::DvdTitleInfo title{};
    ASSERT_TRUE(testing::LoadTitleInfo("pal", 0, &title));
    Parsed p = Parse(testing::PalVob(1), title);
    ASSERT_EQ(p.hr, S_OK);
    EXPECT_EQ(Keys(p.file->Streams(kAudio)), (std::vector<uint32_t>{0xBD80, 0xC100}));
    const auto video = p.file->Streams(kVideo);
    const auto* vi = video.at(0).type.FormatAs<MPEG2VIDEOINFO>();
    ASSERT_NE(vi, nullptr);
    EXPECT_EQ(vi->hdr.AvgTimePerFrame, 400000);
    EXPECT_EQ(vi->hdr.dwPictAspectRatioX, 16u);
    EXPECT_EQ(vi->hdr.dwPictAspectRatioY, 9u);
    EXPECT_EQ(vi->dwProfile, AM_MPEG2Profile_Main);
    EXPECT_EQ(vi->dwLevel, AM_MPEG2Level_Main);
}

TEST_F(SampleDiscParse, FindNextTimestampFindsTheStreamAndLeavesThePositionAtItsUnit) {
    Parsed p = Parse(testing::NtscVob(1));
    ASSERT_EQ(p.hr, S_OK);
    p.file->MoveTo(0);
    const REFERENCE_TIME t = p.file->FindNextTimestamp(0xBD81);
    EXPECT_NE(t, -1);
    EXPECT_LT(std::abs(t), UNITS);  // measured from the first PTS met, which may be later
    const int64_t unit = p.file->Position();
    // The unit found starts with a start code and holds that stream again.
    EXPECT_EQ(p.file->FindNextTimestamp(0xBD81), t);
    EXPECT_EQ(p.file->Position(), unit);
    EXPECT_EQ(p.file->FindNextTimestamp(0xBD99), -1);
}

TEST(MpegParser, GeneratedTransportStreamWithMpeg2AndAc3) {
    const std::string path = testing::TsMpeg2Ac3();
    ASSERT_FALSE(path.empty());
    Parsed p = Parse(path);
    ASSERT_EQ(p.hr, S_OK);
    EXPECT_EQ(p.file->Container(), MpegContainer::kTransportStream);
    const auto video = p.file->Streams(kVideo);
    ASSERT_EQ(video.size(), 1u);
    EXPECT_EQ(video[0].Key(), 0x100u);
    EXPECT_EQ(video[0].type.subtype, MEDIASUBTYPE_MPEG2_VIDEO);
    const auto audio = p.file->Streams(kAudio);
    ASSERT_EQ(audio.size(), 1u);
    EXPECT_EQ(audio[0].Key(), 0x101u);
    EXPECT_EQ(Wave(audio[0])->wFormatTag, WAVE_FORMAT_DOLBY_AC3);
    uint16_t program = 0;
    EXPECT_TRUE(p.file->ProgramOfPid(0x101, &program));
    EXPECT_EQ(p.file->ProgramPids(program).size(), 2u);
}

TEST(MpegParser, GeneratedTransportStreamWithH264AndAac) {
    const std::string path = testing::TsH264Aac();
    ASSERT_FALSE(path.empty());
    Parsed p = Parse(path);
    ASSERT_EQ(p.hr, S_OK);
    const auto video = p.file->Streams(kVideo);
    ASSERT_EQ(video.size(), 1u);
    EXPECT_EQ(video[0].type.subtype, MEDIASUBTYPE_AVC1);
    const auto* vi = video[0].type.FormatAs<MPEG2VIDEOINFO>();
    ASSERT_NE(vi, nullptr);
    EXPECT_EQ(vi->hdr.bmiHeader.biCompression, MakeFourCC('A', 'V', 'C', '1'));
    EXPECT_EQ(vi->hdr.bmiHeader.biWidth, 320);
    EXPECT_EQ(vi->hdr.bmiHeader.biHeight, 240);
    const auto audio = p.file->Streams(kAudio);
    ASSERT_EQ(audio.size(), 1u);
    EXPECT_EQ(Wave(audio[0])->wFormatTag, WAVE_FORMAT_AAC);
    EXPECT_EQ(Wave(audio[0])->cbSize, 2);
}

TEST(MpegParser, GeneratedMpeg1SystemStreamRawPesAndPva) {
    const std::string ps = testing::PsMpeg2Mp2();
    ASSERT_FALSE(ps.empty());
    Parsed program = Parse(ps);
    ASSERT_EQ(program.hr, S_OK);
    EXPECT_EQ(program.file->Container(), MpegContainer::kProgramStream);
    EXPECT_EQ(Keys(program.file->Streams(kAudio)), (std::vector<uint32_t>{0xC000}));

    Parsed pes = Parse(testing::RawPesFile());
    ASSERT_EQ(pes.hr, S_OK);
    EXPECT_EQ(pes.file->Container(), MpegContainer::kPesStream);
    EXPECT_EQ(Keys(pes.file->Streams(kVideo)), (std::vector<uint32_t>{0xE000}));
    EXPECT_EQ(Keys(pes.file->Streams(kAudio)), (std::vector<uint32_t>{0xC000}));

    Parsed pva = Parse(testing::PvaFile());
    ASSERT_EQ(pva.hr, S_OK);
    EXPECT_EQ(pva.file->Container(), MpegContainer::kPvaStream);
    EXPECT_EQ(Keys(pva.file->Streams(kVideo)), (std::vector<uint32_t>{1}));
    EXPECT_EQ(Keys(pva.file->Streams(kAudio)), (std::vector<uint32_t>{2}));
}

TEST(MpegParser, LeadingTFrcHeaderIsSkipped) {
    std::vector<uint8_t> bytes = {'T', 'F', 'r', 'c'};
    bytes.resize(1660, 0x00);
    // Junk in the header part that would look like a broken pack.
    bytes[100] = 0;
    bytes[101] = 0;
    bytes[102] = 1;
    bytes[103] = 0xE0;
    const auto ps = testing::MakeProgramStream({});
    bytes.insert(bytes.end(), ps.begin(), ps.end());
    Parsed p = Parse(testing::WriteTempFile("tfrc.mpg", bytes));
    ASSERT_EQ(p.hr, S_OK);
    EXPECT_EQ(p.file->Container(), MpegContainer::kProgramStream);
    EXPECT_EQ(p.file->Streams(kVideo).size(), 1u);
}

TEST(MpegParser, SequenceExtensionFrameRateDoubles) {
    Parsed p = Parse(
        testing::WriteTempFile("ext.mpg", testing::MakeProgramStream({.ext_n = 1, .ext_d = 0})));
    ASSERT_EQ(p.hr, S_OK);
    const auto video = p.file->Streams(kVideo);
    const auto* vi = video.at(0).type.FormatAs<MPEG2VIDEOINFO>();
    ASSERT_NE(vi, nullptr);
    EXPECT_EQ(vi->hdr.AvgTimePerFrame, 200000);
    EXPECT_EQ(vi->hdr.dwBitRate, 0u);  // all ones means not stated
}

TEST(MpegParser, ByteRateRule) {
    // Measured 5% above the pack rate: the measurement wins.
    Parsed near = Parse(testing::WriteTempFile(
        "near.mpg", testing::MakeProgramStream({.actual_byte_rate = 1050000})));
    ASSERT_EQ(near.hr, S_OK);
    EXPECT_NEAR(near.file->ByteRate(), 1050000, 200);
    // 20% above and more than 51200 bytes/s away: the pack rate stays.
    Parsed far = Parse(testing::WriteTempFile(
        "far.mpg", testing::MakeProgramStream({.actual_byte_rate = 1200000})));
    ASSERT_EQ(far.hr, S_OK);
    EXPECT_EQ(far.file->ByteRate(), 1000000);
    // Below the pack rate (a DVD's usual case): the measurement wins.
    Parsed low = Parse(testing::WriteTempFile(
        "low.mpg",
        testing::MakeProgramStream({.pack_byte_rate = 1260000, .actual_byte_rate = 500000})));
    ASSERT_EQ(low.hr, S_OK);
    EXPECT_NEAR(low.file->ByteRate(), 500000, 200);
}

TEST(MpegParser, ScrambledStreamFailsDistinctly) {
    Parsed p =
        Parse(testing::WriteTempFile("css.mpg", testing::MakeProgramStream({.scrambled_from = 0})));
    EXPECT_EQ(p.hr, DEMUX_E_SCRAMBLED);
}

TEST(MpegParser, SearchStopsAfterTheFirstBlockOnceTheTitleStreamsAreFound) {
    // Audio starts in the third 128 KiB block.
    const auto path = testing::WriteTempFile(
        "late_audio.mpg", testing::MakeProgramStream({.packs = 200, .audio_from = 140}));
    Parsed without_ids = Parse(path);
    ASSERT_EQ(without_ids.hr, S_OK);
    EXPECT_TRUE(without_ids.file->Streams(kAudio).empty());

    dvd::DvdTitleInfo title{};
    title.audio_count = 1;
    title.audio_id[0] = 0xC000;
    Parsed with_ids = Parse(path, title);
    ASSERT_EQ(with_ids.hr, S_OK);
    EXPECT_EQ(Keys(with_ids.file->Streams(kAudio)), (std::vector<uint32_t>{0xC000}));
}

TEST(MpegParser, GarbageEmptyAndTruncatedInputsFailOrParseWithoutCrashing) {
    std::vector<uint8_t> garbage(300000);
    uint32_t x = 12345;
    for (auto& b : garbage) b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 16);
    EXPECT_EQ(Parse(testing::WriteTempFile("garbage.bin", garbage)).hr, E_FAIL);
    EXPECT_TRUE(FAILED(Parse(testing::WriteTempFile("empty.bin", {})).hr));

    auto ps = testing::MakeProgramStream({});
    for (size_t cut : {size_t{3}, size_t{20}}) {
        std::vector<uint8_t> part(ps.begin(), ps.begin() + static_cast<long>(cut));
        Parsed p = Parse(testing::WriteTempFile("cut.mpg", part));
        EXPECT_TRUE(FAILED(p.hr)) << cut;  // no time stamp at all
    }
    // One whole pack: one stamped picture, a still of no length.
    std::vector<uint8_t> one(ps.begin(), ps.begin() + 2060);
    Parsed still = Parse(testing::WriteTempFile("one.mpg", one));
    ASSERT_EQ(still.hr, S_OK);
    EXPECT_EQ(still.file->LastTime(), still.file->FirstTime());
    // Two whole packs and a broken third still measure a time range.
    std::vector<uint8_t> two(ps.begin(), ps.begin() + 4100);
    EXPECT_EQ(Parse(testing::WriteTempFile("two.mpg", two)).hr, S_OK);
}

TEST(MpegParser, ShortStreamWithAMissingTitleAudioIdStillParses) {
    dvd::DvdTitleInfo title{};
    title.audio_count = 1;
    title.audio_id[0] = 0xBD80;  // never appears
    Parsed p = Parse(
        testing::WriteTempFile("short.mpg", testing::MakeProgramStream({.packs = 100})), title);
    EXPECT_EQ(p.hr, S_OK);
}

TEST(SplitterFileReading, MoveToClampsAndReadsPastTheEndFail) {
    const std::vector<uint8_t> bytes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    auto source = OpenFileReader(testing::WriteTempFile("ten.bin", bytes));
    HRESULT hr = E_FAIL;
    CBaseSplitterFile file(source.reader.Get(), &hr, 4);
    ASSERT_EQ(hr, S_OK);
    file.MoveTo(-5);
    EXPECT_EQ(file.Position(), 0);
    file.MoveTo(50);
    EXPECT_EQ(file.Position(), 10);
    file.MoveTo(1);
    uint8_t out[10] = {};
    ASSERT_EQ(file.ReadBytes(out, 9), S_OK);  // larger than the cache
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(out[8], 10);
    file.MoveTo(8);
    EXPECT_TRUE(FAILED(file.ReadBytes(out, 3)));
    EXPECT_EQ(file.Position(), 8);
    EXPECT_EQ(file.ReadBits(12), 0x090u);
    EXPECT_EQ(file.ReadBits(4), 0xAu);
    EXPECT_EQ(file.ReadBits(8), 0u);  // nothing left: 0
    file.MoveTo(0);
    EXPECT_EQ(file.ReadBits(4, true), 0x0u);
    EXPECT_EQ(file.ReadBits(12), 0x010u);
    // A byte read after a partial bit read starts at the next whole byte.
    ASSERT_EQ(file.ReadBytes(out, 1), S_OK);
    EXPECT_EQ(out[0], 3);
}

TEST(SplitterFileReading, NoSourceIsUnexpected) {
    HRESULT hr = S_OK;
    CBaseSplitterFile file(nullptr, &hr, 16);
    EXPECT_EQ(hr, E_UNEXPECTED);
}

}  // namespace
}  // namespace rizuvira::demux
