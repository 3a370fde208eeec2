// SPDX-License-Identifier: GPL-2.0-or-later
// rizuvira-cli on plain files made by ffmpeg: transport streams of several
// programs, H.264 and AAC, bare MPEG video, a variable-rate program stream,
// and the files it does not read. Checked by decoding what it wrote.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "e2e/decoded_output.h"
#include "engine/run_controller.h"
#include "fixtures/clip_info_writer.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::cli {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
namespace fx = fixtures;
using cli::test::CliRun;
using cli::test::RunCli;
using e2e::DecodedOutput;

constexpr double kNtscFrame = 1001.0 / 30000.0;

class CliPlainFileTest : public cli::test::CliFolderTest {
protected:
    // Runs ffmpeg with `arguments` (inputs and options) into `name` in the test folder.
    fs::path Make(const std::string& name, const std::string& arguments) {
        const fs::path file = folder_ / name;
        const std::string command = "ffmpeg -v error -y " + arguments + " '" + file.string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return file;
    }
    // The length `info --json` gives, in ms; -1 when it gives none.
    double InfoLengthMs(const fs::path& file) {
        const CliRun info = RunCli("info '" + file.string() + "' --json", env_);
        const size_t at = info.out.find("\"duration_ms\": ");
        return at == std::string::npos ? -1 : std::stod(info.out.substr(at + 15));
    }
    DecodedOutput Convert(const fs::path& file, const std::string& options = "") {
        const fs::path out = folder_ / "out";
        fs::remove_all(out);
        fs::create_directories(out);
        const CliRun run =
            RunCli("convert '" + file.string() + "' -q -o '" + out.string() + "' " + options, env_);
        EXPECT_EQ(run.exit_code, 0) << run.err;
        return e2e::DecodeOutput((out / "Title_01.mp4").string(), 720, 480);
    }

    // A 3 s Blu-ray clip in BDMV/STREAM: MPEG-2 pictures, AC-3 sound at 440 Hz on PID 0x1100
    // and at 880 Hz on PID 0x1101, declared English and French by its clip information.
    fs::path MakeClip() {
        fs::create_directories(folder_ / "BDMV" / "STREAM");
        const fs::path clip =
            Make("BDMV/STREAM/00001.m2ts",
                 "-f lavfi -i testsrc2=size=720x480:rate=30000/1001 -f lavfi -i sine=f=440 "
                 "-f lavfi -i sine=f=880 -t 3 -map 0 -map 1 -map 2 -c:v mpeg2video -c:a ac3 "
                 "-ac 2 -f mpegts -mpegts_m2ts_mode 1");
        fx::WriteClipInfo(folder_ / "BDMV" / "CLIPINF" / "00001.clpi",
                          {{0x1011, 0x02, "", 0x34}, {0x1100, 0x81, "eng"}, {0x1101, 0x81, "fra"}});
        return clip;
    }
    // The language tag of the converted file's sound.
    std::string OutputLanguage() {
        const std::string probe =
            "ffprobe -v error -select_streams a -show_entries stream_tags=language -of csv=p=0 '" +
            (folder_ / "out" / "Title_01.mp4").string() + "' > '" + (folder_ / "lang").string() +
            "'";
        EXPECT_EQ(std::system(probe.c_str()), 0);
        std::ifstream language(folder_ / "lang");
        std::string code;
        language >> code;
        return code;
    }
};

double Tone(const DecodedOutput& out, double at_s, double hz) {
    const size_t first = static_cast<size_t>((at_s - out.audio_start_s) * out.sample_rate);
    const size_t count = static_cast<size_t>(out.sample_rate / 5);
    if (first + count > out.mono.size()) return 0;
    return fx::ToneAmplitude(std::span<const float>(out.mono).subspan(first, count),
                             out.sample_rate, hz);
}

