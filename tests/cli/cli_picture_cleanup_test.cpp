// SPDX-License-Identifier: GPL-2.0-or-later
// rizuvira-cli convert --deinterlace and --crop auto on the film disc: combing
// measured on the output with ffmpeg's idet, telecined film back at 23.976 with
// every film picture once, the disc's pictures kept as they are with
// deinterlacing off, and the drawn black bars cropped.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "e2e/decoded_output.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::cli {
namespace {

namespace fs = std::filesystem;
namespace fx = fixtures;
using cli::test::CliRun;
using cli::test::RunCli;
using e2e::DecodedOutput;
using e2e::DecodedPicture;

constexpr double kNtscFrame = 1001.0 / 30000.0;
constexpr double kFilmFrame = 1001.0 / 24000.0;

// What ffmpeg's idet filter counts over a whole file.
struct FieldCounts {
    int tff = 0, bff = 0, progressive = 0;
    int repeated = 0;  // top and bottom
    bool ok = false;
    int combed() const { return tff + bff; }
    int judged() const { return tff + bff + progressive; }
};

FieldCounts MeasureFields(const fs::path& file) {
    const std::string command =
        "ffmpeg -nostdin -hide_banner -i '" + file.string() + "' -an -vf idet -f null - 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string text;
    char chunk[4096];
    while (size_t n = std::fread(chunk, 1, sizeof chunk, pipe)) text.append(chunk, n);
    pclose(pipe);
    FieldCounts counts;
    std::smatch match;
    const std::regex multi(
        R"(Multi frame detection: TFF:\s*(\d+) BFF:\s*(\d+) Progressive:\s*(\d+))");
    const std::regex repeated(R"(Repeated Fields: Neither:\s*\d+ Top:\s*(\d+) Bottom:\s*(\d+))");
    if (std::regex_search(text, match, multi)) {
        counts.tff = std::stoi(match[1]);
        counts.bff = std::stoi(match[2]);
        counts.progressive = std::stoi(match[3]);
        counts.ok = true;
    }
    if (std::regex_search(text, match, repeated))
        counts.repeated = std::stoi(match[1]) + std::stoi(match[2]);
    return counts;
}

double AudioEnd(const DecodedOutput& out) {
    return out.audio_start_s + static_cast<double>(out.mono.size()) / out.sample_rate;
}

class CliPictureCleanupTest : public cli::test::CliFolderTest {
protected:
    // Converts `title` of `disc` at the source's own size, filling the frame,
    // into its own folder `name`; the file written.
    fs::path Convert(std::string_view disc, int title, const std::string& options,
                     const std::string& name) {
        const fs::path out = folder_ / name;
        const CliRun run =
            RunCli("convert '" + fx::SampleDiscPath(disc) + "' -q -t " + std::to_string(title) +
                       " --size 720x480 --zoom full -o '" + out.string() + "' " + options,
                   env_);
        EXPECT_EQ(run.exit_code, 0) << run.err;
        char file[32];
        std::snprintf(file, sizeof file, "Title_%02d.mp4", title);
        return out / file;
    }
};

TEST_F(CliPictureCleanupTest, InterlacedTitleComesOutWithoutCombingInStep) {
    const fs::path file = Convert(fx::kFilmDiscIso, fx::kFilmInterlacedTitle, "", "auto");
    const FieldCounts fields = MeasureFields(file);
    ASSERT_TRUE(fields.ok);
    EXPECT_LE(fields.combed() * 10, fields.judged()) << "at most a tenth of the pictures comb";

    const DecodedOutput out = e2e::DecodeOutput(file.string(), 720, 480);
    ASSERT_TRUE(out.ok) << out.error;
    EXPECT_EQ(static_cast<int>(out.pictures.size()), fx::kFilmFrames) << "one picture per frame";
    EXPECT_NEAR(out.pictures.front().time_s, 0, 0.001);
    EXPECT_NEAR(out.pictures.back().time_s + kNtscFrame, fx::kFilmFrames * kNtscFrame, 0.001);
    EXPECT_NEAR(AudioEnd(out), fx::kFilmFrames * kNtscFrame, 0.03);
}

TEST_F(CliPictureCleanupTest, TelecinedFilmComesBackAtFilmRateWithEveryPictureOnce) {
    const fs::path file =
        Convert(fx::kFilmDiscIso, fx::kFilmTelecinedTitle, "--fps 23.976", "film");
    const DecodedOutput out = e2e::DecodeOutput(file.string(), 720, 480);
    ASSERT_TRUE(out.ok) << out.error;
    EXPECT_NEAR(out.frame_rate, 24000.0 / 1001.0, 0.001);
    std::vector<int> bands;
    for (const DecodedPicture& picture : out.pictures) bands.push_back(picture.band);
    std::vector<int> expected;
    for (int n = 0; n < fx::kFilmPictures; ++n) expected.push_back(n);
    EXPECT_EQ(bands, expected) << "each film picture once, none repeated or mixed";
    EXPECT_NEAR(AudioEnd(out), fx::kFilmPictures * kFilmFrame, 0.03)
        << "sound as long as the pictures";
    const FieldCounts fields = MeasureFields(file);
    EXPECT_LE(fields.combed() * 10, fields.judged());
}

TEST_F(CliPictureCleanupTest, TelecinedFilmAtVideoRateIsMatchedNotCombed) {
    const fs::path file =
        Convert(fx::kFilmDiscIso, fx::kFilmTelecinedTitle, "--fps 29.97", "video-rate");
    const DecodedOutput out = e2e::DecodeOutput(file.string(), 720, 480);
    ASSERT_TRUE(out.ok) << out.error;
    EXPECT_EQ(static_cast<int>(out.pictures.size()), fx::kFilmFrames);
    for (const DecodedPicture& picture : out.pictures)
        EXPECT_GE(picture.band, 0) << "a whole film picture at " << picture.time_s << " s";
    const FieldCounts fields = MeasureFields(file);
    EXPECT_LE(fields.combed() * 10, fields.judged());
}

TEST_F(CliPictureCleanupTest, DeinterlacingOffKeepsThePicturesAsCoded) {
    // The interlaced title keeps its combing.
    const FieldCounts fields = MeasureFields(
        Convert(fx::kFilmDiscIso, fx::kFilmInterlacedTitle, "--deinterlace off", "off"));
    ASSERT_TRUE(fields.ok);
    EXPECT_GT(fields.combed() * 2, fields.judged());

    // A progressive disc converts to the same pictures either way.
    const DecodedOutput plain = e2e::DecodeOutput(
        Convert(fx::kNtscDisc.iso, 2, "--deinterlace off", "plain-off").string(), 720, 480);
    const DecodedOutput automatic =
        e2e::DecodeOutput(Convert(fx::kNtscDisc.iso, 2, "", "plain-auto").string(), 720, 480);
    ASSERT_TRUE(plain.ok && automatic.ok);
    ASSERT_EQ(plain.pictures.size(), automatic.pictures.size());
    for (size_t i = 0; i < plain.pictures.size(); ++i) {
        EXPECT_EQ(plain.pictures[i].band, automatic.pictures[i].band);
        EXPECT_DOUBLE_EQ(plain.pictures[i].time_s, automatic.pictures[i].time_s);
    }
    EXPECT_EQ(plain.last_luma, automatic.last_luma);
}

TEST_F(CliPictureCleanupTest, ProgressivePicturesCodedAsInterlacedPassUntouched) {
    // The letterboxed title is whole pictures, though coded as interlaced: the measurement
    // finds no combing and lets them through as deinterlacing off does.
    const DecodedOutput automatic = e2e::DecodeOutput(
        Convert(fx::kFilmDiscIso, fx::kFilmLetterboxedTitle, "", "auto").string(), 720, 480);
    const DecodedOutput off = e2e::DecodeOutput(
        Convert(fx::kFilmDiscIso, fx::kFilmLetterboxedTitle, "--deinterlace off", "off").string(),
        720, 480);
    ASSERT_TRUE(automatic.ok && off.ok);
    EXPECT_EQ(automatic.pictures.size(), off.pictures.size());
    EXPECT_EQ(automatic.last_luma, off.last_luma);
}

TEST_F(CliPictureCleanupTest, StillTitleDeinterlacedKeepsItsPictureForItsSound) {
    const fx::StillTitle& still = fx::kStillTitles[0];
    const fs::path file = Convert(fx::kStillDiscIso, 1, "--deinterlace on", "still");
    const DecodedOutput out = e2e::DecodeOutput(file.string(), 720, 480);
    ASSERT_TRUE(out.ok) << out.error;
    ASSERT_FALSE(out.pictures.empty());
    EXPECT_NEAR(AudioEnd(out), still.sound_ms / 1000.0, 0.1);
    EXPECT_NEAR(out.pictures.back().time_s + kNtscFrame, AudioEnd(out), 2 * kNtscFrame);
    for (const DecodedPicture& picture : out.pictures)
        if (picture.band != still.band) {
            ADD_FAILURE() << "band " << picture.band << " at " << picture.time_s << " s";
            break;
        }
}

TEST_F(CliPictureCleanupTest, AutoCropLeavesNoBlackEdge) {
    const fx::Bars& bars = fx::kFilmBars;
    const std::string size =
        std::to_string(bars.right - bars.left) + "x" + std::to_string(bars.bottom - bars.top);
    const fs::path file =
        Convert(fx::kFilmDiscIso, fx::kFilmLetterboxedTitle, "--crop auto --size " + size, "crop");
    const DecodedOutput out = e2e::DecodeOutput(file.string(), 720, 480);
    ASSERT_TRUE(out.ok) << out.error;
    ASSERT_EQ(out.width, bars.right - bars.left);
    ASSERT_EQ(out.height, bars.bottom - bars.top);
    ASSERT_EQ(out.last_luma.size(), static_cast<size_t>(out.width) * out.height);
    const auto mean = [&](int x0, int y0, int dx, int dy, int count) {
        double sum = 0;
        for (int i = 0; i < count; ++i)
            sum += out.last_luma[static_cast<size_t>(y0 + i * dy) * out.width + x0 + i * dx];
        return sum / count;
    };
    EXPECT_GT(mean(0, 0, 1, 0, out.width), 60) << "top row";
    EXPECT_GT(mean(0, out.height - 1, 1, 0, out.width), 60) << "bottom row";
    EXPECT_GT(mean(0, 0, 0, 1, out.height), 60) << "left column";
    EXPECT_GT(mean(out.width - 1, 0, 0, 1, out.height), 60) << "right column";
}

}  // namespace
}  // namespace rizuvira::cli
