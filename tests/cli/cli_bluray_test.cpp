// SPDX-License-Identifier: GPL-2.0-or-later
// rizuvira-cli on a Blu-ray folder made with ffmpeg and the clip information
// writer: its clips as titles, longest first, with the languages their clip
// information declares, converted end to end; and the folders it refuses. A disc
// with playlists (fixtures/sample_bluray.h) lists them as its titles, as a folder
// and as an image, and converts a title of three clips as one.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "e2e/decoded_output.h"
#include "fixtures/clip_info_writer.h"
#include "fixtures/sample_bluray.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::cli {
namespace {

namespace fs = std::filesystem;
namespace fx = fixtures;
using cli::test::CliRun;
using cli::test::RunCli;

class CliBluRayTest : public cli::test::CliFolderTest {
protected:
    // A clip of `seconds` in disc/BDMV/STREAM: 720x480 MPEG-2 pictures and two AC-3 stereo
    // tracks at `hz` and at twice `hz` on PIDs 0x1100 and 0x1101, ffmpeg's Blu-ray layout.
    void MakeClip(const std::string& name, double seconds, int hz,
                  const std::vector<fx::ClipStreamSpec>& info) {
        const fs::path stream = folder_ / "disc" / "BDMV" / "STREAM";
        fs::create_directories(stream);
        const std::string command =
            "ffmpeg -v error -y -f lavfi -i testsrc2=size=720x480:rate=30000/1001 -f lavfi -i "
            "sine=f=" +
            std::to_string(hz) + ":sample_rate=48000 -f lavfi -i sine=f=" + std::to_string(2 * hz) +
            ":sample_rate=48000 -t " + std::to_string(seconds) +
            " -map 0 -map 1 -map 2 -c:v mpeg2video -c:a ac3 -ac 2 -f mpegts -mpegts_m2ts_mode 1 '" +
            (stream / (name + ".m2ts")).string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        if (!info.empty())
            fx::WriteClipInfo(folder_ / "disc" / "BDMV" / "CLIPINF" / (name + ".clpi"), info);
    }
    // Three clips: 00001 (3.5 s, 440 Hz, English and German), 00002 (5 s, 550 Hz, Japanese
    // and French, and a Spanish graphics stream), 00003 (2 s, too short to be listed).
    void MakeDisc() {
        MakeClip("00001", 3.5, 440,
                 {{0x1011, 0x02, "", 0x34}, {0x1100, 0x81, "eng"}, {0x1101, 0x81, "ger"}});
        MakeClip("00002", 5, 550,
                 {{0x1011, 0x02, "", 0x34},
                  {0x1100, 0x81, "jpn"},
                  {0x1101, 0x81, "fra"},
                  {0x1200, 0x90, "spa"}});
        MakeClip("00003", 2, 330, {});
    }
    // The start of every chapter of a converted file, one line each.
    std::string Chapters(const fs::path& file) {
        const fs::path listing = folder_ / "chapters.txt";
        const std::string probe =
            "ffprobe -v error -show_entries chapter=start_time -of csv=p=0 '" + file.string() +
            "' > '" + listing.string() + "'";
        EXPECT_EQ(std::system(probe.c_str()), 0);
        std::ifstream in(listing);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // codec_type,language of every stream of a converted file, one line each.
    std::string Streams(const fs::path& file) {
        const fs::path listing = folder_ / "streams.txt";
        const std::string probe =
            "ffprobe -v error -show_entries stream=codec_type:stream_tags=language -of csv=p=0 '" +
            file.string() + "' > '" + listing.string() + "'";
        EXPECT_EQ(std::system(probe.c_str()), 0);
        std::ifstream in(listing);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

double Tone(const e2e::DecodedOutput& out, double at_s, double hz) {
    const size_t first = static_cast<size_t>((at_s - out.audio_start_s) * out.sample_rate);
    const size_t count = static_cast<size_t>(out.sample_rate / 5);
    if (first + count > out.mono.size()) return 0;
    return fx::ToneAmplitude(std::span<const float>(out.mono).subspan(first, count),
                             out.sample_rate, hz);
}

// The listing without its chapter lines (the lengths of the clips' sound and
// pictures differ by a frame or two).
std::string WithoutChapters(const std::string& listing) {
    std::string kept;
    for (size_t at = 0, end = 0; at < listing.size(); at = end + 1) {
        end = std::min(listing.find('\n', at), listing.size());
        const std::string line = listing.substr(at, end - at);
        if (!line.starts_with("  chapter")) kept += line + "\n";
    }
    return kept;
}

TEST_F(CliBluRayTest, FolderListsItsClipsLongestFirstWithTheirLanguages) {
    MakeDisc();
    const CliRun info = RunCli("info '" + (folder_ / "disc").string() + "'", env_);
    ASSERT_EQ(info.exit_code, 0) << info.err;
    EXPECT_EQ(WithoutChapters(info.out),
              "Title_01  00:00:05  1 chapter  00002.m2ts\n"
              "  video     720x480  NTSC  3:2\n"
              "  audio     Japanese(AC3 2ch)  48000 Hz  2 channels\n"
              "  audio     French(AC3 2ch)  48000 Hz  2 channels\n"
              "  subtitle  Spanish\n"
              "Title_02  00:00:03  1 chapter  00001.m2ts\n"
              "  video     720x480  NTSC  3:2\n"
              "  audio     English(AC3 2ch)  48000 Hz  2 channels\n"
              "  audio     German(AC3 2ch)  48000 Hz  2 channels\n");
    const CliRun bdmv = RunCli("info '" + (folder_ / "disc" / "BDMV").string() + "/'", env_);
    EXPECT_EQ(bdmv.out, info.out) << "the BDMV folder itself is the same disc";
}

TEST_F(CliBluRayTest, FolderConvertsEveryListedClipWithItsDeclaredLanguage) {
    MakeDisc();
    const fs::path out = folder_ / "out";
    const CliRun run = RunCli(
        "convert '" + (folder_ / "disc").string() + "' -q -o '" + out.string() + "' --audio 2",
        env_);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_FALSE(fs::exists(out / "Title_03.mp4")) << "a clip shorter than 3 s is not listed";
    EXPECT_EQ(Streams(out / "Title_01.mp4"), "video,und\naudio,fre\n");
    EXPECT_EQ(Streams(out / "Title_02.mp4"), "video,und\naudio,ger\n");

    // Each title is read from its own clip: the second track's tone of each.
    const e2e::DecodedOutput first = e2e::DecodeOutput((out / "Title_01.mp4").string(), 720, 480);
    ASSERT_TRUE(first.ok) << first.error;
    EXPECT_NEAR(first.pictures.back().time_s, 5.0, 0.1);
    EXPECT_GT(Tone(first, 2.5, 1100), 0.05);
    const e2e::DecodedOutput second = e2e::DecodeOutput((out / "Title_02.mp4").string(), 720, 480);
    ASSERT_TRUE(second.ok) << second.error;
    EXPECT_NEAR(second.pictures.back().time_s, 3.5, 0.1);
    EXPECT_GT(Tone(second, 1.5, 880), 0.05);
    EXPECT_LT(Tone(second, 1.5, 1100), 0.01);
}

TEST_F(CliBluRayTest, EmptyOrBrokenFolderSaysWhy) {
    const fs::path bdmv = folder_ / "disc" / "BDMV";
    fs::create_directories(bdmv);
    for (const std::string command : {"info", "convert"}) {
        const CliRun run = RunCli(command + " '" + (folder_ / "disc").string() + "'", env_);
        EXPECT_EQ(run.exit_code, 3) << command;
        EXPECT_EQ(run.err, bdmv.string() + " holds no STREAM folder with the disc's clips\n")
            << command;
    }
    fs::create_directories(bdmv / "STREAM");
    EXPECT_EQ(RunCli("info '" + bdmv.string() + "'", env_).err,
              (bdmv / "STREAM").string() + " holds no clip (.m2ts)\n");
    std::ofstream(bdmv / "STREAM" / "00009.m2ts") << std::string(100000, 'x');
    EXPECT_EQ(RunCli("info '" + bdmv.string() + "'", env_).err,
              (bdmv / "STREAM" / "00009.m2ts").string() + ", the only clip in " +
                  (bdmv / "STREAM").string() + ", is not an MPEG transport stream\n");

    // A damaged clip among good ones is left out, with a word.
    MakeClip("00001", 3, 440, {});
    const CliRun info = RunCli("info '" + bdmv.string() + "'", env_);
    EXPECT_EQ(info.exit_code, 0);
    EXPECT_NE(info.out.find("Title_01  00:00:03  1 chapter  00001.m2ts"), std::string::npos)
        << info.out;
    EXPECT_NE(info.err.find("00009.m2ts is not an MPEG"), std::string::npos) << info.err;
    EXPECT_EQ(info.out.find("Title_02"), std::string::npos) << info.out;
}

constexpr const char* kFilmListing =
    "Title_01  00:00:12  4 chapters  00000.mpls  3 clips  main feature\n"
    "  video     720x576  PAL  5:4\n"
    "  chapter   1  00:00:00.000  00:00:02.000\n"
    "  chapter   2  00:00:02.000  00:00:03.000\n"
    "  chapter   3  00:00:05.000  00:00:03.000\n"
    "  chapter   4  00:00:08.000  00:00:04.000\n"
    "  audio     English(AC3 2ch)  48000 Hz  2 channels\n"
    "  subtitle  English\n"
    "Not listed: 1 playlist shorter than 10 s, 1 repeating a title\n";

TEST_F(CliBluRayTest, PlaylistsAreTheTitlesOfTheFolderAndOfItsImage) {
    const fs::path disc = folder_ / "film";
    ASSERT_TRUE(fx::MakeSampleBluray(disc));
    ASSERT_TRUE(fx::MakeBlurayImage(disc, folder_ / "film.iso", "SAMPLE_BD"));
    const CliRun info = RunCli("info '" + disc.string() + "'", env_);
    ASSERT_EQ(info.exit_code, 0) << info.err;
    EXPECT_EQ(info.out, std::string("Blu-ray  film\n") + kFilmListing);
    const CliRun image = RunCli("info '" + (folder_ / "film.iso").string() + "'", env_);
    ASSERT_EQ(image.exit_code, 0) << image.err;
    EXPECT_EQ(image.out, std::string("Blu-ray  SAMPLE_BD\n") + kFilmListing);
    const CliRun json = RunCli("info --json '" + disc.string() + "'", env_);
    EXPECT_NE(json.out.find("\"file\": \"00000.mpls\", \"clips\": 3, \"angles\": 1, "
                            "\"main_feature\": true"),
              std::string::npos)
        << json.out;
}

TEST_F(CliBluRayTest, FilmOfThreeClipsConvertsEveryPictureOnceWithItsSoundInStep) {
    const fs::path disc = folder_ / "film";
    ASSERT_TRUE(fx::MakeSampleBluray(disc));
    const fs::path out = folder_ / "out";
    const CliRun run = RunCli("convert '" + disc.string() + "' -q -o '" + out.string() + "'", env_);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const e2e::DecodedOutput film = e2e::DecodeOutput((out / "Title_01.mp4").string(), 720, 576);
    ASSERT_TRUE(film.ok) << film.error;
    ASSERT_EQ(film.pictures.size(), static_cast<size_t>(fx::kBlurayFilmFrames));
    for (int i = 0; i < fx::kBlurayFilmFrames; ++i)
        ASSERT_EQ(film.pictures[static_cast<size_t>(i)].band, i) << "picture " << i;
    // Each second's beep starts with its flash, across the joins at 4 s and 8 s too.
    for (const double second : {1.0, 4.0, 5.0, 8.0, 11.0}) {
        const size_t flash = static_cast<size_t>(second * 25);
        ASSERT_TRUE(film.pictures[flash].flash) << second;
        EXPECT_NEAR(e2e::BeepRise(film, film.pictures[flash].time_s, fx::kBlurayToneHz),
                    film.pictures[flash].time_s, 0.03)
            << second;
    }
    EXPECT_EQ(Chapters(out / "Title_01.mp4"), "0.000000\n2.000000\n5.000000\n8.000000\n");
}

// The film's graphics subtitle, drawn into the pictures from 5 s to 7 s of the film: it
// comes from the second clip, whose own clock shows it from 1 s to 3 s.
TEST_F(CliBluRayTest, GraphicsSubtitleIsDrawnAtItsTimeInTheFilm) {
    const fs::path disc = folder_ / "film";
    ASSERT_TRUE(fx::MakeSampleBluray(disc));
    const fs::path out = folder_ / "out";
    const CliRun run =
        RunCli("convert '" + disc.string() + "' -q -o '" + out.string() + "' --subtitle 1", env_);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const e2e::DecodedOutput film = e2e::DecodeOutput((out / "Title_01.mp4").string(), 720, 576);
    ASSERT_TRUE(film.ok) << film.error;
    ASSERT_EQ(film.pictures.size(), static_cast<size_t>(fx::kBlurayFilmFrames));
    // Pictures away from the flash in the first 0.1 s of each second.
    auto bottom = [&](double at_s) {
        return film.pictures[static_cast<size_t>(at_s * 25)].bottom_luma;
    };
    const double plain = bottom(4.5);
    EXPECT_NEAR(bottom(7.5), plain, 1.0) << "the subtitle is gone at 7 s";
    EXPECT_NEAR(bottom(fx::kBluraySubtitleShowS - 0.2), plain, 1.0);
    for (const double at_s : {fx::kBluraySubtitleShowS + 0.2, 6.4, fx::kBluraySubtitleHideS - 0.2})
        EXPECT_GT(bottom(at_s), plain + 5) << "the white box shows at " << at_s << " s";
}

// Kept as a subtitle stream of an MKV file instead: the graphics as the disc holds them, at
// their time in the film. An MP4 file cannot keep them, so the subtitle is drawn there.
TEST_F(CliBluRayTest, GraphicsSubtitleIsKeptAsAStreamInMkvOnly) {
    const fs::path disc = folder_ / "film";
    ASSERT_TRUE(fx::MakeSampleBluray(disc));
    const fs::path out = folder_ / "out";
    const CliRun run = RunCli("convert '" + disc.string() + "' -q -p 4 -o '" + out.string() +
                                  "' --subtitle 1 --subtitle-mode soft",
                              env_);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(Streams(out / "Title_01.mkv"), "video\naudio,eng\nsubtitle,eng\n");
    const fs::path times = folder_ / "times.txt";
    const std::string probe =
        "ffprobe -v error -select_streams s -show_entries packet=pts_time:stream=codec_name "
        "-of csv=p=0 '" +
        (out / "Title_01.mkv").string() + "' | sort -u > '" + times.string() + "'";
    ASSERT_EQ(std::system(probe.c_str()), 0);
    std::ifstream in(times);
    std::vector<double> sets_s;
    std::string codec;
    for (std::string line; std::getline(in, line);) {
        if (std::isdigit(static_cast<unsigned char>(line[0])))
            sets_s.push_back(std::stod(line));
        else
            codec = line;
    }
    EXPECT_EQ(codec, "hdmv_pgs_subtitle");
    // The second clip's display sets: empty at its start, the box, empty again.
    ASSERT_EQ(sets_s.size(), 3u);
    EXPECT_NEAR(sets_s[0], 4.0, 0.04);
    EXPECT_NEAR(sets_s[1], fx::kBluraySubtitleShowS, 0.04);
    EXPECT_NEAR(sets_s[2], fx::kBluraySubtitleHideS, 0.04);

    const CliRun mp4 = RunCli("convert '" + disc.string() + "' -q -y -o '" + out.string() +
                                  "' --subtitle 1 --subtitle-mode soft",
                              env_);
    ASSERT_EQ(mp4.exit_code, 0) << mp4.err;
    EXPECT_NE(mp4.err.find("kept as subtitle streams only in MKV"), std::string::npos) << mp4.err;
    EXPECT_EQ(Streams(out / "Title_01.mp4").find("subtitle"), std::string::npos);
}

}  // namespace
}  // namespace rizuvira::cli
