// SPDX-License-Identifier: GPL-2.0-or-later
// rizuvira-cli convert, run as a program on the sample discs and checked by
// decoding what it wrote: merging, track choice, trims, damaged sources and
// the usage errors.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "cli/cli_run.h"
#include "cli/ntsc_disc_test.h"
#include "e2e/decoded_output.h"
#include "engine/run_controller.h"
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

using CliConvertTest = cli::test::NtscDiscTest;

double Tone(const DecodedOutput& out, double at_s, double hz) {
    const size_t first = static_cast<size_t>((at_s - out.audio_start_s) * out.sample_rate);
    const size_t count = static_cast<size_t>(out.sample_rate / 5);
    if (first + count > out.mono.size()) return 0;
    return fx::ToneAmplitude(std::span<const float>(out.mono).subspan(first, count),
                             out.sample_rate, hz);
}

// Authors a disc in `work`/disc with one title that plays `clips` (DVD
// MPEG files) in turn; true on success.
bool AuthorTitle(const fs::path& work, const std::vector<fs::path>& clips) {
    std::ofstream xml(work / "dvd.xml");
    xml << "<dvdauthor dest=\"" << (work / "disc").string() << "\"><vmgm/><titleset><titles><pgc>";
    for (const fs::path& clip : clips) xml << "<vob file=\"" << clip.string() << "\"/>";
    xml << "</pgc></titles></titleset></dvdauthor>\n";
    xml.close();
    return std::system(("VIDEO_FORMAT=NTSC dvdauthor -x '" + (work / "dvd.xml").string() +
                        "' >/dev/null 2>&1")
                           .c_str()) == 0;
}

TEST_F(CliConvertTest, MergedTitlesMakeOneFileOfTheSummedLengthInSync) {
    const fs::path out = folder_ / "out";
    const CliRun run = Convert("-t 1,3 --trim 0:00:00-0:00:02 --merge -o '" + out.string() + "'");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, (out / "Title_01.mp4").string() + "\n");
    ASSERT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);

    const DecodedOutput merged = Decode(out / "Title_01.mp4");
    ASSERT_TRUE(merged.ok) << merged.error;
    ASSERT_FALSE(merged.pictures.empty());
    const double video_end = merged.pictures.back().time_s + kNtscFrame;
    EXPECT_NEAR(video_end, 4.0, 2 * kNtscFrame) << "the sum of the items, within a frame each";
    const double audio_end =
        merged.audio_start_s + static_cast<double>(merged.mono.size()) / merged.sample_rate;
    EXPECT_NEAR(audio_end, video_end, 2048.0 / merged.sample_rate);

    // The second item: its own pictures from frame 0 and its own tone.
    size_t boundary = 1;
    while (boundary < merged.pictures.size() &&
           merged.pictures[boundary].band >= merged.pictures[boundary - 1].band)
        ++boundary;
    ASSERT_LT(boundary, merged.pictures.size()) << "no second item";
    EXPECT_EQ(merged.pictures[boundary].band, 0);
    EXPECT_GT(Tone(merged, 1.0, 440), 0.03);
    EXPECT_GT(Tone(merged, 3.5, 800), 0.03)
        << merged.mono.size() << " samples at " << merged.sample_rate << " from "
        << merged.audio_start_s;
    EXPECT_LT(Tone(merged, 3.5, 440), 0.01);

    // Each flash of the second item (frames 0 and 30) meets its beep.
    for (int second = 0; second < 2; ++second) {
        double flash_s = -1;
        for (size_t i = boundary; i < merged.pictures.size(); ++i)
            if (merged.pictures[i].band == fx::FirstFlashFrame(second, 30000, 1001)) {
                flash_s = merged.pictures[i].time_s;
                break;
            }
        ASSERT_GE(flash_s, 0);
        const double beep_s = e2e::BeepRise(merged, flash_s, 800);
        ASSERT_GE(beep_s, 0) << "no beep at the second item's second " << second;
        EXPECT_NEAR(beep_s, flash_s, kNtscFrame + 0.011)
            << "second " << second << " of the second item";
    }
}

// The band of the picture shown at `at_s`; -2 when there is none.
int BandAt(const DecodedOutput& out, double at_s) {
    int band = -2;
    for (const DecodedPicture& picture : out.pictures)
        if (picture.time_s <= at_s) band = picture.band;
    return band;
}

double AudioEnd(const DecodedOutput& out) {
    return out.audio_start_s + static_cast<double>(out.mono.size()) / out.sample_rate;
}