TEST_F(CliPlainFileTest, TransportStreamOfTwoProgramsIsItsFirstProgram) {
    // Program one: 4 s at 440 Hz. Program two: 4 s at 880 Hz on a clock of its own, 50000 s on.
    const std::string pictures = "-f lavfi -i testsrc=size=320x240:rate=30000/1001:duration=4 ";
    const fs::path ts =
        Make("two.ts", pictures + "-f lavfi -i sine=f=440:duration=4 -itsoffset 50000 " + pictures +
                           "-itsoffset 50000 -f lavfi -i sine=f=880:duration=4 "
                           "-map 0:v -map 1:a -map 2:v -map 3:a -c:v mpeg2video -c:a mp2 "
                           "-program title=one:st=0:st=1 -program title=two:st=2:st=3 -f mpegts");
    EXPECT_NEAR(InfoLengthMs(ts), 4000, 100) << "the first program's stamps, not the file's bytes";
    const CliRun info = RunCli("info '" + ts.string() + "'", env_);
    EXPECT_EQ(info.out.find("audio"), info.out.rfind("audio")) << "one program's sound only:\n"
                                                               << info.out;

    const DecodedOutput decoded = Convert(ts);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_NEAR(static_cast<double>(decoded.pictures.size()), 120, 1);
    const double audio_end =
        decoded.audio_start_s + static_cast<double>(decoded.mono.size()) / decoded.sample_rate;
    EXPECT_LT(audio_end, 4.2);
    EXPECT_GT(Tone(decoded, 2.0, 440), 0.05);
    EXPECT_LT(Tone(decoded, 2.0, 880), 0.01);
}

TEST_F(CliPlainFileTest, H264AndAacTransportStreamConvertsEveryPicture) {
    const fs::path ts =
        Make("avc.ts",
             "-f lavfi -i testsrc=size=320x240:rate=30000/1001:duration=3 -f lavfi -i "
             "sine=f=440:duration=3 -c:v libx264 -preset ultrafast -bf 2 -c:a aac -f mpegts");
    EXPECT_NEAR(InfoLengthMs(ts), 3003, 60);
    const DecodedOutput decoded = Convert(ts);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.pictures.size(), 90u);
    EXPECT_NEAR(decoded.pictures.back().time_s, 89 * kNtscFrame, kNtscFrame / 2);
    EXPECT_GT(Tone(decoded, 1.5, 440), 0.05);
}

// E-AC-3 frames of six blocks (what encoders write) are sound too: their header differs from
// AC-3's after the syncword, and read as AC-3 it was refused.
TEST_F(CliPlainFileTest, EnhancedAc3SoundIsFoundAndDecoded) {
    const fs::path ts =
        Make("eac3.ts",
             "-f lavfi -i testsrc=size=320x240:rate=30000/1001:duration=3 -f lavfi -i "
             "sine=f=440:duration=3:sample_rate=48000 -c:v mpeg2video -c:a eac3 -ac 2 -f mpegts");
    const CliRun info = RunCli("info '" + ts.string() + "'", env_);
    EXPECT_NE(info.out.find("48000 Hz  2 channels"), std::string::npos) << info.out;
    const DecodedOutput decoded = Convert(ts);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_GT(Tone(decoded, 1.5, 440), 0.05);
}

TEST_F(CliPlainFileTest, BareMpegVideoStreamConvertsEveryPicture) {
    const fs::path m2v =
        Make("bare.m2v",
             "-f lavfi -i testsrc=size=320x240:rate=30000/1001:duration=2 -c:v mpeg2video -bf 2 "
             "-f mpeg2video");
    const fs::path mpg = folder_ / "bare.mpg";
    fs::copy_file(m2v, mpg);
    EXPECT_NEAR(InfoLengthMs(m2v), 2002, 1) << "its pictures counted";
    EXPECT_NEAR(InfoLengthMs(mpg), 2002, 1) << "the contents decide, not the name";
    const DecodedOutput decoded = Convert(mpg);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.pictures.size(), 60u);
}

// Pictures of an odd width and height: the decoder's chroma planes keep their last sample,
// as the converter reads them. Before, the converter refused the decoder's shorter
// pictures and the conversion waited for ever for the end of the pictures.
TEST_F(CliPlainFileTest, OddSizedPicturesConvert) {
    const fs::path mpg = Make("odd.mpg",
                              "-f lavfi -i color=c=red:size=351x241:rate=25:duration=2 -f lavfi "
                              "-i sine=f=440:duration=2 -c:v mpeg1video -c:a mp2 -f mpeg");
    const DecodedOutput decoded = Convert(mpg, "--zoom full");
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_NEAR(static_cast<double>(decoded.pictures.size()), 50, 1);  // 2 s at its 25 fps
    EXPECT_NEAR(decoded.pictures.back().top_luma, 81, 4);              // red
}

