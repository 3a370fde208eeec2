// rizuvira-cli info, run as a program on the sample discs.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "cli/cli_run.h"
#include "fixtures/sample_discs.h"

namespace rizuvira {
namespace {

using rizuvira::fixtures::SampleDiscPath;

using cli_test::RunCli;
using cli_test::CliRun;

TEST(CliInfo, ListsTheTitlesOfBothDiscForms) {
    for (auto name : {rizuvira::fixtures::kNtscDisc.iso, rizuvira::fixtures::kNtscDisc.folder}) {
        const CliRun run = RunCli("info '" + SampleDiscPath(name) + "'");
        EXPECT_EQ(run.exit_code, 0) << run.err;
        EXPECT_EQ(run.out,
                  "Title_01  00:01:00  4 chapters\n"
                  "  audio     English(AC3 6ch)\n"
                  "  audio     French(AC3 2ch)\n"
                  "  subtitle  English\n"
                  "  subtitle  French\n"
                  "Title_03  00:00:04  1 chapter\n"
                  "  audio     English(MP3 2ch)\n"
                  "Title_04  00:00:05  1 chapter\n"
                  "  audio     Spanish(LPCM 2ch)\n"
                  "Title_05  00:00:06  1 chapter\n"
                  "  audio     English(AC3 2ch)\n")
            << "title 2 lasts 2 s and is not listed";
    }
}

TEST(CliInfo, JsonCarriesNumbers) {
    const CliRun run = RunCli("info --json '" + SampleDiscPath(rizuvira::fixtures::kPalDisc.iso) + "'");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("\"duration_ms\": 10000.000"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("{\"id\": \"0xC100\", \"language\": \"en\", \"coding\": 2, \"channels\": 2"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\"subtitles\": [{\"id\": \"0xBD20\", \"language\": \"en\""), std::string::npos);
}

// Whether `text` is well-formed UTF-8 (no stray, overlong, surrogate or cut-short sequences).
bool IsUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
        const unsigned char lead = b(i);
        std::size_t n = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                                      : lead >= 0xF0 && lead < 0xF5  ? 4 : 0;
        if (n == 0 || i + n > text.size()) return false;
        uint32_t value = n == 1 ? lead : lead & (0x7F >> n);
        for (std::size_t k = 1; k < n; ++k) {
            if ((b(i + k) & 0xC0) != 0x80) return false;
            value = value << 6 | (b(i + k) & 0x3F);
        }
        const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (value < least[n] || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000)) return false;
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
    EXPECT_NE(json.out.find("{\"id\": \"0xBD80\", \"language\": \"\", "), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"text\": \"Unknown(AC3 2ch)\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"language\": \"en\""), std::string::npos) << "the other track keeps its code";
    ASSERT_EQ(text.exit_code, 0) << text.err;
    EXPECT_TRUE(IsUtf8(text.out));
    EXPECT_NE(text.out.find("  audio     Unknown(AC3 2ch)\n"), std::string::npos) << text.out;
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
}  // namespace rizuvira