TEST_F(CliConvertTest, MergedStillTitlesFollowEachOtherByTheirSound) {
    const fs::path out = folder_ / "out";
    const CliRun run = RunCli("convert '" + fx::SampleDiscPath(fx::kStillDiscIso) +
                                  "' -q -t 1,2 --merge -o '" + out.string() + "'",
                              env_);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const DecodedOutput merged = Decode(out / "Title_01.mp4");
    ASSERT_TRUE(merged.ok) << merged.error;
    ASSERT_FALSE(merged.pictures.empty());
    const fx::StillTitle& first = fx::kStillTitles[0];
    const fx::StillTitle& second = fx::kStillTitles[1];
    const double first_s = first.sound_ms / 1000.0,
                 total_s = (first.sound_ms + second.sound_ms) / 1000.0;

    EXPECT_NEAR(AudioEnd(merged), total_s, 0.1) << "both sound tracks, one after the other";
    EXPECT_NEAR(merged.pictures.back().time_s + kNtscFrame, AudioEnd(merged), 2 * kNtscFrame);
    EXPECT_GT(Tone(merged, first_s / 2, first.tone_hz), 0.03);
    EXPECT_GT(Tone(merged, first_s + 2.5, second.tone_hz), 0.03);
    EXPECT_LT(Tone(merged, first_s + 2.5, first.tone_hz), 0.01);

    // Each title's picture stays up while its sound plays.
    EXPECT_EQ(BandAt(merged, 0.5), first.band);
    EXPECT_EQ(BandAt(merged, first_s - 0.2), first.band);
    EXPECT_EQ(BandAt(merged, first_s + 0.2), second.band);
    EXPECT_EQ(BandAt(merged, total_s - 0.2), second.band);
    for (const DecodedPicture& picture : merged.pictures)
        if (picture.band == second.band) {
            EXPECT_NEAR(picture.time_s, first_s, 2 * kNtscFrame)
                << "the second title starts after the first's sound";
            break;
        }
}

TEST_F(CliConvertTest, TrimAfterAStillsOnlyPictureShowsThatPicture) {
    const fs::path out = folder_ / "out";
    const fx::StillTitle& still = fx::kStillTitles[0];
    const CliRun run = RunCli("convert '" + fx::SampleDiscPath(fx::kStillDiscIso) +
                                  "' -q -t 1 --trim 0:00:02-0:00:05 -o '" + out.string() + "'",
                              env_);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const DecodedOutput cut = Decode(out / "Title_01.mp4");
    ASSERT_TRUE(cut.ok) << cut.error;
    ASSERT_FALSE(cut.pictures.empty()) << "the picture on screen at the trim start";
    EXPECT_NEAR(cut.pictures.front().time_s, 0, kNtscFrame / 2);
    for (const DecodedPicture& picture : cut.pictures)
        EXPECT_EQ(picture.band, still.band) << picture.time_s;
    EXPECT_NEAR(cut.pictures.back().time_s + kNtscFrame, 3.0, 2 * kNtscFrame);
    EXPECT_NEAR(AudioEnd(cut), 3.0, 0.1);
    EXPECT_GT(Tone(cut, 1.5, still.tone_hz), 0.03);
}

TEST_F(CliConvertTest, SecondAudioTrackFromTheFirstSample) {
    const fs::path out_folder = folder_ / "out";
    const CliRun run =
        Convert("-t 1 --trim 0:00:01-0:00:02.5 --audio 2 --json -o '" + out_folder.string() + "'");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("{\"event\": \"file\", \"path\": \"" +
                           (out_folder / "Title_01.mp4").string() + "\", \"ok\": true"),
              std::string::npos)
        << run.out;
    EXPECT_NE(
        run.out.find(
            "{\"event\": \"done\", \"files\": 1, \"failed_items\": 0, \"cancelled\": false, "),
        std::string::npos);
    const DecodedOutput out = Decode(out_folder / "Title_01.mp4");
    ASSERT_TRUE(out.ok) << out.error;
    // From the first sample: the choice is made before anything flows.
    for (const double at_s : {0.05, 0.7}) {
        EXPECT_GT(Tone(out, at_s, 530), 0.03) << "the French track at " << at_s;
        EXPECT_LT(Tone(out, at_s, 440), 0.01) << at_s;
    }
}

