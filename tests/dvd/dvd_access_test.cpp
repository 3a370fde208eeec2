// SPDX-License-Identifier: GPL-2.0-or-later
// The DVD access layer on the sample discs, in folder and image form, checked
// against the authored layout, against lsdvd, and against the VOB files read
// straight from the folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "dvd/dvd_access.h"
#include "dvd/ifo_parser.h"
#include "dvd/language_names.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::dvd {
namespace {

namespace fs = std::filesystem;
using fixtures::SampleDiscPath;

struct DiscForm {
    const fixtures::SampleDisc* disc;
    bool iso;
    std::string Path() const { return SampleDiscPath(iso ? disc->iso : disc->folder); }
};

std::string FormName(const testing::TestParamInfo<DiscForm>& info) {
    return std::string(info.param.disc->folder) + (info.param.iso ? "_iso" : "_folder");
}

class DiscHandle {
public:
    explicit DiscHandle(const std::string& path) : handle_(MyDVDOpen(path.c_str())) {}
    ~DiscHandle() {
        if (handle_) MyDVDClose(handle_);
    }
    DiscHandle(const DiscHandle&) = delete;
    DiscHandle& operator=(const DiscHandle&) = delete;
    int32_t get() const { return handle_; }

private:
    int32_t handle_;
};

std::unique_ptr<TitleTable> InfoOf(int32_t handle) {
    auto info = std::make_unique<TitleTable>();
    MyDVDGetInfo(handle, info.get());
    return info;
}

int32_t LanguageCode(std::string_view two_letters) {
    return static_cast<int32_t>(two_letters[0]) << 8 | two_letters[1];
}

// Everything MyDVDRead delivers from the current position to the stop.
std::vector<uint8_t> ReadToStop(int32_t handle) {
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> block(kDvdReadBytes);
    for (;;) {
        const int got = MyDVDRead(handle, block.data(), kDvdReadBytes);
        if (got <= 0) break;
        bytes.insert(bytes.end(), block.begin(), block.begin() + got);
    }
    return bytes;
}

// A title set's VOB files joined, as the disc lays them out.
std::vector<uint8_t> TitleSetVobs(const std::string& folder, int title_set) {
    std::vector<uint8_t> bytes;
    for (int part = 1; part <= 9; ++part) {
        char name[32];
        std::snprintf(name, sizeof(name), "VTS_%02d_%d.VOB", title_set, part);
        std::ifstream in(fs::path(folder) / "VIDEO_TS" / name, std::ios::binary);
        if (!in) break;
        bytes.insert(bytes.end(), std::istreambuf_iterator<char>(in),
                     std::istreambuf_iterator<char>());
    }
    return bytes;
}

class DvdAccessOnSampleDisc : public testing::TestWithParam<DiscForm> {};

TEST_P(DvdAccessOnSampleDisc, RecordMatchesTheAuthoredDisc) {
    const fixtures::SampleDisc& disc = *GetParam().disc;
    DiscHandle handle(GetParam().Path());
    ASSERT_NE(handle.get(), 0);
    auto info = InfoOf(handle.get());
    ASSERT_EQ(info->title_count, static_cast<int>(disc.titles.size()));

    for (int t = 0; t < info->title_count; ++t) {
        SCOPED_TRACE("title index " + std::to_string(t));
        const fixtures::SampleTitle& expected = disc.titles[t];
        const DvdTitleInfo& title = info->titles[t];
        EXPECT_EQ(title.chapters, static_cast<int>(expected.chapter_start_frames.size()));
        // The IFO time counts NTSC frames at a nominal 30 per second; the
        // title really lasts frames x 1001 / 30000 s.
        EXPECT_NEAR(title.duration_ms,
                    1000.0 * expected.frames * expected.fps_den / expected.fps_num, 0.001);
        // Chapters last from their first frame to the next chapter's.
        for (int k = 0; k < title.chapters; ++k) {
            const int next =
                k + 1 < title.chapters ? expected.chapter_start_frames[k + 1] : expected.frames;
            const int frames = next - expected.chapter_start_frames[k];
            EXPECT_NEAR(MyDvdGetChapterDuration(handle.get(), t, k),
                        1000.0 * frames * expected.fps_den / expected.fps_num, 0.001)
                << "chapter " << k;
        }
        EXPECT_EQ(MyDvdGetChapterDuration(handle.get(), t, title.chapters), -1);

        // The cell playing at a moment of the whole title.
        ASSERT_EQ(MyDVDSetArea(handle.get(), t, 0), 0);
        ASSERT_EQ(MyDvdSetStopPos(handle.get(), t + 1, 0), 0);
        int64_t chapter_start_byte = 0;
        for (int k = 0; k < title.chapters; ++k) {
            const double chapter_start_ms =
                1000.0 * expected.chapter_start_frames[k] * expected.fps_den / expected.fps_num;
            DvdCellSpan span;
            ASSERT_TRUE(MyDvdFindTime(handle.get(), chapter_start_ms + 500, &span))
                << "chapter " << k;
            EXPECT_NEAR(span.start_ms, chapter_start_ms, 0.001) << "each chapter is one cell here";
            EXPECT_EQ(span.first_byte, chapter_start_byte);
            chapter_start_byte += int64_t{title.chapter_sectors[k]} * kDvdSectorBytes;
            EXPECT_EQ(span.end_byte, chapter_start_byte);
        }
        ASSERT_EQ(title.audio_count, static_cast<int>(expected.audio.size()));
        for (int a = 0; a < title.audio_count; ++a) {
            const fixtures::SampleAudioTrack& track = expected.audio[a];
            const int32_t pes_id =
                track.stream_id >= 0xC0 ? track.stream_id << 8 : 0xBD00 | track.stream_id;
            EXPECT_EQ(title.audio_id[a], pes_id) << "audio " << a;
            EXPECT_EQ(title.audio_language[a], LanguageCode(track.lang));
            EXPECT_EQ(title.audio_channels[a] + 1, track.channels);
            const int coding = track.coding == fixtures::AudioCoding::kAc3    ? kDvdAudioAc3
                               : track.coding == fixtures::AudioCoding::kLpcm ? kDvdAudioLpcm
                                                                              : kDvdAudioMpeg1;
            EXPECT_EQ(title.audio_coding[a], coding);
        }
        ASSERT_EQ(title.subtitle_count, static_cast<int>(expected.subtitles.size()));
        for (int s = 0; s < title.subtitle_count; ++s) {
            EXPECT_EQ(title.subtitle_id[s], 0xBD00 | expected.subtitles[s].stream_id);
            EXPECT_EQ(title.subtitle_language[s], LanguageCode(expected.subtitles[s].lang));
        }

        DvdVideoInfo video{};
        ASSERT_TRUE(MyDVDGetVideoInfo(handle.get(), t, &video));
        EXPECT_EQ(video.width, expected.width);
        EXPECT_EQ(video.height, expected.height);
        EXPECT_EQ(video.aspect_x, expected.widescreen ? 16 : 4);
        EXPECT_EQ(video.frame_rate_num, expected.fps_num);
    }
}

// lsdvd counts streams by attribute row; we number them from the chain's
// control words, and our NTSC lengths are exact where lsdvd's are nominal,
// so only the fields both read the same way are compared.
TEST(DiscVolumeName, ReadsTheImagesVolumeAndNothingWhereNoDiscIs) {
    EXPECT_EQ(DiscVolumeName(fixtures::SampleDiscPath(fixtures::kPalDisc.iso)),
              fixtures::kPalDisc.volume_id);
    EXPECT_EQ(DiscVolumeName(fs::temp_directory_path().string()), "");
    EXPECT_EQ(DiscVolumeName("/no/such/drive"), "");
}

TEST_P(DvdAccessOnSampleDisc, AgreesWithLsdvd) {
    const std::string command = "lsdvd -a -s -c -Oy '" + GetParam().Path() + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_TRUE(pipe);
    std::string out;
    char chunk[4096];
    while (size_t n = std::fread(chunk, 1, sizeof(chunk), pipe.get())) out.append(chunk, n);
    ASSERT_FALSE(out.empty()) << "lsdvd printed nothing";

    DiscHandle handle(GetParam().Path());
    auto info = InfoOf(handle.get());

    // Each track's block runs from its 'vts_id' to the next one.
    const std::regex track_re(R"('vts_id')");
    std::vector<size_t> starts;
    for (auto it = std::sregex_iterator(out.begin(), out.end(), track_re);
         it != std::sregex_iterator(); ++it)
        starts.push_back(static_cast<size_t>(it->position()));
    ASSERT_EQ(static_cast<int>(starts.size()), info->title_count);
    starts.push_back(out.size());
    for (int t = 0; t < info->title_count; ++t) {
        const std::string block = out.substr(starts[t], starts[t + 1] - starts[t]);
        auto count = [&](const char* pattern) {
            const std::regex re(pattern);
            return static_cast<int>(std::distance(
                std::sregex_iterator(block.begin(), block.end(), re), std::sregex_iterator()));
        };
        EXPECT_EQ(count(R"('startcell')"), info->titles[t].chapters) << "title " << t;
        EXPECT_EQ(count(R"('format'\s*:\s*'(ac3|mpeg1|mpeg2|lpcm|dts))"),
                  info->titles[t].audio_count);
        for (int a = 0; a < info->titles[t].audio_count; ++a) {
            const std::string lang = LanguageCode2(info->titles[t].audio_language[a]);
            EXPECT_NE(block.find("'langcode' : '" + lang + "'"), std::string::npos) << lang;
        }
    }
}

TEST_P(DvdAccessOnSampleDisc, TitleReadsAsItsCellsFromTheVobFiles) {
    const fixtures::SampleDisc& disc = *GetParam().disc;
    DiscHandle handle(GetParam().Path());
    ASSERT_NE(handle.get(), 0);
    auto info = InfoOf(handle.get());
    const std::string folder = SampleDiscPath(disc.folder);

    // The sample discs keep each title set's titles one after the other.
    int previous_set = 0;
    size_t set_offset = 0;
    for (int t = 0; t < info->title_count; ++t) {
        SCOPED_TRACE("title index " + std::to_string(t));
        const int set = disc.titles[t].vts;
        if (set != previous_set) set_offset = 0;
        previous_set = set;
        const std::vector<uint8_t> vobs = TitleSetVobs(folder, set);

        uint64_t sectors = 0;
        for (int k = 0; k < info->titles[t].chapters; ++k)
            sectors += info->titles[t].chapter_sectors[k];
        ASSERT_EQ(MyDVDSetArea(handle.get(), t, 0), 0);
        ASSERT_EQ(MyDvdSetStopPos(handle.get(), t + 1, 0), 0);
        const std::vector<uint8_t> title = ReadToStop(handle.get());
        ASSERT_EQ(title.size(), sectors * kDvdSectorBytes);
        ASSERT_LE(set_offset + title.size(), vobs.size());
        EXPECT_TRUE(std::equal(title.begin(), title.end(),
                               vobs.begin() + static_cast<ptrdiff_t>(set_offset)));
        EXPECT_EQ(title[3], 0xBA) << "a title starts with a pack header";
        set_offset += title.size();

        // Once at the stop, reading keeps saying so.
        std::vector<uint8_t> block(kDvdReadBytes);
        EXPECT_EQ(MyDVDRead(handle.get(), block.data(), kDvdReadBytes), 0);
    }
}

TEST_P(DvdAccessOnSampleDisc, ChapterAreasAndStopPositions) {
    DiscHandle handle(GetParam().Path());
    auto info = InfoOf(handle.get());
    const int t = 0;
    const DvdTitleInfo& title = info->titles[t];

    MyDVDSetArea(handle.get(), t, 0);
    MyDvdSetStopPos(handle.get(), t + 1, 0);
    const std::vector<uint8_t> whole = ReadToStop(handle.get());

    uint64_t offset = 0;
    for (int k = 0; k < title.chapters; ++k) {
        SCOPED_TRACE("chapter " + std::to_string(k));
        ASSERT_EQ(MyDVDSetArea(handle.get(), t, k), 0);
        ASSERT_EQ(MyDvdSetStopPos(handle.get(), t, k + 1), 0);
        const std::vector<uint8_t> chapter = ReadToStop(handle.get());
        ASSERT_EQ(chapter.size(), uint64_t{title.chapter_sectors[k]} * kDvdSectorBytes);
        EXPECT_TRUE(std::equal(chapter.begin(), chapter.end(),
                               whole.begin() + static_cast<ptrdiff_t>(offset)));
        offset += chapter.size();
    }
    EXPECT_EQ(offset, whole.size());

    // From chapter 1 to the end of the title.
    if (title.chapters > 1) {
        MyDVDSetArea(handle.get(), t, 1);
        MyDvdSetStopPos(handle.get(), t + 1, 0);
        const std::vector<uint8_t> rest = ReadToStop(handle.get());
        EXPECT_EQ(rest.size(), whole.size() - uint64_t{title.chapter_sectors[0]} * kDvdSectorBytes);
    }
}

TEST_P(DvdAccessOnSampleDisc, SeekLandsAtTheSectorAtOrBefore) {
    DiscHandle handle(GetParam().Path());
    MyDVDSetArea(handle.get(), 0, 0);
    MyDvdSetStopPos(handle.get(), 1, 0);
    const std::vector<uint8_t> whole = ReadToStop(handle.get());
    ASSERT_GT(whole.size(), 100000u);

    EXPECT_EQ(MyDVDSeek(handle.get(), 5000, 0), 4096);
    std::vector<uint8_t> block(kDvdReadBytes);
    ASSERT_EQ(MyDVDRead(handle.get(), block.data(), kDvdReadBytes), kDvdReadBytes);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), whole.begin() + 4096));

    EXPECT_EQ(MyDVDSeek(handle.get(), 0, 0), 0);
    const int64_t end = static_cast<int64_t>(whole.size());
    EXPECT_EQ(MyDVDSeek(handle.get(), end + 123456, 0), end);
    EXPECT_EQ(MyDVDRead(handle.get(), block.data(), kDvdReadBytes), 0);
    EXPECT_LT(MyDVDSeek(handle.get(), -1, 0), 0);
    EXPECT_LT(MyDVDSeek(handle.get(), 0, 1), 0) << "only origin 0 is known";
}