// A width of 4096 leaves the sequence header's 12 size bits zero; the extension carries the
// rest. Such a stream was taken for no video at all and converted to sound only.
TEST_F(CliPlainFileTest, PicturesOf4096WideAreRead) {
    const fs::path ts = Make("wide.ts",
                             "-f lavfi -i testsrc=size=4096x2160:rate=25:duration=1 -f lavfi "
                             "-i sine=d=1 -c:v mpeg2video -strict -1 -c:a mp2 -f mpegts");
    const CliRun info = RunCli("info '" + ts.string() + "'", env_);
    EXPECT_NE(info.out.find("4096x2160"), std::string::npos) << info.out;
    const DecodedOutput decoded = Convert(ts);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_NEAR(static_cast<double>(decoded.pictures.size()), 25, 1);  // the source's rate
}

// One picture under 10 s of sound: a range that starts later still shows it. The reading
// used to start after the picture and the file had sound only.
TEST_F(CliPlainFileTest, StillPictureIsOnScreenInALaterRange) {
    const fs::path mpg =
        Make("still.mpg",
             "-f lavfi -i color=c=red:size=720x480:rate=30000/1001,trim=end_frame=1 -f lavfi "
             "-i sine=d=10 -c:v mpeg2video -c:a mp2 -f vob");
    const DecodedOutput decoded = Convert(mpg, "--trim 00:00:04-00:00:08");
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_NEAR(static_cast<double>(decoded.pictures.size()), 4 / kNtscFrame, 2);
    ASSERT_FALSE(decoded.pictures.empty());
    EXPECT_NEAR(decoded.pictures.back().top_luma, 81, 4);  // red

    // One picture and nothing else is a file of one picture, not an unknown file.
    const fs::path alone = Make("alone.mpg",
                                "-f lavfi -i color=c=red:size=720x480:rate=30000/1001 "
                                "-frames:v 1 -c:v mpeg2video -f vob");
    EXPECT_EQ(Convert(alone).pictures.size(), 1u);
}

// The last two pictures' packets carry no time stamps: they follow the last stamped one
// at the frame duration, and the length counts them.
TEST_F(CliPlainFileTest, PicturesAfterTheLastStampAreKept) {
    const fs::path mpg = Make("unstamped.mpg",
                              "-f lavfi -i testsrc=size=320x240:rate=30000/1001 -frames:v 100 "
                              "-c:v mpeg2video -f vob");
    std::string bytes;
    {
        std::ifstream in(mpg, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::vector<size_t> stamped;  // video packets with a PTS
    for (size_t at = bytes.find("\x00\x00\x01\xE0"s);
         at != std::string::npos && at + 9 < bytes.size();
         at = bytes.find("\x00\x00\x01\xE0"s, at + 4))
        if (static_cast<uint8_t>(bytes[at + 7]) & 0x80) stamped.push_back(at);
    ASSERT_GE(stamped.size(), 2u);
    for (size_t n = stamped.size() - 2; n < stamped.size(); ++n) {
        const size_t at = stamped[n];
        bytes[at + 7] = static_cast<char>(bytes[at + 7] & 0x3F);
        std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(at + 9),
                    static_cast<uint8_t>(bytes[at + 8]), '\xFF');  // stuffing
    }
    std::ofstream(mpg, std::ios::binary | std::ios::trunc) << bytes;

    EXPECT_NEAR(InfoLengthMs(mpg), 100 * kNtscFrame * 1000, 1);
    const DecodedOutput decoded = Convert(mpg);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.pictures.size(), 100u);
}

