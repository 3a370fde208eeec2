// SPDX-License-Identifier: GPL-2.0-or-later
// rizuvira-cli convert as scripts and job schedulers drive it: JSON events
// that name their disc, title and file; plain progress lines, -v and --log
// when standard error is not a terminal; titles chosen by length and chapter
// ranges.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "e2e/decoded_output.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::cli {
namespace {

namespace fs = std::filesystem;
namespace fx = fixtures;
using test::CliFolderTest;
using test::CliRun;
using test::RunCli;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The titles of the "skipped" events, in order.
std::vector<int> SkippedTitles(const std::string& json) {
    std::vector<int> titles;
    const std::regex title("\"title\": ([0-9]+)");
    for (const std::string& line : Lines(json)) {
        std::smatch match;
        if (line.rfind("{\"event\": \"skipped\"", 0) == 0 && std::regex_search(line, match, title))
            titles.push_back(std::stoi(match[1]));
    }
    return titles;
}

class CliScriptingTest : public CliFolderTest {
protected:
    const std::string ntsc_ = fx::SampleDiscPath(fx::kNtscDisc.iso);
    CliRun Convert(const std::string& options) {
        return RunCli("convert '" + ntsc_ + "' -p 1 " + options, env_);
    }
    // Empty files for every title of the NTSC disc, so that -n leaves every
    // chosen title out and the events say which were chosen.
    void FillWithTitles(const fs::path& folder) {
        fs::create_directories(folder);
        for (size_t t = 1; t <= fx::kNtscDisc.titles.size(); ++t)
            std::ofstream(folder / ("Title_0" + std::to_string(t) + ".mp4"));
    }
};

TEST_F(CliScriptingTest, JsonEventsNameTheSchemaDiscTitleAndFile) {
    const fs::path out = folder_ / "out";
    std::ofstream(out / "Title_04.mp4") << "kept";
    const CliRun run = Convert("-t 3,4 -n --json -o '" + out.string() + "'");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines.front().rfind("{\"event\": \"start\", \"schema_version\": 1, ", 0), 0u);
    const std::string disc = "\"disc\": \"" + ntsc_ + "\"";
    const std::string three =
        "\"title\": 3, \"chapter\": null, \"last_chapter\": null, "
        "\"item\": \"Title_03\", \"output\": \"" +
        (out / "Title_03.mp4").string() + "\"}";
    std::set<std::string> events;
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        EXPECT_EQ(line.front(), '{');
        EXPECT_EQ(line.back(), '}');
        EXPECT_NE(line.find(disc), std::string::npos);
        const std::string event = line.substr(11, line.find('"', 11) - 11);
        events.insert(event);
        // Every event about title 3 names it and its file; "skipped" title 4.
        if (event == "queued" || event == "progress" || event == "file") {
            EXPECT_NE(line.find(three), std::string::npos);
        }
        if (event == "skipped") {
            EXPECT_NE(line.find("\"title\": 4, "), std::string::npos);
        }
        if (event == "file") {
            EXPECT_NE(line.find("\"ok\": true, "), std::string::npos);
        }
    }
    EXPECT_EQ(events,
              (std::set<std::string>{"start", "skipped", "queued", "progress", "file", "done"}));
    EXPECT_NE(lines.back().find("\"files\": 1, \"failed_items\": 0, \"cancelled\": false, "
                                "\"skipped_existing\": 1, " +
                                disc + ", \"title\": null"),
              std::string::npos)
        << lines.back();
}

