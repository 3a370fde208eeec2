// SPDX-License-Identifier: GPL-2.0-or-later
// What the command line says when a catalogue, an image or an option is not
// what it should be: the file and the reason, and what the thing is.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "cli/cli_run.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::cli {
namespace {

namespace fs = std::filesystem;
namespace fx = fixtures;
using test::CliRun;
using test::RunCli;

class CliMessagesTest : public test::CliFolderTest {
protected:
    // Runs `command` in the test folder; false when it fails.
    bool Shell(const std::string& command) const {
        return std::system(("cd '" + folder_.string() + "' && " + command).c_str()) == 0;
    }
    std::string In(const char* name) const { return (folder_ / name).string(); }
};

TEST_F(CliMessagesTest, CatalogueValuesAreCheckedAndItsFileIsNamedNotGuessed) {
    // The shipped catalogue with every 29.97 fps profile at 0.001 fps.
    ASSERT_TRUE(Shell("sed 's/<FrameRate value=\"29970\"\\/>/<FrameRate value=\"1\"\\/>/' '" +
                      std::string(RIZUVIRA_SOURCE_DIR) + "/data/Format.xml' >slow.xml"));
    const std::string disc = fx::SampleDiscPath(fx::kNtscDisc.iso);
    const std::string slow = In("slow.xml");
    const CliRun refused = RunCli(
        "convert '" + disc + "' -t 1 -p 1 --catalogue '" + slow + "' -o '" + In("out") + "'", env_);
    EXPECT_EQ(refused.exit_code, 2);
    EXPECT_EQ(refused.err, slow +
                               ": profile \"MP4 Video (MPEG-4, AAC)\" (number 1) cannot be used: "
                               "FrameRate=\"1\": must be from 1000 to 120000 (frames per second "
                               "× 1000)\n");
    EXPECT_TRUE(fs::is_empty(folder_ / "out"));
    const CliRun listed = RunCli("profiles --catalogue '" + slow + "'", env_);
    EXPECT_NE(listed.out.find("  8  .avi   AVI Video (MPEG-4, MP3)\n     unusable: " + slow +
                              ": profile \"AVI Video (MPEG-4, MP3)\" (number 8) cannot be used: "
                              "FrameRate=\"1\""),
              std::string::npos)
        << listed.out;

    // A broken Format.xml in the working folder is not read unasked; named, it is refused
    // with its name and the reason.
    std::ofstream(folder_ / "Format.xml") << "<Formats><Profile>\n";
    const std::string here = "cd '" + folder_.string() + "' && " + env_;
    const CliRun shipped = RunCli("profiles", here);
    EXPECT_EQ(shipped.exit_code, 0) << shipped.err;
    EXPECT_NE(shipped.out.find("  2  .mp4   MP4 Video (H.264, AAC)\n"), std::string::npos);
    const CliRun named = RunCli("convert '" + disc + "' -o '" + In("out") + "'",
                                here + " RIZUVIRA_CATALOGUE=Format.xml");
    EXPECT_EQ(named.exit_code, 2);
    EXPECT_EQ(named.err,
              "Load Format.xml error: Format.xml: not well-formed XML: Start-end tags mismatch "
              "at byte 18\n");
    EXPECT_EQ(RunCli("profiles --catalogue '" + In("missing.xml") + "'", env_).err,
              "Load Format.xml error: " + In("missing.xml") + ": No such file or directory\n");
}

// -o naming a file is that output file, kept without -y; a folder under a file, or a link to
// nothing, is refused with the path and the reason.
TEST_F(CliMessagesTest, AnOutputPathThatIsNoFolderIsNamedWithTheReason) {
    std::ofstream(folder_ / "file") << "x";
    fs::create_symlink(folder_ / "gone", folder_ / "dangling");
    const std::string disc = fx::SampleDiscPath(fx::kNtscDisc.iso);
    const CliRun file = RunCli("convert '" + disc + "' -t 3 -o '" + In("file") + "'", env_);
    EXPECT_EQ(file.exit_code, 4);
    EXPECT_EQ(file.err, In("file") + " exists; -y (--overwrite) replaces it\n");
    const CliRun under = RunCli("convert '" + disc + "' -t 3 -o '" + In("file/sub") + "'", env_);
    EXPECT_EQ(under.exit_code, 2);
    EXPECT_EQ(under.err,
              "Invalid output directory: cannot create " + In("file/sub") + ": Not a directory\n");
    const CliRun dangling = RunCli("convert '" + disc + "' -t 3 -o '" + In("dangling") + "'", env_);
    EXPECT_EQ(dangling.exit_code, 2);
    EXPECT_EQ(dangling.err, "Invalid output directory: " + In("dangling") + " is a link to " +
                                In("gone") + ", which does not exist\n");
}

// Images that are not DVD-Video, and a file of subtitles only, say what they are.
TEST_F(CliMessagesTest, SourcesThatCannotBeReadSayWhatTheyAre) {
    ASSERT_TRUE(
        Shell("mkdir -p bd/BDMV/STREAM && echo x >bd/BDMV/index.bdmv && "
              "genisoimage -quiet -udf -o bluray.iso bd && "
              "genisoimage -quiet -o noudf.iso '" +
              fx::SampleDiscPath(fx::kPalDisc.folder) +
              "' && "
              "ffmpeg -v error -probesize 100M -analyzeduration 100M -i '" +
              fx::SampleDiscPath(fx::kNtscDisc.folder) +
              "/VIDEO_TS/VTS_01_1.VOB' -map 0:s:0 -c copy -f vob subs.mpg && "
              "ffmpeg -v error -i subs.mpg -c:s dvb_subtitle -f mpegts subs.ts"));
    const CliRun bluray = RunCli("info '" + In("bluray.iso") + "'", env_);
    EXPECT_EQ(bluray.exit_code, 3);
    EXPECT_EQ(bluray.err, "Open DVD error: " + In("bluray.iso") +
                              " is a Blu-ray image, not a DVD: mount it and open its BDMV folder "
                              "instead\n");
    const CliRun no_udf = RunCli("info '" + In("noudf.iso") + "'", env_);
    EXPECT_EQ(no_udf.exit_code, 3);
    EXPECT_EQ(no_udf.err, "Open DVD error: " + In("noudf.iso") +
                              " is an image without a DVD-Video file system: it has no UDF part, "
                              "through which DVD-Video is read (genisoimage -dvd-video writes "
                              "one)\n");
    const CliRun subtitles = RunCli("info '" + In("subs.mpg") + "'", env_);
    EXPECT_EQ(subtitles.exit_code, 3);
    EXPECT_EQ(subtitles.err, In("subs.mpg") +
                                 " holds subtitles only: no video or sound stream the converter "
                                 "reads\n");
    const CliRun dvb = RunCli("info '" + In("subs.ts") + "'", env_);
    EXPECT_EQ(dvb.err, In("subs.ts") +
                           " holds subtitles only: no video or sound stream the converter reads\n");
}

// A crop rectangle is checked against the source's own picture size, so an HD source
// takes one beyond 720x576 and an SD one refuses it by name.
TEST_F(CliMessagesTest, CropIsCheckedAgainstTheSourcesPictureSize) {
    ASSERT_TRUE(
        Shell("ffmpeg -v error -f lavfi -i testsrc=size=1280x720:rate=25:duration=3 "
              "-c:v mpeg2video -f mpeg hd.mpg"));
    const CliRun hd = RunCli(
        "convert '" + In("hd.mpg") + "' --crop 160,0,1120,720 -q -o '" + In("out") + "'", env_);
    EXPECT_EQ(hd.exit_code, 0) << hd.err;
    const CliRun outside = RunCli(
        "convert '" + In("hd.mpg") + "' --crop 0,0,1300,720 -q -y -o '" + In("out") + "'", env_);
    EXPECT_EQ(outside.exit_code, 2);
    EXPECT_EQ(
        outside.err,
        "The crop rectangle 0,0,1300,720 reaches outside the 1280x720 pictures of Title_01\n");
    const CliRun sd = RunCli("convert '" + fx::SampleDiscPath(fx::kNtscDisc.iso) +
                                 "' -t 1 --crop 0,0,720,576 -q -o '" + In("out") + "'",
                             env_);
    EXPECT_EQ(sd.exit_code, 2);
    EXPECT_EQ(sd.err,
              "The crop rectangle 0,0,720,576 reaches outside the 720x480 pictures of Title_01\n");
}

// Measuring the borders looks at pictures only: no sound device is opened, so a machine
// whose sound cannot open (here ALSA without its configuration) prints nothing about it.
TEST_F(CliMessagesTest, MeasuringTheCropOpensNoSoundDevice) {
    const CliRun run =
        RunCli("convert '" + fx::SampleDiscPath(fx::kPalDisc.iso) +
                   "' -t 1 --trim 00:00:01-00:00:02 --crop auto -q -o '" + In("out") + "'",
               env_ + " SDL_AUDIODRIVER=alsa ALSA_CONFIG_PATH=/nonexistent");
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.err, "");
}

}  // namespace
}  // namespace rizuvira::cli
