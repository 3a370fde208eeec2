// SPDX-License-Identifier: GPL-2.0-or-later
// Titles of the sample discs converted through the whole engine (reader,
// splitter, decoders, conversion filters, sink, writer), run as the command
// line runs a batch, checked by decoding the files: the frame numbers in the
// pictures, the flashes, the tones.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/convert_item.h"
#include "core/profile_catalogue.h"
#include "dvd/dvd_access.h"
#include "e2e/decoded_output.h"
#include "engine/batch_loop.h"
#include "engine/run_controller.h"
#include "engine/source_item_graph.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::e2e {
namespace {

namespace fx = fixtures;
using core::OutputSettings;

constexpr int kDefaultProfile = 1;  // MP4, H.264 and AAC
constexpr double kNtscFrame = 1001.0 / 30000.0;

class NoActions final : public engine::SystemActions {
public:
    bool ShutDown(std::string*) override { return true; }
    bool OpenFolder(const std::filesystem::path&, std::string*) override { return true; }
};

struct BatchResult {
    int failed_items = 0;
    std::vector<engine::FinishedFile> files;
    std::vector<std::string> messages;
};

// Converts `rows` of the open disc `dvd_handle` as the command line does: the
// run controller drives the disc's item graph from a batch loop on this thread.
BatchResult RunBatch(int32_t dvd_handle, std::vector<engine::BatchRow> rows,
                     const core::EditSettings& edit, engine::BatchOptions options) {
    core::CollectedMessages messages;
    engine::SourceItemGraph graph(&messages, dvd_handle, 0);
    engine::BatchLoop loop;
    NoActions actions;
    engine::RunController controller(&graph, &loop, &messages, &actions);
    controller.Begin(std::move(rows), edit, std::move(options));
    loop.Run(controller, {});
    return {controller.failed_items(), controller.finished_files(), std::move(messages.messages)};
}

class ConvertTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(
            catalogue_.LoadFile(std::filesystem::path(RIZUVIRA_SOURCE_DIR) / "data/Format.xml"));
        char pattern[] = "/tmp/rizuvira-e2e-XXXXXX";
        folder_ = mkdtemp(pattern);
    }
    void TearDown() override {
        if (handle_) dvd::MyDVDClose(handle_);
        std::filesystem::remove_all(folder_);
    }

    OutputSettings Profile(int id) {
        core::OutputProfile profile{};
        EXPECT_TRUE(catalogue_.Find(id, profile));
        extension_ = profile.FormatExt;
        return profile.Settings;
    }

    // Converts title `title` (from 0) of `disc` between the given times into
    // a file and decodes it.
    DecodedOutput Convert(const fx::SampleDisc& disc, int title, const OutputSettings& settings,
                          int64_t start_ms = 0, int64_t length_ms = -1, int audio_key = 0,
                          int subtitle_key = -1, const core::EditSettings* edit = nullptr,
                          OutputMapping mapping = {}) {
        if (!handle_) handle_ = dvd::MyDVDOpen(fx::SampleDiscPath(disc.iso).c_str());
        auto info = std::make_unique<dvd::TitleTable>();
        dvd::MyDVDGetInfo(handle_, info.get());
        engine::BatchRow row;
        row.output_name = "out" + std::to_string(++files_) + extension_;
        row.item =
            core::MakeTitleItem(title, static_cast<int64_t>(info->titles[title].duration_ms));
        row.item.trim_start_ms = start_ms;
        if (length_ms >= 0) row.item.trim_length_ms = length_ms;
        row.streams.audio_id = audio_key;
        row.streams.subtitle_id = subtitle_key;
        engine::BatchOptions options;
        options.output_folder = folder_;
        options.settings = settings;

        const BatchResult result =
            RunBatch(handle_, {row}, edit ? *edit : core::kDefaultEditSettings, std::move(options));
        EXPECT_EQ(result.failed_items, 0) << (result.messages.empty() ? "" : result.messages[0]);
        EXPECT_EQ(result.files.size(), 1u);
        const fx::SampleTitle& source = disc.titles[title];
        return DecodeOutput((folder_ / row.output_name).string(), source.width, source.height,
                            mapping);
    }

    core::ProfileCatalogue catalogue_;
    std::filesystem::path folder_;
    std::string extension_;
    int32_t handle_ = 0;
    int files_ = 0;
};