TEST_F(CliConvertTest, SubtitleNoneDrawsNothing) {
    const fs::path with = folder_ / "with", without = folder_ / "without";
    fs::create_directories(with);
    fs::create_directories(without);
    // The first English cue runs 5-8 s.
    ASSERT_EQ(Convert("-t 1 --trim 0:00:05-0:00:06 -o '" + with.string() + "'").exit_code, 0);
    const CliRun run =
        Convert("-t 1 --trim 0:00:05-0:00:06 --subtitle none -o '" + without.string() + "'");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const DecodedOutput a = Decode(with / "Title_01.mp4"), b = Decode(without / "Title_01.mp4");
    ASSERT_TRUE(a.ok && b.ok);
    ASSERT_FALSE(a.pictures.empty() || b.pictures.empty());
    const DecodedPicture& shown = a.pictures[a.pictures.size() / 2];
    const DecodedPicture& plain = b.pictures[b.pictures.size() / 2];
    EXPECT_GT(std::abs(shown.bottom_luma - plain.bottom_luma), 1.0)
        << "the default is the first subtitle";
    // Without a subtitle the bottom looks like a picture far from any cue.
    ASSERT_EQ(Convert("-t 1 --trim 0:00:10-0:00:11 -y -o '" + with.string() + "'").exit_code, 0);
    const DecodedOutput quiet = Decode(with / "Title_01.mp4");
    ASSERT_TRUE(quiet.ok);
    EXPECT_LT(std::abs(plain.bottom_luma - quiet.pictures[quiet.pictures.size() / 2].bottom_luma),
              1.0);
}

TEST_F(CliConvertTest, WatermarkIsDrawnWhereAndAsTheOptionsSay) {
    // fontconfig keeps a few bytes of its parsed configuration unreachable after loading it;
    // that is the library's, not a leak of the watermark code.
    std::ofstream(folder_ / "lsan.supp") << "leak:libfontconfig.so\n";
    const CliRun run =
        RunCli("convert '" + fx::SampleDiscPath(fx::kNtscDisc.iso) +
                   "' -q -t 3 --trim 0:00:01.5-0:00:02 --watermark 'WWWW' "
                   "--watermark-pos 300,200 --watermark-size 40 "
                   "--watermark-opacity 100 -o '" +
                   folder_.string() + "/out'",
               env_ + " LSAN_OPTIONS=suppressions='" + (folder_ / "lsan.supp").string() + "'");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const DecodedOutput out = Decode(folder_ / "out" / "Title_03.mp4");
    ASSERT_TRUE(out.ok) << out.error;
    ASSERT_FALSE(out.last_luma.empty());
    const auto luma = [&](int x, int y) {
        return out.last_luma[static_cast<size_t>(y) * out.width + x];
    };
    // Black text on an opaque white box from (300, 200), over the grey background and the band.
    int white = 0, black = 0;
    for (int x = 300; x < 380; ++x) {
        const int value = luma(x, 210);
        white += value > 200;
        black += value < 60;
    }
    EXPECT_GT(white, 10);
    EXPECT_GT(black, 5);
    EXPECT_NEAR(luma(296, 210), fx::kBackgroundLuma, 12) << "nothing left of the box";
    EXPECT_NEAR(luma(310, 196), fx::kBackgroundLuma, 12) << "nothing above the box";
}

TEST_F(CliConvertTest, ChapterConvertsWhole) {
    // Chapter 2 of title 1 is frames 450 to 899.
    const fs::path out = folder_ / "out";
    const CliRun run = Convert("--chapter 1:2 -o '" + out.string() + "'");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const DecodedOutput decoded = Decode(out / "Chapter_01_02.mp4");
    ASSERT_TRUE(decoded.ok) << decoded.error;
    ASSERT_EQ(decoded.pictures.size(), 450u);
    for (size_t i = 0; i < decoded.pictures.size(); ++i)
        ASSERT_EQ(decoded.pictures[i].band, 450 + static_cast<int>(i)) << "picture " << i;
    const double video_end = decoded.pictures.back().time_s + kNtscFrame;
    const double audio_end =
        decoded.audio_start_s + static_cast<double>(decoded.mono.size()) / decoded.sample_rate;
    EXPECT_NEAR(audio_end, video_end, 2048.0 / decoded.sample_rate);
    EXPECT_GT(Tone(decoded, video_end - 0.3, 440), 0.03) << "sound to the chapter's end";
    // The chapter's first and last flashes meet their beeps.
    for (const size_t i : {size_t{0}, size_t{420}}) {
        ASSERT_EQ(decoded.pictures[i].band,
                  fx::FirstFlashFrame(15 + static_cast<int>(i) / 30, 30000, 1001));
        const double flash_s = decoded.pictures[i].time_s;
        const double beep_s = e2e::BeepRise(decoded, flash_s, 440);
        ASSERT_GE(beep_s, 0) << "no beep at picture " << i;
        EXPECT_NEAR(beep_s, flash_s, kNtscFrame + 0.011) << "picture " << i;
    }
}