INSTANTIATE_TEST_SUITE_P(SampleDiscs, DvdAccessOnSampleDisc,
                         testing::Values(DiscForm{&fixtures::kNtscDisc, false},
                                         DiscForm{&fixtures::kNtscDisc, true},
                                         DiscForm{&fixtures::kPalDisc, false},
                                         DiscForm{&fixtures::kPalDisc, true}),
                         FormName);

TEST(DvdAccess, OpensTheVideoTsFolderItselfAndTrailingSlashes) {
    const std::string folder = SampleDiscPath(fixtures::kNtscDisc.folder);
    for (const std::string& path : {folder + "/VIDEO_TS", folder + "/VIDEO_TS/", folder + "/"}) {
        DiscHandle handle(path);
        EXPECT_NE(handle.get(), 0) << path;
        EXPECT_EQ(InfoOf(handle.get())->title_count, 5) << path;
    }
}

TEST(DvdAccess, HandlesAreDistinctAndDieOnClose) {
    const std::string iso = SampleDiscPath(fixtures::kNtscDisc.iso);
    const int32_t first = MyDVDOpen(iso.c_str());
    const int32_t second = MyDVDOpen(iso.c_str());
    ASSERT_NE(first, 0);
    ASSERT_NE(second, 0);
    EXPECT_NE(first, second);
    MyDVDClose(first);
    EXPECT_EQ(InfoOf(first)->title_count, 0);
    EXPECT_EQ(MyDVDSetArea(first, 0, 0), -1);
    EXPECT_EQ(InfoOf(second)->title_count, 5);
    MyDVDClose(second);
    MyDVDClose(second);  // closing twice is harmless
}