double Tone(const DecodedOutput& out, double at_s, double hz) {
    const size_t first = static_cast<size_t>((at_s - out.audio_start_s) * out.sample_rate);
    const size_t count = static_cast<size_t>(out.sample_rate / 5);
    if (first + count > out.mono.size()) return 0;
    return fx::ToneAmplitude(std::span<const float>(out.mono).subspan(first, count),
                             out.sample_rate, hz);
}

TEST_F(ConvertTest, WholeTitleWithTheDefaultProfile) {
    const fx::SampleTitle& title = fx::kNtscDisc.title(fx::kNtscMainTitle);
    const DecodedOutput out = Convert(fx::kNtscDisc, 0, Profile(kDefaultProfile));
    ASSERT_TRUE(out.ok) << out.error;
    EXPECT_EQ(out.video_codec, "h264");
    EXPECT_EQ(out.audio_codec, "aac");

    // Every source frame once and in order.
    ASSERT_EQ(static_cast<int>(out.pictures.size()), title.frames);
    for (int i = 0; i < title.frames; ++i) ASSERT_EQ(out.pictures[i].band, i) << "picture " << i;
    EXPECT_NEAR(out.pictures.back().time_s + kNtscFrame, title.duration_ms() / 1000.0, kNtscFrame);

    // The first audio track (English AC-3 5.1, 440 Hz), not the French one.
    EXPECT_GT(Tone(out, 30.5, 440), 0.05);
    EXPECT_LT(Tone(out, 30.5, 530), 0.01);
    const double audio_end =
        out.audio_start_s + static_cast<double>(out.mono.size()) / out.sample_rate;
    EXPECT_NEAR(audio_end, title.duration_ms() / 1000.0, 2048.0 / out.sample_rate);

    // Sync: each second's beep starts within one frame of its flash.
    for (int second = 2; second < 59; second += 7) {
        double flash_s = -1;
        for (const DecodedPicture& picture : out.pictures)
            if (picture.band == fx::FirstFlashFrame(second, title.fps_num, title.fps_den))
                flash_s = picture.time_s;
        ASSERT_GE(flash_s, 0);
        const double beep_s = BeepRise(out, second, 440);
        ASSERT_GE(beep_s, 0) << "no beep near " << second << " s";
        EXPECT_NEAR(beep_s, flash_s, kNtscFrame + 0.011) << "second " << second;
    }
}

TEST_F(ConvertTest, TrimStartsOnTheFrameShownAtItsStart) {
    const DecodedOutput out = Convert(fx::kNtscDisc, 0, Profile(kDefaultProfile), 10000, 10000);
    ASSERT_TRUE(out.ok) << out.error;
    ASSERT_FALSE(out.pictures.empty());
    EXPECT_NEAR(out.pictures.front().band, 300, 1) << "the frame shown at 10 s";
    EXPECT_NEAR(static_cast<double>(out.pictures.size()), 10.0 / kNtscFrame, 1.5);
    for (size_t i = 1; i < out.pictures.size(); ++i)
        ASSERT_EQ(out.pictures[i].band, out.pictures[i - 1].band + 1);
}

TEST_F(ConvertTest, NtscTo25FramesPerSecond) {
    OutputSettings settings = Profile(kDefaultProfile);
    settings.FrameRate = 25000;
    const DecodedOutput out = Convert(fx::kNtscDisc, 0, settings, 0, 20000);
    ASSERT_TRUE(out.ok) << out.error;
    EXPECT_NEAR(out.frame_rate, 25.0, 0.01);
    EXPECT_NEAR(static_cast<double>(out.pictures.size()), 20.0 * 25, 1.5);
    // Pictures keep their place in time: each shows the source frame of its time.
    for (const DecodedPicture& picture : out.pictures)
        ASSERT_NEAR(picture.band * kNtscFrame, picture.time_s, kNtscFrame + 0.04 + 1e-6);
}