TEST_F(CliConvertTest, PlainMpegFileIsOneTitle) {
    // Title 3's title set on its own: 4 s of MPEG-1 layer II sound at 800 Hz.
    const fs::path vob = folder_ / "clip.VOB";
    fs::copy_file(fx::SampleDiscPath(fx::kNtscDisc.folder) + "/VIDEO_TS/VTS_02_1.VOB", vob);
    const CliRun info = RunCli("info '" + vob.string() + "'");
    EXPECT_EQ(info.exit_code, 0) << info.err;
    EXPECT_EQ(info.out.rfind("Title_01  00:00:04  1 chapter\n"
                             "  video     720x480  NTSC  4:3\n"
                             "  chapter   1  00:00:00.000  00:00:04.004\n"
                             "  audio     Unknown(MP3 2ch)  48000 Hz  2 channels\n",
                             0),
              0u)
        << info.out;

    const fs::path out = folder_ / "out";
    const CliRun run = RunCli("convert '" + vob.string() + "' -q -o '" + out.string() + "'", env_);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const DecodedOutput decoded = Decode(out / "Title_01.mp4");
    ASSERT_TRUE(decoded.ok) << decoded.error;
    ASSERT_EQ(decoded.pictures.size(), 120u);
    EXPECT_EQ(decoded.pictures.back().band, 119);
    EXPECT_GT(Tone(decoded, 2.5, 800), 0.03);
}

TEST_F(CliConvertTest, TransportStreamWhoseRateDropsConvertsWhole) {
    // One busy second, then five still ones: the head's byte rate promises
    // far less time than the file holds.
    const fs::path ts = folder_ / "still.ts";
    const std::string make =
        "ffmpeg -v error -y -f lavfi -i testsrc=size=720x480:rate=30000/1001:duration=1 -f lavfi "
        "-i color=black:size=720x480:rate=30000/1001:duration=5 -f lavfi -i sine=f=440:duration=6 "
        "-filter_complex '[0][1]concat=n=2:v=1:a=0[v]' -map '[v]' -map 2 -c:v mpeg2video -b:v 8M "
        "-c:a mp2 "
        "-f mpegts '" +
        ts.string() + "'";
    ASSERT_EQ(std::system(make.c_str()), 0);
    const CliRun info = RunCli("info '" + ts.string() + "'");
    EXPECT_EQ(info.out.rfind("Title_01  00:00:06  1 chapter\n", 0), 0u) << info.out;

    const fs::path out = folder_ / "out";
    const CliRun run = RunCli("convert '" + ts.string() + "' -q -o '" + out.string() + "'", env_);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const DecodedOutput decoded = Decode(out / "Title_01.mp4");
    ASSERT_TRUE(decoded.ok) << decoded.error;
    ASSERT_FALSE(decoded.pictures.empty());
    EXPECT_NEAR(decoded.pictures.back().time_s + kNtscFrame, 6.0, 2 * kNtscFrame);
    EXPECT_GT(Tone(decoded, 5.5, 440), 0.03);
}