TEST_F(CliPlainFileTest, AnOutputNamedAsItsOwnSourceIsRefusedEvenWithReplace) {
    fs::create_directories(folder_ / "self");
    const fs::path mpg = Make("self/Title_01.mpg",
                              "-f lavfi -i testsrc=size=352x240:rate=25:duration=2 -f lavfi "
                              "-i sine=duration=2 -c:v mpeg1video -c:a mp2 -f mpeg");
    const auto size = fs::file_size(mpg);
    const CliRun run = RunCli(
        "convert '" + mpg.string() + "' -p 10 -y -o '" + (folder_ / "self").string() + "'", env_);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find(mpg.string() + engine::kOutputIsInputMessage), std::string::npos)
        << run.err;
    EXPECT_EQ(fs::file_size(mpg), size);
}

TEST_F(CliPlainFileTest, ZeroPaddingAndWrappingStampsKeepTheWholeLength) {
    // Four seconds; the offset makes the stamps cross 2^33 ticks after about one.
    const std::string four_seconds =
        "-f lavfi -i testsrc=size=720x480:rate=25:duration=4 -f lavfi -i sine=d=4 "
        "-c:v mpeg2video -b:v 3M -c:a mp2 ";
    std::vector<fs::path> files;
    for (const char* format : {"mpegts", "vob"}) {
        const std::string ext = std::string(format) == "vob" ? ".mpg" : ".ts";
        const fs::path padded = Make(std::string("padded") + ext, four_seconds + "-f " + format);
        fs::resize_file(padded, fs::file_size(padded) + (100 << 20));
        files.push_back(padded);
        files.push_back(Make(std::string("wrapping") + ext,
                             four_seconds + "-output_ts_offset 95442.5 -f " + format));
    }
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        EXPECT_NEAR(InfoLengthMs(file), 4000, 50);
        const DecodedOutput decoded = Convert(file);
        ASSERT_TRUE(decoded.ok) << decoded.error;
        EXPECT_NEAR(static_cast<double>(decoded.pictures.size()), 4 * 25, 2);  // its own rate
    }
}