TEST_F(ConvertTest, ChosenAudioTrackAndSubtitle) {
    const OutputSettings settings = Profile(kDefaultProfile);
    // French audio (0xBD81) and English subtitles (0xBD20) over a cue at 5-8 s.
    const DecodedOutput with = Convert(fx::kNtscDisc, 0, settings, 4000, 5000, 0xBD81, 0xBD20);
    const DecodedOutput without = Convert(fx::kNtscDisc, 0, settings, 4000, 5000, 0xBD81, -1);
    ASSERT_TRUE(with.ok && without.ok);
    EXPECT_GT(Tone(with, 6.5 - 4.0, 530), 0.03);
    EXPECT_LT(Tone(with, 6.5 - 4.0, 440), 0.01);
    // The chosen track from the file's first sound on.
    EXPECT_LT(Tone(with, with.audio_start_s, 440), 0.01);
    EXPECT_GT(Tone(with, with.audio_start_s, 530), 0.03);

    auto bottom_at = [](const DecodedOutput& out, double t) {
        for (const DecodedPicture& picture : out.pictures)
            if (picture.time_s >= t) return picture.bottom_luma;
        return -1.0;
    };
    EXPECT_GT(std::abs(bottom_at(with, 2.5) - bottom_at(without, 2.5)), 1.0)
        << "the subtitle shows at 6.5 s";
    EXPECT_LT(std::abs(bottom_at(with, 0.5) - bottom_at(without, 0.5)), 1.0) << "and not at 4.5 s";
}

TEST_F(ConvertTest, AudioOnlyAndPalDisc) {
    // The MP3 profile writes sound alone.
    int mp3 = -1;
    for (const core::OutputProfile& profile : catalogue_.Iterate())
        if (!profile.Settings.HasVideo && std::string(profile.FormatExt) == ".mp3")
            mp3 = profile.Id;
    ASSERT_GE(mp3, 0);
    const DecodedOutput sound = Convert(fx::kPalDisc, 0, Profile(mp3));
    ASSERT_TRUE(sound.ok) << sound.error;
    EXPECT_TRUE(sound.pictures.empty());
    EXPECT_GT(Tone(sound, 5.5, 1070), 0.05) << "the PAL disc's first track";
    EXPECT_NEAR(static_cast<double>(sound.mono.size()) / sound.sample_rate, 10.0, 0.1);
}

TEST_F(ConvertTest, StereoDownmixOfFiveOneKeepsTheUsualLevel) {
    // Title 2's 5.1 track: the same tone on every channel but the LFE. Front plus centre and
    // surround at -3 dB each gives 1 + 2 * 0.7071 times the channel's level; the title's
    // stereo track keeps its own.
    const DecodedOutput mix = Convert(fx::kNtscDisc, 1, Profile(kDefaultProfile), 0, -1, 0xBD80);
    ASSERT_TRUE(mix.ok) << mix.error;
    ASSERT_EQ(mix.channels, 2);
    const double expected = fx::kToneAmplitude * (1 + std::sqrt(2.0));
    EXPECT_NEAR(20 * std::log10(Tone(mix, 0.4, 620) / expected), 0.0, 0.5);
    const DecodedOutput stereo = Convert(fx::kNtscDisc, 1, Profile(kDefaultProfile), 0, -1, 0xBD81);
    ASSERT_TRUE(stereo.ok) << stereo.error;
    EXPECT_NEAR(20 * std::log10(Tone(stereo, 0.4, 710) / fx::kToneAmplitude), 0.0, 0.5);
}

TEST_F(ConvertTest, CropZoomAndBrightnessInAVideoOnlyFile) {
    OutputSettings settings = Profile(kDefaultProfile);
    settings.HasAudio = 0;
    settings.Width = 640;
    settings.Height = 480;

    // Crop 8 columns each side and stretch to the whole frame, brighter.
    core::EditSettings edit = core::kDefaultEditSettings;
    edit.zoom_mode = core::kZoomFullScreen;
    edit.crop_left = 8;
    edit.crop_right = 712;
    edit.brightness = 200;
    const DecodedOutput bright = Convert(fx::kNtscDisc, 0, settings, 2000, 3000, 0, -1, &edit,
                                         {8, 0, 704, 480, 0, 0, 640, 480});
    ASSERT_TRUE(bright.ok) << bright.error;
    EXPECT_TRUE(bright.audio_codec.empty());
    EXPECT_EQ(bright.width, 640);
    ASSERT_FALSE(bright.pictures.empty());
    for (const DecodedPicture& picture : bright.pictures)
        ASSERT_GE(picture.band, 59) << "the band reads through the crop";

    // A 16:9 fit of the 4:3 picture: 60-row black bars above and below a 640x360 picture.
    edit = core::kDefaultEditSettings;
    edit.zoom_mode = core::kZoom16x9;
    const DecodedOutput boxed = Convert(fx::kNtscDisc, 0, settings, 2000, 3000, 0, -1, &edit,
                                        {0, 0, 720, 480, 0, 60, 640, 360});
    ASSERT_TRUE(boxed.ok) << boxed.error;
    ASSERT_FALSE(boxed.pictures.empty());
    for (const DecodedPicture& picture : boxed.pictures)
        ASSERT_GE(picture.band, 59) << "the band sits in the 640x360 picture";
    EXPECT_NEAR(boxed.pictures[10].top_luma, fx::kBlackLuma, 3) << "the top bar is black";
    EXPECT_GT(bright.pictures[10].top_luma, fx::kBackgroundLuma + 20)
        << "brightness 200 raises the grey background";
}