TEST_F(CliConvertTest, TitleOfSeparatelyEncodedPiecesKeepsEveryPicture) {
    // Two pieces, each with its own clock from zero: 2 s at 400 Hz, then 2 s
    // at 800 Hz, in one title.
    const fs::path work = folder_ / "pieces";
    fs::create_directories(work);
    for (const int n : {1, 2}) {
        const std::string make =
            "ffmpeg -v error -y -f lavfi -i testsrc=size=720x480:rate=30000/1001:duration=2 "
            "-f lavfi -i sine=f=" +
            std::to_string(400 * n) + ":duration=2 -target ntsc-dvd '" +
            (work / ("piece" + std::to_string(n) + ".mpg")).string() + "'";
        ASSERT_EQ(std::system(make.c_str()), 0);
    }
    ASSERT_TRUE(AuthorTitle(work, {work / "piece1.mpg", work / "piece2.mpg"}));

    const fs::path out = folder_ / "out";
    const CliRun run =
        RunCli("convert '" + (work / "disc").string() + "' -q -o '" + out.string() + "'", env_);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const DecodedOutput decoded = Decode(out / "Title_01.mp4");
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_NEAR(static_cast<double>(decoded.pictures.size()), 120, 1);
    EXPECT_NEAR(decoded.pictures.back().time_s + kNtscFrame, 4.0, 2 * kNtscFrame);
    const double audio_end =
        decoded.audio_start_s + static_cast<double>(decoded.mono.size()) / decoded.sample_rate;
    // Up to the encoder's last frames of sound past the pictures.
    EXPECT_NEAR(audio_end, decoded.pictures.back().time_s + kNtscFrame,
                3072.0 / decoded.sample_rate);
    EXPECT_GT(Tone(decoded, 1.7, 400), 0.03);
    EXPECT_GT(Tone(decoded, 2.2, 800), 0.03) << "the second piece follows the first at once";
    EXPECT_LT(Tone(decoded, 2.2, 400), 0.01);

    // Trims find their moment by the cells' times, not the restarted clock.
    const CliRun second = RunCli("convert '" + (work / "disc").string() +
                                     "' --trim 0:00:02.5-0:00:03.5 -q -y -o '" + out.string() + "'",
                                 env_);
    ASSERT_EQ(second.exit_code, 0) << second.err;
    const DecodedOutput inside = Decode(out / "Title_01.mp4");
    ASSERT_TRUE(inside.ok) << inside.error;
    EXPECT_NEAR(static_cast<double>(inside.pictures.size()), 30, 1);
    EXPECT_GT(Tone(inside, 0.5, 800), 0.03) << "a trim inside the second piece";
    EXPECT_LT(Tone(inside, 0.5, 400), 0.01);
    ASSERT_EQ(RunCli("convert '" + (work / "disc").string() +
                         "' --trim 0:00:01.5-0:00:02.5 -q -y -o '" + out.string() + "'",
                     env_)
                  .exit_code,
              0);
    const DecodedOutput across = Decode(out / "Title_01.mp4");
    ASSERT_TRUE(across.ok) << across.error;
    EXPECT_NEAR(static_cast<double>(across.pictures.size()), 30, 1);
    EXPECT_GT(Tone(across, 0.2, 400), 0.03) << "a trim across the restart";
    EXPECT_GT(Tone(across, 0.75, 800), 0.03);

    // The title's VOB file on its own: its time stamps span only one piece,
    // and all of it still converts.
    const fs::path vob = work / "pieces.vob";
    fs::copy_file(work / "disc/VIDEO_TS/VTS_01_1.VOB", vob);
    const CliRun info = RunCli("info '" + vob.string() + "' --json");
    const size_t at = info.out.find("\"duration_ms\": ");
    ASSERT_NE(at, std::string::npos) << info.out;
    EXPECT_NEAR(std::stod(info.out.substr(at + 15)), 4004, 20) << "its navigation packs' times";
    fs::remove(out / "Title_01.mp4");
    ASSERT_EQ(RunCli("convert '" + vob.string() + "' -q -o '" + out.string() + "'", env_).exit_code,
              0);
    const DecodedOutput file = Decode(out / "Title_01.mp4");
    ASSERT_TRUE(file.ok) << file.error;
    EXPECT_NEAR(static_cast<double>(file.pictures.size()), 120, 1);
}

TEST_F(CliConvertTest, TrackThatStartsLateStaysInStep) {
    // The sound starts a second after the pictures, with a beep at each of
    // its seconds: at 1, 2, 3 and 4 s of the title.
    const fs::path work = folder_ / "late";
    fs::create_directories(work);
    const std::string make =
        "ffmpeg -v error -y -f lavfi -i testsrc=size=720x480:rate=30000/1001:duration=5 -itsoffset "
        "1 -f lavfi "
        "-i 'aevalsrc=0.4*sin(2*PI*880*t)*lt(mod(t\\,1)\\,0.1):s=48000:d=4' -target ntsc-dvd '" +
        (work / "late.mpg").string() + "'";
    ASSERT_EQ(std::system(make.c_str()), 0);
    ASSERT_TRUE(AuthorTitle(work, {work / "late.mpg"}));
    const fs::path out = folder_ / "out";
    const CliRun run =
        RunCli("convert '" + (work / "disc").string() + "' -q -o '" + out.string() + "'", env_);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const DecodedOutput decoded = Decode(out / "Title_01.mp4");
    ASSERT_TRUE(decoded.ok) << decoded.error;
    for (const double second : {1.0, 2.0, 4.0})
        EXPECT_NEAR(e2e::BeepRise(decoded, second, 880), second, 0.03)
            << "the beep of second " << second;
}

TEST_F(CliConvertTest, TitleWithoutSoundConvertsWithSilence) {
    const fs::path work = folder_ / "silent";
    fs::create_directories(work);
    const std::string make =
        "ffmpeg -v error -y -f lavfi -i testsrc=size=720x480:rate=30000/1001:duration=3 -an "
        "-target ntsc-dvd '" +
        (work / "silent.mpg").string() + "'";
    ASSERT_EQ(std::system(make.c_str()), 0);
    ASSERT_TRUE(AuthorTitle(work, {work / "silent.mpg"}));
    const fs::path out = folder_ / "out";
    const CliRun run =
        RunCli("convert '" + (work / "disc").string() + "' -q -o '" + out.string() + "'", env_);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const DecodedOutput decoded = Decode(out / "Title_01.mp4");
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_NEAR(static_cast<double>(decoded.pictures.size()), 90, 1);
    const double audio_end =
        decoded.audio_start_s + static_cast<double>(decoded.mono.size()) / decoded.sample_rate;
    EXPECT_NEAR(audio_end, decoded.pictures.back().time_s + kNtscFrame,
                3072.0 / decoded.sample_rate)
        << "silence as long as the pictures";
    float peak = 0;
    for (const float sample : decoded.mono) peak = std::max(peak, std::abs(sample));
    EXPECT_LT(peak, 0.001f);

    // A title of one picture, shorter than a listed one, converts when named.
    const std::string one =
        "ffmpeg -v error -y -f lavfi -i color=c=gray:size=720x480:rate=30000/1001 -frames:v 1 "
        "-an -target ntsc-dvd '" +
        (work / "one.mpg").string() + "'";
    ASSERT_EQ(std::system(one.c_str()), 0);
    fs::remove_all(work / "disc");
    ASSERT_TRUE(AuthorTitle(work, {work / "one.mpg"}));
    const CliRun still = RunCli(
        "convert '" + (work / "disc").string() + "' -t 1 -q -y -o '" + out.string() + "'", env_);
    ASSERT_EQ(still.exit_code, 0) << still.err;
    EXPECT_EQ(Decode(out / "Title_01.mp4").pictures.size(), 1u);
}