TEST_F(CliPlainFileTest, VideoOfAnotherCodingIsRefusedByName) {
    const std::string three_seconds =
        "-f lavfi -i testsrc=size=320x240:rate=25:duration=3 -f lavfi -i sine=d=3 -c:a mp2 ";
    const struct {
        const char* name;
        const char* arguments;
        const char* coding;
    } cases[] = {
        {"mpeg4.ts", "-c:v mpeg4 -f mpegts", "MPEG-4 Part 2"},
        {"mpeg4.mpg", "-c:v mpeg4 -f vob", "MPEG-4 Part 2"},
        {"hevc.ts", "-c:v libx265 -x265-params log-level=error -f mpegts", "H.265 (HEVC)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = Make(c.name, three_seconds + c.arguments);
        const CliRun run = RunCli(
            "convert '" + file.string() + "' -q -o '" + (folder_ / "out").string() + "'", env_);
        EXPECT_NE(run.exit_code, 0);
        EXPECT_NE(run.err.find(file.string() + " holds " + c.coding +
                               " video, which cannot be converted"),
                  std::string::npos)
            << run.err;
        EXPECT_FALSE(fs::exists(folder_ / "out" / "Title_01.mp4"));
    }
}

TEST_F(CliPlainFileTest, VariableRateProgramStreamLengthFromItsStamps) {
    // Five still seconds, then one of noise at a high rate: the head's byte
    // rate promises many times the real length.
    const fs::path mpg =
        Make("vbr.mpg",
             "-f lavfi -i color=black:size=352x288:rate=25:duration=5 -f lavfi -t 1 -i "
             "'nullsrc=size=352x288:rate=25,geq=random(1)*255:128:128' -f lavfi -i sine=duration=6 "
             "-filter_complex '[0][1]concat=n=2:v=1:a=0[v]' -map '[v]' -map 2 -c:v mpeg2video "
             "-b:v 8M -c:a mp2 -f mpeg");
    EXPECT_NEAR(InfoLengthMs(mpg), 6000, 100);
}

TEST_F(CliPlainFileTest, EveryCommandTakesTheSameFilesAndNamesTheOnesItRefuses) {
    const fs::path ts =
        Make("clip.ts",
             "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -c:v libx264 -preset ultrafast "
             "-f mpegts");
    const fs::path picture = folder_ / "at1.bmp";
    const CliRun snapshot = RunCli(
        "snapshot '" + ts.string() + "' --title 1 --at 1 -o '" + picture.string() + "'", env_);
    EXPECT_EQ(snapshot.exit_code, 0) << snapshot.err;
    EXPECT_TRUE(fs::exists(picture));

    const fs::path junk = folder_ / "notes.mpg";
    std::ofstream(junk) << std::string(100000, 'x');
    const std::string missing = (folder_ / "gone.ts").string();
    const std::string refused =
        junk.string() +
        " is not an MPEG program or transport stream, a VOB or an MPEG video stream\n";
    const std::string out = " -q -o '" + (folder_ / "out").string() + "'";
    const std::string at = " --title 1 --at 1 -o '" + picture.string() + "'";
    for (const std::string& command :
         {std::string("info"), std::string("convert"), std::string("snapshot")}) {
        const std::string options = command == "convert" ? out : command == "snapshot" ? at : "";
        const CliRun gone = RunCli(command + " '" + missing + "'" + options, env_);
        EXPECT_NE(gone.exit_code, 0) << command;
        EXPECT_EQ(gone.err, missing + ": No such file or directory\n") << command;
        const CliRun wrong = RunCli(command + " '" + junk.string() + "'" + options, env_);
        EXPECT_NE(wrong.exit_code, 0) << command;
        EXPECT_EQ(wrong.err, refused) << command;
    }
    const CliRun help = RunCli("--help");
    for (const char* kind : {"ISO image", "VOB", "transport stream", ".m2v", "H.264", "AAC"})
        EXPECT_NE(help.out.find(kind), std::string::npos) << kind;
}

// A Blu-ray clip's tracks take the languages and codings its clip
// information gives, and the converted sound carries its language.
TEST_F(CliPlainFileTest, BluRayClipTracksTakeTheirClipInformation) {
    const fs::path clip = MakeClip();
    const CliRun info = RunCli("info '" + clip.string() + "'", env_);
    EXPECT_NE(info.out.find("English(AC3 2ch)"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("French(AC3 2ch)"), std::string::npos) << info.out;

    const DecodedOutput decoded = Convert(clip);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(OutputLanguage(), "eng");
}

// The sound tracks of a transport stream share their stream id (0xFD for
// AC-3 in a Blu-ray clip, 0xC0 for MPEG audio); only the PID tells them
// apart, and every one of them can be chosen.
TEST_F(CliPlainFileTest, EverySoundTrackOfATransportStreamCanBeChosen) {
    const fs::path clip = MakeClip();
    const CliRun info = RunCli("info '" + clip.string() + "' --json", env_);
    EXPECT_NE(info.out.find("\"id\": \"0x1100FD00\""), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("\"id\": \"0x1101FD00\""), std::string::npos) << info.out;
    for (const char* choice : {"--audio 2", "--audio fr"}) {
        const DecodedOutput second = Convert(clip, choice);
        ASSERT_TRUE(second.ok) << second.error;
        EXPECT_GT(Tone(second, 1.5, 880), 0.05) << choice;
        EXPECT_LT(Tone(second, 1.5, 440), 0.01) << choice;
        EXPECT_EQ(OutputLanguage(), "fre") << choice;
    }
    const DecodedOutput first = Convert(clip, "--audio 1");
    ASSERT_TRUE(first.ok) << first.error;
    EXPECT_GT(Tone(first, 1.5, 440), 0.05);
    EXPECT_LT(Tone(first, 1.5, 880), 0.01);

    const fs::path ts =
        Make("two.ts",
             "-f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=f=440 -f lavfi -i "
             "sine=f=880 -t 3 -map 0 -map 1 -map 2 -c:v mpeg2video -c:a mp2 -f mpegts");
    const DecodedOutput mpeg = Convert(ts, "--audio 1");
    ASSERT_TRUE(mpeg.ok) << mpeg.error;
    EXPECT_GT(Tone(mpeg, 1.5, 440), 0.05);
    EXPECT_LT(Tone(mpeg, 1.5, 880), 0.01);
}

}  // namespace
}  // namespace rizuvira::cli