TEST_F(ConvertTest, KeepOriginalShowsEachTitleAtTheShapeItsDiscDeclares) {
    // The default profile at a fixed 720x480 writes square pixels; the crop is the whole
    // picture.
    OutputSettings fixed = Profile(kDefaultProfile);
    fixed.Width = 720;
    fixed.Height = 480;
    fixed.FrameRate = 29970;
    struct Case {
        const fx::SampleDisc* disc;
        int title;
        double display_aspect;
    };
    for (const Case& c : {Case{&fx::kPalDisc, 0, 16.0 / 9.0}, Case{&fx::kNtscDisc, 4, 16.0 / 9.0},
                          Case{&fx::kNtscDisc, 2, 4.0 / 3.0}}) {
        const DecodedOutput out = Convert(*c.disc, c.title, fixed, 1000, 1000);
        dvd::MyDVDClose(handle_);
        handle_ = 0;
        ASSERT_TRUE(out.ok) << out.error;
        EXPECT_EQ(out.width, 720);
        EXPECT_EQ(out.height, 480);
        const double pixel_aspect = out.sample_aspect > 0 ? out.sample_aspect : 1.0;
        EXPECT_EQ(pixel_aspect, 1.0);
        ASSERT_GT(out.shown.height, 0);
        EXPECT_NEAR(out.shown.width * pixel_aspect / out.shown.height, c.display_aspect, 0.01)
            << c.disc->iso << " title " << c.title + 1 << ": " << out.shown.width << "x"
            << out.shown.height;
        ASSERT_FALSE(out.pictures.empty());
        for (const DecodedPicture& picture : out.pictures)
            ASSERT_GE(picture.band, 0) << "the band reads inside the bars";
    }
}

// Sets the PES scrambling bits of every video and private-stream packet, as a
// CSS-protected disc reads without its key.
void ScrambleVob(const std::filesystem::path& vob) {
    std::fstream file(vob, std::ios::in | std::ios::out | std::ios::binary);
    std::vector<char> sector(2048);
    for (std::streamoff at = 0; file.seekg(at), file.read(sector.data(), 2048); at += 2048) {
        const auto* b = reinterpret_cast<const unsigned char*>(sector.data());
        if (b[0] || b[1] || b[2] != 1 || b[3] != 0xBA) continue;
        const size_t pes = 14 + (b[13] & 7);
        if (pes + 7 > 2048 || b[pes + 2] != 1 || (b[pes + 3] != 0xE0 && b[pes + 3] != 0xBD))
            continue;
        sector[pes + 6] = static_cast<char>(sector[pes + 6] | 0x10);
        file.seekp(at);
        file.write(sector.data(), 2048);
    }
}

TEST_F(ConvertTest, ScrambledDiscSaysItIsEncrypted) {
    const std::filesystem::path copy = folder_ / "scrambled";
    std::filesystem::copy(fx::SampleDiscPath(fx::kPalDisc.folder), copy,
                          std::filesystem::copy_options::recursive);
    ScrambleVob(copy / "VIDEO_TS" / "VTS_01_1.VOB");
    handle_ = dvd::MyDVDOpen(copy.c_str());
    ASSERT_NE(handle_, 0) << "the IFO files are not scrambled";

    engine::BatchOptions options;
    options.output_folder = folder_;
    options.settings = Profile(kDefaultProfile);
    const BatchResult result =
        RunBatch(handle_, {{"x.mp4", core::MakeTitleItem(0, 10000), {}, {}, {}, {}}},
                 core::kDefaultEditSettings, options);
    EXPECT_EQ(result.failed_items, 1);
    ASSERT_FALSE(result.messages.empty());
    EXPECT_EQ(result.messages.back(), std::string("Title_01") + engine::kEncryptedDiscMessage);
    EXPECT_FALSE(std::filesystem::exists(folder_ / "x.mp4")) << "nothing reached the file";
}

}  // namespace
}  // namespace rizuvira::e2e