TEST_F(CliConvertTest, CutOffImageKeepsWhatItHoldsAndSaysWhere) {
    // The image's first 2 MB: title 1 breaks off after a few seconds, title
    // 3's information is gone altogether.
    const fs::path iso = folder_ / "cut.iso";
    {
        std::ifstream in(fx::SampleDiscPath(fx::kNtscDisc.iso), std::ios::binary);
        std::vector<char> head(2 << 20);
        in.read(head.data(), static_cast<std::streamsize>(head.size()));
        std::ofstream(iso, std::ios::binary).write(head.data(), in.gcount());
    }
    const fs::path out = folder_ / "out";
    const CliRun run =
        RunCli("convert '" + iso.string() + "' -t 1,3 -q -o '" + out.string() + "'", env_);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.out, (out / "Title_01.mp4").string() + "\n");
    EXPECT_NE(run.err.find("Title_03 cannot be read on this disc"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("The disc could not be read to the end of Title_01; the file stops at"),
              std::string::npos)
        << run.err;
    const DecodedOutput decoded = Decode(out / "Title_01.mp4");
    ASSERT_TRUE(decoded.ok) << decoded.error;
    ASSERT_GT(decoded.pictures.size(), 30u);
    EXPECT_LT(decoded.pictures.size(), 1800u);
    for (size_t i = 0; i < decoded.pictures.size(); i += 30)
        EXPECT_EQ(decoded.pictures[i].band, static_cast<int>(i));
}

TEST_F(CliConvertTest, TitlesRunInTheOrderAsked) {
    const fs::path out = folder_ / "out";
    const CliRun run = Convert("-t 4,3 -o '" + out.string() + "'");
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out,
              (out / "Title_04.mp4").string() + "\n" + (out / "Title_03.mp4").string() + "\n");
}

