// SPDX-License-Identifier: GPL-2.0-or-later
// rizuvira-cli convert with the default profile, whose size and frame rate are the source's and
// which codes by constant quality: a PAL title keeps its lines, rate and shape, telecined film
// comes back at film rate, a 25 fps transport stream keeps every picture, and --quality and
// --encoder-preset reach the encoder (its settings string, read from the file's bytes).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

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

class CliSourceValuesTest : public cli::test::CliFolderTest {
protected:
    // Converts title `title` of `source` with `options` into a folder of its own; the file.
    fs::path Convert(const std::string& source, int title, const std::string& options,
                     const std::string& name, const char* extension = "mp4") {
        const fs::path out = folder_ / name;
        const CliRun run = RunCli("convert '" + source + "' -q -t " + std::to_string(title) +
                                      " -o '" + out.string() + "' " + options,
                                  env_);
        EXPECT_EQ(run.exit_code, 0) << run.err;
        char file[32];
        std::snprintf(file, sizeof file, "Title_%02d.%s", title, extension);
        return out / file;
    }
    // The x264 settings string the encoder writes into its first picture.
    static std::string X264Settings(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        const size_t at = bytes.find("x264 - core");
        if (at == std::string::npos) return {};
        return bytes.substr(at, bytes.find('\0', at) - at);
    }
};

TEST_F(CliSourceValuesTest, PalTitleKeepsItsLinesRateAndDisplayAspect) {
    const fs::path file =
        Convert(fx::SampleDiscPath(fx::kPalDisc.iso), fx::kPalMainTitle, "", "pal");
    const DecodedOutput out = e2e::DecodeOutput(file.string(), 720, 576);
    ASSERT_TRUE(out.ok) << out.error;
    EXPECT_EQ(out.width, 720);
    EXPECT_EQ(out.height, 576) << "every line of the disc";
    EXPECT_NEAR(out.frame_rate, 25.0, 1e-6);
    EXPECT_EQ(out.pictures.size(), 250u) << "each picture once";
    // 16:9 on 720x576: pixels 64:45 wide, written into the file, no bars.
    EXPECT_NEAR(out.sample_aspect, 64.0 / 45.0, 1e-6);
    EXPECT_EQ(out.shown.y0, 0);
    EXPECT_EQ(out.shown.height, 576);
}

TEST_F(CliSourceValuesTest, TelecinedFilmComesBackAtFilmRate) {
    const fs::path file =
        Convert(fx::SampleDiscPath(fx::kFilmDiscIso), fx::kFilmTelecinedTitle, "", "film");
    const DecodedOutput out = e2e::DecodeOutput(file.string(), 720, 480);
    ASSERT_TRUE(out.ok) << out.error;
    EXPECT_NEAR(out.frame_rate, 24000.0 / 1001.0, 1e-6);
    EXPECT_EQ(static_cast<int>(out.pictures.size()), fx::kFilmPictures);
    EXPECT_EQ(out.height, 480);
}

TEST_F(CliSourceValuesTest, TransportStreamAt25KeepsEveryPicture) {
    for (const char* coding : {"libx264 -preset ultrafast", "mpeg2video"}) {
        SCOPED_TRACE(coding);
        const fs::path ts = folder_ / "clip.ts";
        const std::string make =
            "ffmpeg -v error -y -f lavfi -i testsrc=size=720x576:rate=25:duration=5 -f lavfi -i "
            "sine=f=440:duration=5 -c:v " +
            std::string(coding) + " -c:a mp2 -f mpegts '" + ts.string() + "'";
        ASSERT_EQ(std::system(make.c_str()), 0);
        fs::remove_all(folder_ / "ts");
        const fs::path file = Convert(ts.string(), 1, "-p 4", "ts", "mkv");
        const DecodedOutput out = e2e::DecodeOutput(file.string(), 720, 576);
        ASSERT_TRUE(out.ok) << out.error;
        EXPECT_NEAR(out.frame_rate, 25.0, 1e-6);
        EXPECT_EQ(out.pictures.size(), 125u);
    }
}

TEST_F(CliSourceValuesTest, QualityAndPresetReachTheEncoder) {
    const std::string disc = fx::SampleDiscPath(fx::kNtscDisc.iso);
    const std::string by_default = X264Settings(Convert(disc, 3, "", "default"));
    EXPECT_NE(by_default.find("rc=crf"), std::string::npos) << by_default;
    EXPECT_NE(by_default.find("crf=22.0"), std::string::npos) << by_default;

    const std::string asked =
        X264Settings(Convert(disc, 3, "--quality 30 --encoder-preset ultrafast", "asked"));
    EXPECT_NE(asked.find("crf=30.0"), std::string::npos) << asked;
    EXPECT_NE(asked.find("subme=0"), std::string::npos) << "ultrafast: " << asked;

    const std::string chosen = X264Settings(Convert(disc, 3, "--quality auto", "auto"));
    EXPECT_NE(chosen.find("crf=22.0"), std::string::npos) << "x264's own: " << chosen;

    const std::string rate = X264Settings(Convert(disc, 3, "--vbitrate 1500000", "rate"));
    EXPECT_NE(rate.find("rc=abr"), std::string::npos) << rate;
    EXPECT_NE(rate.find("bitrate=1500"), std::string::npos) << rate;
}

}  // namespace
}  // namespace rizuvira::cli
