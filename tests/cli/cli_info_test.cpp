// SPDX-License-Identifier: GPL-2.0-or-later
// rizuvira-cli info, run as a program on the sample discs.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "cli/cli_run.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::cli {
namespace {

using rizuvira::fixtures::SampleDiscPath;

using cli::test::CliRun;
using cli::test::RunCli;

TEST(CliInfo, ListsTheTitlesOfBothDiscForms) {
    for (auto name : {rizuvira::fixtures::kNtscDisc.iso, rizuvira::fixtures::kNtscDisc.folder}) {
        const CliRun run = RunCli("info '" + SampleDiscPath(name) + "'");
        EXPECT_EQ(run.exit_code, 0) << run.err;
        EXPECT_EQ(run.out,
                  "Title_01  00:01:00  4 chapters\n"
                  "  video     720x480  NTSC  4:3\n"
                  "  chapter   1  00:00:00.000  00:00:15.015\n"
                  "  chapter   2  00:00:15.015  00:00:15.015\n"
                  "  chapter   3  00:00:30.030  00:00:15.015\n"
                  "  chapter   4  00:00:45.045  00:00:15.015\n"
                  "  audio     English(AC3 6ch)  48000 Hz  6 channels\n"
                  "  audio     French(AC3 2ch)  48000 Hz  2 channels\n"
                  "  subtitle  English\n"
                  "  subtitle  French\n"
                  "Title_03  00:00:04  1 chapter\n"
                  "  video     720x480  NTSC  4:3\n"
                  "  chapter   1  00:00:00.000  00:00:04.004\n"
                  "  audio     English(MP3 2ch)  48000 Hz  2 channels\n"
                  "Title_04  00:00:05  1 chapter\n"
                  "  video     720x480  NTSC  4:3\n"
                  "  chapter   1  00:00:00.000  00:00:05.005\n"
                  "  audio     Spanish(LPCM 2ch)  48000 Hz  2 channels\n"
                  "Title_05  00:00:06  1 chapter\n"
                  "  video     720x480  NTSC  16:9\n"
                  "  chapter   1  00:00:00.000  00:00:06.006\n"
                  "  audio     English(AC3 2ch)  48000 Hz  2 channels\n")
            << "title 2 lasts 2 s and is not listed";
    }
}

TEST(CliInfo, JsonCarriesNumbers) {
    const CliRun run =
        RunCli("info --json '" + SampleDiscPath(rizuvira::fixtures::kPalDisc.iso) + "'");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    // Titles, chapters and tracks by the numbers -t, --chapters and --audio take.
    EXPECT_EQ(run.out.rfind("{\"numbering\": \"from 1\", \"titles\": [\n  {\"title\": 1, ", 0), 0u)
        << run.out;
    EXPECT_NE(run.out.find("\"duration_ms\": 10000.000"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("{\"track\": 2, \"id\": \"0xC100\", \"language\": \"en\", "
                           "\"coding\": 2, \"channels\": 2"),
              std::string::npos)
        << run.out;
    EXPECT_NE(
        run.out.find("\"subtitles\": [{\"track\": 1, \"id\": \"0xBD20\", \"language\": \"en\""),
        std::string::npos);
    EXPECT_NE(run.out.find("\"chapter_times\": [{\"chapter\": 1, \"start_ms\": 0.000, "
                           "\"length_ms\": 4800.000}, "
                           "{\"chapter\": 2, \"start_ms\": 4800.000, \"length_ms\": 5200.000}]"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\"video\": {\"width\": 720, \"height\": 576, \"system\": \"PAL\", "
                           "\"frame_rate\": 25.000, \"display_aspect\": \"16:9\"}"),
              std::string::npos)
        << run.out;
}

TEST(CliInfo, ExactChannelCountsAndSampleRates) {
    // A PAL title with a mono and a three-channel AC-3 track and a chapter at 1.2 s.
    char pattern[] = "/tmp/rizuvira-info-XXXXXX";
    const std::filesystem::path work = mkdtemp(pattern);
    const std::string make =
        "cd '" + work.string() +
        "' && ffmpeg -v error -y -f lavfi -i testsrc=size=720x576:rate=25:duration=3 "
        "-f lavfi -i sine=f=440:duration=3 -f lavfi -i sine=f=550:duration=3 "
        "-filter_complex '[2]pan=3.0|c0=c0|c1=c0|c2=c0[three]' -map 0 -map 1 -map '[three]' "
        "-target pal-dvd -g 15 -ac:a:0 1 -aspect 4:3 clip.mpg && "
        "echo '<dvdauthor dest=\"disc\"><vmgm/><titleset><titles><pgc>"
        "<vob file=\"clip.mpg\" chapters=\"0,1.200\"/></pgc></titles></titleset></dvdauthor>' "
        ">dvd.xml && "
        "VIDEO_FORMAT=PAL dvdauthor -x dvd.xml >/dev/null 2>&1";
    ASSERT_EQ(std::system(make.c_str()), 0);
    const CliRun text = RunCli("info '" + (work / "disc").string() + "'");
    const CliRun json = RunCli("info --json '" + (work / "disc").string() + "'");
    std::filesystem::remove_all(work);
    ASSERT_EQ(text.exit_code, 0) << text.err;
    EXPECT_EQ(text.out,
              "Title_01  00:00:03  2 chapters\n"
              "  video     720x576  PAL  4:3\n"
              "  chapter   1  00:00:00.000  00:00:01.200\n"
              "  chapter   2  00:00:01.200  00:00:01.800\n"
              "  audio     Unknown(AC3 1ch)  48000 Hz  1 channel\n"
              "  audio     Unknown(AC3 3ch)  48000 Hz  3 channels\n");
    EXPECT_NE(json.out.find("\"coding\": 0, \"channels\": 3, \"sample_rate\": 48000"),
              std::string::npos)
        << json.out;
}

// Plain files name their sound as it is: AAC and E-AC-3 by name, and every
// track with the channels it has.
TEST(CliInfo, PlainFileSoundIsNamedWithItsCodingAndChannels) {
    char pattern[] = "/tmp/rizuvira-info-XXXXXX";
    const std::filesystem::path work = mkdtemp(pattern);
    struct Case {
        const char* file;
        const char* make;  // ffmpeg's output options
        const char* label;
    };
    const Case cases[] = {
        {"aac51.ts", "-ac 6 -c:a aac -f mpegts", "Unknown(AAC 6ch)  48000 Hz  6 channels"},
        {"mono.mpg", "-ac 1 -c:a mp2 -f mpeg", "Unknown(MP3 1ch)  48000 Hz  1 channel"},
        {"eac3.ts", "-ac 2 -c:a eac3 -f mpegts", "Unknown(E-AC3 2ch)  48000 Hz  2 channels"},
    };
    for (const Case& c : cases) {
        const std::filesystem::path file = work / c.file;
        const std::string make = "ffmpeg -v error -y -f lavfi -i sine=f=440:duration=4 -ar 48000 " +
                                 std::string(c.make) + " '" + file.string() + "'";
        ASSERT_EQ(std::system(make.c_str()), 0) << c.file;
        const CliRun run = RunCli("info '" + file.string() + "'");
        EXPECT_EQ(run.exit_code, 0) << c.file << run.err;
        EXPECT_NE(run.out.find(std::string("  audio     ") + c.label + "\n"), std::string::npos)
            << c.file << "\n"
            << run.out;
    }
    std::filesystem::remove_all(work);
}

// Whether `text` is well-formed UTF-8 (no stray, overlong, surrogate or cut-short sequences).
bool IsUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
        const unsigned char lead = b(i);
        std::size_t n = lead < 0x80                   ? 1
                        : lead >= 0xC2 && lead < 0xE0 ? 2
                        : lead >= 0xE0 && lead < 0xF0 ? 3
                        : lead >= 0xF0 && lead < 0xF5 ? 4
                                                      : 0;
        if (n == 0 || i + n > text.size()) return false;
        uint32_t value = n == 1 ? lead : lead & (0x7F >> n);
        for (std::size_t k = 1; k < n; ++k) {
            if ((b(i + k) & 0xC0) != 0x80) return false;
            value = value << 6 | (b(i + k) & 0x3F);
        }
        const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (value < least[n] || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000))
            return false;
        i += n;
    }
    return true;
}