// Standard error is a file here, as under a job scheduler: no bars, a plain
// line when an item starts and every 5 s; -v adds the plan and each file;
// --log keeps all of it with the time.
TEST_F(CliScriptingTest, PipedRunPrintsProgressLinesAndTheLogKeepsThem) {
    const fs::path out = folder_ / "out";
    const fs::path log = folder_ / "run.log";
    const CliRun run = Convert("-t 3 -v --log '" + log.string() + "' -o '" + out.string() + "'");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, (out / "Title_03.mp4").string() + "\n") << "paths alone on standard output";
    EXPECT_EQ(run.err.find('\r'), std::string::npos) << run.err;
    EXPECT_TRUE(std::regex_search(
        run.err, std::regex("\nTitle_03 \\(1/1\\) +[0-9]+% batch +[0-9]+% elapsed 00:00:0")))
        << run.err;
    EXPECT_NE(run.err.find("item 1/1: Title_03 (4.004 s) -> " + (out / "Title_03.mp4").string()),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("profile 1 (MP4 Video (MPEG-4, AAC)), "), std::string::npos) << run.err;
    std::ifstream in(log);
    const std::string logged((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    EXPECT_TRUE(
        std::regex_search(logged, std::regex("(^|\n)20[0-9-]{8}T[0-9:]{8}Z Title_03 \\(1/1\\)")))
        << logged;
    EXPECT_NE(
        logged.find("file " + (out / "Title_03.mp4").string() + ": 4.004 s of the source, ok"),
        std::string::npos)
        << logged;
    // A second run appends; a log that cannot be written is a usage error.
    ASSERT_EQ(
        Convert("-t 3 -n -q --log '" + log.string() + "' -o '" + out.string() + "'").exit_code, 0);
    std::ifstream again(log);
    const std::string appended((std::istreambuf_iterator<char>(again)),
                               std::istreambuf_iterator<char>());
    EXPECT_EQ(appended.rfind(logged, 0), 0u);
    EXPECT_NE(appended.find("Title_03.mp4 exists: skipped", logged.size()), std::string::npos);
    EXPECT_EQ(Convert("-t 3 --log '" + (folder_ / "no" / "log").string() + "'").exit_code, 2);
}

TEST_F(CliScriptingTest, MainFeatureMinimumLengthAndChapterRange) {
    const fs::path all = folder_ / "all";
    FillWithTitles(all);
    const CliRun every = Convert("-n --json -o '" + all.string() + "'");
    ASSERT_EQ(every.exit_code, 0) << every.err;
    const std::vector<int> listed = SkippedTitles(every.out);
    ASSERT_GT(listed.size(), 2u);
    // The disc's longest title is title 1 (60 s); only it lasts 30 s or more.
    for (const char* options : {"--main-feature", "--min-length 30", "--min-length 0:30"}) {
        const CliRun run = Convert(std::string(options) + " -n --json -o '" + all.string() + "'");
        ASSERT_EQ(run.exit_code, 0) << options << ": " << run.err;
        EXPECT_EQ(SkippedTitles(run.out), std::vector<int>{1}) << options;
    }
    const CliRun none = Convert("--min-length 61 -n -o '" + all.string() + "'");
    EXPECT_EQ(none.exit_code, 1);
    EXPECT_NE(none.err.find("none lasts 61 s or more"), std::string::npos) << none.err;
    // Named titles are converted whatever their length.
    EXPECT_EQ(
        SkippedTitles(Convert("-t 3 --min-length 30 -n --json -o '" + all.string() + "'").out),
        std::vector<int>{3});
    EXPECT_EQ(Convert("--main-feature -t 1").exit_code, 2);

    // Chapters 2 and 3 of title 1 (15.015 s each): one file of 30.03 s that
    // starts with chapter 2's first picture.
    const fs::path out = folder_ / "chapters";
    const CliRun range = RunCli(
        "convert '" + ntsc_ + "' --chapters 1:2-3 -q --json -o '" + out.string() + "'", env_);
    ASSERT_EQ(range.exit_code, 0) << range.err;
    EXPECT_NE(range.out.find("\"title\": 1, \"chapter\": 2, \"last_chapter\": 3, \"item\": "
                             "\"Chapter_01_02-03\""),
              std::string::npos)
        << range.out;
    const e2e::DecodedOutput decoded =
        e2e::DecodeOutput((out / "Chapter_01_02-03.mp4").string(), 720, 480);
    ASSERT_TRUE(decoded.ok);
    ASSERT_FALSE(decoded.pictures.empty());
    EXPECT_NEAR(decoded.pictures.front().band, 450, 2);
    EXPECT_NEAR(decoded.pictures.back().band, 1349, 2);
    EXPECT_EQ(Convert("--chapters 1:3-2").exit_code, 2);
    EXPECT_EQ(Convert("--chapters 1:2-9 -o '" + out.string() + "'").exit_code, 2);
}

}  // namespace
}  // namespace rizuvira::cli