TEST_F(CliConvertTest, UsageErrorsExitTwoWithAMessage) {
    const CliRun bad = Convert("--frobnicate");
    EXPECT_EQ(bad.exit_code, 2);
    EXPECT_NE(bad.err.find("unknown option --frobnicate"), std::string::npos) << bad.err;
    for (const char* options :
         {"--cpu 40", "--trim 0:00:05-0:00:02", "--zoom 5:4", "--titles 0", "--crop 10,10,5,20",
          "--audio", "--subtitle 1x", "-t 9", "-p NoSuchProfile"}) {
        const CliRun run = Convert(options);
        EXPECT_EQ(run.exit_code, 2) << options;
        EXPECT_FALSE(run.err.empty()) << options;
    }
    EXPECT_EQ(RunCli("convert /nonexistent.iso -o /tmp", env_).exit_code, 3);

    const CliRun help = RunCli("convert --help");
    EXPECT_EQ(help.exit_code, 0);
    for (const char* option :
         {"--output", "--profile",   "--titles",     "--chapter",       "--trim",
          "--crop",   "--zoom",      "--brightness", "--saturation",    "--hue",
          "--volume", "--audio",     "--subtitle",   "--merge",         "--size",
          "--fps",    "--vcodec",    "--vbitrate",   "--acodec",        "--abitrate",
          "--rate",   "--channels",  "--cpu",        "--after",         "--json",
          "--quiet",  "--overwrite", "profiles",     "--skip-existing", "--name"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    EXPECT_EQ(help.out.find("rizuvira-cli snapshot"), std::string::npos) << "convert's help only";
    // Every other command's help is its own usage.
    for (const char* command : {"info", "profiles", "snapshot", "play", "drives"}) {
        const CliRun own = RunCli(std::string(command) + " --help");
        EXPECT_EQ(own.exit_code, 0) << command;
        EXPECT_TRUE(own.out.starts_with("usage: rizuvira-cli " + std::string(command) + " "))
            << own.out;
        EXPECT_EQ(own.out.find("convert options"), std::string::npos) << command;
    }
}

TEST_F(CliConvertTest, FailuresSayWhatFailedAndWhy) {
    // A disc whose video files are gone.
    const fs::path disc = folder_ / "novob";
    fs::copy(fx::SampleDiscPath(fx::kNtscDisc.folder), disc, fs::copy_options::recursive);
    for (const auto& entry : fs::directory_iterator(disc / "VIDEO_TS"))
        if (entry.path().extension() == ".VOB") fs::remove(entry.path());
    const fs::path out = folder_ / "out";
    const CliRun missing =
        RunCli("convert '" + disc.string() + "' -t 1 --json -o '" + out.string() + "'", env_);
    EXPECT_EQ(missing.exit_code, 1);
    const std::string why = "Title_01 cannot be read: VTS_01_1.VOB is missing";
    EXPECT_EQ(missing.err, why + "\n");
    EXPECT_NE(missing.out.find("{\"event\": \"message\", \"text\": \"" + why + "\", \"disc\": "),
              std::string::npos)
        << missing.out;

    // Opening the folder afterwards without a desktop opener, or with one that fails.
    const CliRun no_opener = RunCli("convert '" + fx::SampleDiscPath(fx::kNtscDisc.iso) +
                                        "' -t 3 -q --after open-folder -o '" + out.string() + "'",
                                    env_ + " PATH=/nonexistent");
    EXPECT_EQ(no_opener.exit_code, 0) << "the file is fine";
    EXPECT_EQ(no_opener.err, "Cannot open the output folder " + out.string() +
                                 ": xdg-open: No such file or directory\n");
    fs::create_directories(folder_ / "bin");
    std::ofstream(folder_ / "bin/xdg-open") << "#!/bin/sh\nexit 3\n";
    fs::permissions(folder_ / "bin/xdg-open", fs::perms::owner_all);
    const CliRun failing =
        RunCli("convert '" + fx::SampleDiscPath(fx::kNtscDisc.iso) +
                   "' -t 3 -y --json --after open-folder -o '" + out.string() + "'",
               env_ + " PATH='" + (folder_ / "bin").string() + "'");
    EXPECT_EQ(failing.err,
              "Cannot open the output folder " + out.string() + ": xdg-open ended with status 3\n");
    EXPECT_NE(failing.out.find("\"text\": \"Cannot open the output folder"), std::string::npos)
        << failing.out;
}

TEST_F(CliConvertTest, HalfWidthDiscConvertsEveryPictureAtItsAspect) {
    // dvdauthor writes a 352x480 title's information as 720x480.
    const fs::path vob = folder_ / "half.mpg";
    const std::string make =
        "ffmpeg -v error -y -f lavfi -i color=c=gray:size=352x480:rate=30000/1001:duration=3 -f "
        "lavfi "
        "-i sine=d=3 -target ntsc-dvd -s 352x480 '" +
        vob.string() + "'";
    ASSERT_EQ(std::system(make.c_str()), 0);
    std::ofstream(folder_ / "half.xml")
        << "<dvdauthor dest=\"" << (folder_ / "half").string() << "\"><vmgm/><titleset><titles>"
        << "<video format=\"ntsc\" aspect=\"4:3\" resolution=\"352x480\"/>"
        << "<pgc><vob file=\"" << vob.string() << "\"/></pgc></titles></titleset></dvdauthor>";
    const std::string author =
        "VIDEO_FORMAT=NTSC dvdauthor -x '" + (folder_ / "half.xml").string() + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(author.c_str()), 0);

    const CliRun run = RunCli(
        "convert '" + (folder_ / "half").string() + "' -q -o '" + (folder_ / "out").string() + "'",
        env_);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const DecodedOutput out = e2e::DecodeOutput((folder_ / "out/Title_01.mp4").string(), 352, 480);
    ASSERT_TRUE(out.ok) << out.error;
    EXPECT_EQ(out.pictures.size(), 90u);
    // The source's 352x480, whole, its 4:3 written into the file as pixels 20:11 wide.
    EXPECT_EQ(out.width, 352);
    EXPECT_EQ(out.height, 480);
    EXPECT_NEAR(out.shown.width, 352, 4);
    EXPECT_NEAR(out.sample_aspect * out.width / out.height, 4.0 / 3.0, 0.01);
}

TEST_F(CliConvertTest, FullDiskFailsTheItemAndSaysWhy) {
    // A 200 kB file system of its own, in a mount namespace of its own.
    if (std::system("unshare -rm true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no mount namespace for a small tmpfs";
    const fs::path out = folder_ / "small";
    fs::create_directories(out);
    const std::string in_small_tmpfs = env_ +
                                       " unshare -rm sh -c 'mount -t tmpfs -o size=200k tmpfs \"" +
                                       out.string() + "\" && exec \"$0\" \"$@\"'";
    const CliRun run = RunCli("convert '" + fx::SampleDiscPath(fx::kNtscDisc.iso) +
                                  "' -t 1,3 --json -o '" + out.string() + "'",
                              in_small_tmpfs);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err.rfind("Cannot write the output file: " + (out / "Title_01.mp4").string() +
                                " (cannot write to the file: No space left on device)\n",
                            0),
              0u)
        << run.err;
    // The item stopped at the failure; the file, which no player could open, is
    // gone, and the room it took holds the next item.
    EXPECT_NE(run.out.find("\"failed_items\": 1"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find((out / "Title_01.mp4").string() + engine::kUnfinishedFileRemovedMessage),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.out.find("{\"event\": \"file\", \"path\": \"" + (out / "Title_01.mp4").string() +
                           "\", \"ok\": false, \"seconds\": "),
              std::string::npos)
        << run.out;
}

// Chapters and the sound track's language, as a player reads them back.
struct Tags {
    std::vector<std::pair<double, std::string>> chapters;  // start s, title
    double end_s = 0;                                      // of the last chapter
    std::string audio_language;
};

Tags ReadTags(const fs::path& file) {
    Tags tags;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, file.c_str(), nullptr, nullptr) < 0) return tags;
    avformat_find_stream_info(format, nullptr);
    for (unsigned i = 0; i < format->nb_chapters; ++i) {
        const AVChapter* chapter = format->chapters[i];
        const AVDictionaryEntry* title = av_dict_get(chapter->metadata, "title", nullptr, 0);
        tags.chapters.emplace_back(chapter->start * av_q2d(chapter->time_base),
                                   title ? title->value : "");
        tags.end_s = chapter->end * av_q2d(chapter->time_base);
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (format->streams[i]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) continue;
        const AVDictionaryEntry* language =
            av_dict_get(format->streams[i]->metadata, "language", nullptr, 0);
        if (language) tags.audio_language = language->value;
    }
    avformat_close_input(&format);
    return tags;
}

// Title 1's chapters start every 15.015 s; trimmed to 10 s - 40 s the file
// starts inside chapter 1 and holds the starts of chapters 2 and 3.
TEST_F(CliConvertTest, ChaptersFollowTheTrimAndTheSoundNamesItsLanguage) {
    for (const char* profile : {"2", "4"}) {  // MP4 and MKV
        SCOPED_TRACE(profile);
        ASSERT_EQ(Convert("-t 1 --trim 00:00:10-00:00:40 -y -p " + std::string(profile) + " -o '" +
                          (folder_ / "out").string() + "'")
                      .exit_code,
                  0);
        const fs::path file =
            folder_ / "out" / (profile[0] == '2' ? "Title_01.mp4" : "Title_01.mkv");
        const Tags tags = ReadTags(file);
        ASSERT_EQ(tags.chapters.size(), 3u);
        const double starts[] = {0, 5.015, 20.030};
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(tags.chapters[i].first, starts[i], kNtscFrame);
            EXPECT_EQ(tags.chapters[i].second, "Chapter " + std::to_string(i + 1));
        }
        EXPECT_NEAR(tags.end_s, 30.0, 2 * kNtscFrame);
        EXPECT_EQ(tags.audio_language, "eng");
    }
    // A merged file has a chapter per item, named after it.
    ASSERT_EQ(Convert("-t 3,4 --merge -o '" + (folder_ / "merged").string() + "'").exit_code, 0);
    const Tags merged = ReadTags(folder_ / "merged" / "Title_03.mp4");
    ASSERT_EQ(merged.chapters.size(), 2u);
    EXPECT_EQ(merged.chapters[0], std::make_pair(0.0, std::string("Title_03")));
    EXPECT_EQ(merged.chapters[1].second, "Title_04");
    EXPECT_NEAR(merged.chapters[1].first, 4.0, 3 * kNtscFrame);
}

TEST(CliProfiles, ListsTheCatalogue) {
    const CliRun text = RunCli("profiles");
    EXPECT_EQ(text.exit_code, 0);
    EXPECT_NE(text.out.find(".mp4"), std::string::npos);
    const CliRun json =
        RunCli("profiles --json --catalogue '" RIZUVIRA_SOURCE_DIR "/data/Format.xml'");
    EXPECT_EQ(json.exit_code, 0);
    EXPECT_EQ(json.out.rfind("{\"profiles\": [", 0), 0u);
    EXPECT_NE(json.out.find("\"number\": 1,"), std::string::npos);
}

}  // namespace
}  // namespace rizuvira::cli