TEST(CliInfo, LanguageCodeOfNoLettersReadsUnknownInValidUtf8) {
    // The PAL disc with its first audio track's language code made ff ff.
    char pattern[] = "/tmp/rizuvira-info-XXXXXX";
    const std::filesystem::path folder = mkdtemp(pattern);
    const std::filesystem::path disc = folder / "pal";
    std::filesystem::copy(SampleDiscPath(rizuvira::fixtures::kPalDisc.folder), disc,
                          std::filesystem::copy_options::recursive);
    for (const char* name : {"VTS_01_0.IFO", "VTS_01_0.BUP"}) {
        std::fstream ifo(disc / "VIDEO_TS" / name, std::ios::in | std::ios::out | std::ios::binary);
        ifo.seekp(0x206);  // language of audio attribute row 0 (rows from 0x204, 8 bytes each)
        ifo.write("\xFF\xFF", 2);
        ASSERT_TRUE(ifo.good()) << name;
    }
    const CliRun json = RunCli("info --json '" + disc.string() + "'");
    const CliRun text = RunCli("info '" + disc.string() + "'");
    std::filesystem::remove_all(folder);
    ASSERT_EQ(json.exit_code, 0) << json.err;
    EXPECT_TRUE(IsUtf8(json.out)) << json.out;
    EXPECT_NE(json.out.find("\"id\": \"0xBD80\", \"language\": \"\", "), std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"text\": \"Unknown(AC3 2ch)\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"language\": \"en\""), std::string::npos)
        << "the other track keeps its code";
    ASSERT_EQ(text.exit_code, 0) << text.err;
    EXPECT_TRUE(IsUtf8(text.out));
    EXPECT_NE(text.out.find("  audio     Unknown(AC3 2ch)  48000 Hz  2 channels\n"),
              std::string::npos)
        << text.out;
}

TEST(CliInfo, ExitCodes) {
    const CliRun missing = RunCli("info /nonexistent/disc.iso");
    EXPECT_EQ(missing.exit_code, 3);
    EXPECT_EQ(missing.err, "/nonexistent/disc.iso: No such file or directory\n");
    EXPECT_TRUE(missing.out.empty());
    EXPECT_EQ(RunCli("info").exit_code, 2);
    EXPECT_EQ(RunCli("frobnicate x").exit_code, 2);
    EXPECT_EQ(RunCli("--help").exit_code, 0);
}

}  // namespace
}  // namespace rizuvira::cli
