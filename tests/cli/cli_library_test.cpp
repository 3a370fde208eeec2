// SPDX-License-Identifier: GPL-2.0-or-later
// scripts/convert-library.sh over a shelf of the sample discs, two at once:
// killed midway (SIGKILL to every process of the run, as a scheduler's hard
// limit does) and run again, it leaves every listed title of every disc
// exactly once, whole, and nothing half-written.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "cli/cli_run.h"
#include "e2e/decoded_output.h"
#include "fixtures/sample_discs.h"

namespace rizuvira::cli {
namespace {

namespace fs = std::filesystem;
namespace fx = fixtures;
using test::CliFolderTest;
using test::RunCli;

int LineCount(const fs::path& file) {
    std::ifstream in(file);
    int lines = 0;
    for (std::string line; std::getline(in, line);) ++lines;
    return lines;
}

// `root` and every process below it. GNU parallel starts each job in a process group of its
// own, so a kill of the run's group alone would leave the conversions running.
std::set<pid_t> ProcessTree(pid_t root) {
    std::map<pid_t, pid_t> parents;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string text;
        std::getline(stat, text);
        // "pid (comm) state ppid ...": the name may hold spaces and parentheses.
        const size_t close = text.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(text.substr(close + 2));
        char state = 0;
        pid_t parent = 0;
        if (rest >> state >> parent) parents[std::stoi(name)] = parent;
    }
    std::set<pid_t> tree{root};
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& [pid, parent] : parents)
            if (tree.count(parent) && tree.insert(pid).second) grew = true;
    }
    return tree;
}

// Kills `root` and everything below it at once, as a scheduler's hard limit
// does: stopped first, so that nothing starts in between.
void KillTree(pid_t root) {
    std::set<pid_t> stopped;
    for (std::set<pid_t> tree = ProcessTree(root); tree != stopped; tree = ProcessTree(root))
        for (pid_t pid : tree)
            if (stopped.insert(pid).second) kill(pid, SIGSTOP);
    for (pid_t pid : stopped) kill(pid, SIGKILL);
    // Until each is gone (or a zombie), it may still hold its files and their locks, which
    // the rerun would take for a run still writing.
    for (pid_t pid : stopped) {
        while (pid != root) {
            std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
            std::string text;
            if (!std::getline(stat, text)) break;
            const size_t close = text.rfind(')');
            if (close == std::string::npos || close + 2 >= text.size() || text[close + 2] == 'Z')
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}

// The titles `info --json` lists for conversion, with their lengths in seconds.
std::map<int, double> ListedTitles(const std::string& disc) {
    const test::CliRun info = RunCli("info --json '" + disc + "'");
    std::map<int, double> titles;
    const std::regex title(
        "\\{\"title\": ([0-9]+), \"name\": \"[^\"]*\", \"listed\": true, \"duration_ms\": "
        "([0-9.]+)");
    for (std::sregex_iterator at(info.out.begin(), info.out.end(), title), end; at != end; ++at)
        titles[std::stoi((*at)[1])] = std::stod((*at)[2]) / 1000.0;
    return titles;
}

class ConvertLibraryTest : public CliFolderTest {};

TEST_F(ConvertLibraryTest, AKilledRunResumesToEveryTitleOnceAndWhole) {
    const fs::path library = folder_ / "library";
    const fs::path out = folder_ / "converted";
    fs::create_directories(library / "shelf");
    const std::map<std::string, std::string> discs{
        {"ntsc", fx::SampleDiscPath(fx::kNtscDisc.iso)},
        {"pal", fx::SampleDiscPath(fx::kPalDisc.iso)},
        {"shelf/film", fx::SampleDiscPath(fx::kFilmDiscIso)},
        {"shelf/still", fx::SampleDiscPath(fx::kStillDiscIso)}};
    for (const auto& [name, iso] : discs) fs::copy_file(iso, library / (name + ".iso"));
    // The MPEG-4 profile: quick, and the conversion is the same work whatever the codec.
    const std::string command = env_ + " RIZUVIRA_CLI='" RIZUVIRA_CLI "' bash '" +
                                RIZUVIRA_SOURCE_DIR + "/scripts/convert-library.sh' -j 2 -o '" +
                                out.string() + "' '" + library.string() +
                                "' -- -p 1 >/dev/null 2>&1";

    // The first run, killed whole once the first disc is done (the job log's
    // header and one line), while the next ones are being converted.
    const pid_t run = fork();
    ASSERT_GE(run, 0);
    if (run == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const fs::path joblog = out / ".library" / "joblog";
    int status = 0;
    bool ended = false;
    while (LineCount(joblog) < 2) {
        if (waitpid(run, &status, WNOHANG) == run) {
            ended = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_FALSE(ended) << "the first run ended by itself, status " << status;
    KillTree(run);
    waitpid(run, &status, 0);
    ASSERT_LT(LineCount(joblog), 1 + static_cast<int>(discs.size())) << "killed midway";

    ASSERT_EQ(std::system(command.c_str()), 0);
    // Each disc's last job log entry succeeded.
    ASSERT_GE(LineCount(joblog), 1 + static_cast<int>(discs.size()));

    for (const auto& [name, iso] : discs) {
        SCOPED_TRACE(name);
        const std::map<int, double> titles = ListedTitles(iso);
        ASSERT_FALSE(titles.empty());
        std::set<std::string> expected, found;
        for (const auto& [title, seconds] : titles) {
            char file[32];
            std::snprintf(file, sizeof(file), "Title_%02d.mp4", title);
            expected.insert(file);
        }
        for (const fs::directory_entry& entry : fs::directory_iterator(out / name))
            if (entry.path().filename() != "convert.log")
                found.insert(entry.path().filename().string());
        EXPECT_EQ(found, expected) << "every title once, no partial or temporary file";
        for (const auto& [title, seconds] : titles) {
            char file[32];
            std::snprintf(file, sizeof(file), "Title_%02d.mp4", title);
            SCOPED_TRACE(file);
            const e2e::WholeDecode decoded = e2e::DecodeWhole((out / name / file).string());
            ASSERT_TRUE(decoded.opened);
            EXPECT_TRUE(decoded.errors.empty()) << decoded.errors.front();
            EXPECT_NEAR(decoded.video_span_s, seconds, 0.25);
            EXPECT_NEAR(static_cast<double>(decoded.audio_samples) / decoded.audio_rate, seconds,
                        0.25);
        }
    }
}

}  // namespace
}  // namespace rizuvira::cli