TEST(DvdAccess, AreaOutsideTheDiscReadsNothing) {
    DiscHandle handle(SampleDiscPath(fixtures::kPalDisc.iso));
    std::vector<uint8_t> block(kDvdReadBytes);
    EXPECT_EQ(MyDVDSetArea(handle.get(), 7, 0), -1);
    EXPECT_LE(MyDVDRead(handle.get(), block.data(), kDvdReadBytes), 0);
    EXPECT_EQ(MyDVDSetArea(handle.get(), 0, 2), -1);
    EXPECT_EQ(MyDVDSetArea(handle.get(), 0, -1), -1);
    EXPECT_EQ(MyDVDSetArea(handle.get(), 0, 1), 0);
    EXPECT_EQ(MyDvdSetStopPos(handle.get(), 0, 99), 0)
        << "a stop past the last chapter ends at the title's end";
    EXPECT_GT(ReadToStop(handle.get()).size(), 0u);
}

TEST(DvdTime, NtscCountsThirtyFramesPerTimecodeSecond) {
    // 00:00:59 + 29 frames at NTSC is 1799 frames of 1001/30000 s.
    EXPECT_NEAR(DvdTimeToMs(0x00, 0x00, 0x59, 0xC0 | 0x29), 1799 * 1001.0 / 30.0, 1e-9);
    EXPECT_NEAR(DvdTimeToMs(0x00, 0x00, 0x59, 0xC0 | 0x29), 60026.633, 0.001);
    EXPECT_DOUBLE_EQ(DvdTimeToMs(0x01, 0x02, 0x05, 0x40 | 0x24), 3725000.0 + 24 * 40.0);
    EXPECT_DOUBLE_EQ(DvdTimeToMs(0x00, 0x01, 0x00, 0x40), 60000.0);
}

}  // namespace
}  // namespace rizuvira::dvd
