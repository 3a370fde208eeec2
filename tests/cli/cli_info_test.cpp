// rizuvira-cli info, run as a program on the sample discs.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
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
