// SPDX-License-Identifier: GPL-2.0-or-later
// Where rizuvira-cli convert puts its files and what it does with those
// that exist: -o as a file, -n, files that exist, cancelled and killed runs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "cli/cli_run.h"
#include "cli/ntsc_disc_test.h"
#include "e2e/decoded_output.h"
#include "fixtures/sample_discs.h"

extern char** environ;

namespace rizuvira::cli {
namespace {

namespace fs = std::filesystem;
namespace fx = fixtures;
using cli::test::CliRun;
using cli::test::RunCli;
using e2e::DecodedOutput;
using e2e::DecodedPicture;

constexpr double kNtscFrame = 1001.0 / 30000.0;

using CliOutputTest = cli::test::NtscDiscTest;

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::string Container(const fs::path& file) {
    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, file.c_str(), nullptr, nullptr) != 0) return "";
    std::string name = context->iformat->name;
    avformat_close_input(&context);
    return name;
}

// How a run of title 1 with --json was stopped once its first second was
// written: by a signal, or by closing the pipe it writes to.
struct StoppedRun {
    bool stopped = false;
    int status = 0;
    std::string out;  // what was read before the pipe closed
};
StoppedRun ConvertAndStop(const fs::path& out, int signal_number) {
    StoppedRun run;
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
    const std::string disc = fx::SampleDiscPath(fx::kNtscDisc.iso);
    const std::string out_text = out.string();
    std::vector<std::string> args{RIZUVIRA_CLI, "convert", disc, "-t", "1",
                                  "--json",     "--cpu",   "50", "-o", out_text};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, RIZUVIRA_CLI, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    if (spawned != 0) {
        close(pipe_fds[0]);
        return run;
    }
    FILE* from = fdopen(pipe_fds[0], "r");
    char line[2048];
    while (std::fgets(line, sizeof(line), from)) {
        run.out += line;
        double position = 0;
        const char* at = std::strstr(line, "\"position_s\": ");
        if (!run.stopped && at && std::sscanf(at, "\"position_s\": %lf", &position) == 1 &&
            position > 1.0) {
            run.stopped = true;
            if (signal_number == 0) break;  // the reader goes away, as `| head` does
            kill(child, signal_number);
        }
    }
    std::fclose(from);
    waitpid(child, &run.status, 0);
    return run;
}

TEST_F(CliOutputTest, CancelKeepsAPlayablePartialFileBesideTheFreeName) {
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, 0}) {
        SCOPED_TRACE(signal_number ? strsignal(signal_number) : "closed pipe");
        const fs::path out = folder_ / ("out" + std::to_string(signal_number));
        const StoppedRun run = ConvertAndStop(out, signal_number);
        ASSERT_TRUE(run.stopped) << run.out;
        ASSERT_TRUE(WIFEXITED(run.status)) << "ended by the signal instead of cancelling";
        EXPECT_EQ(WEXITSTATUS(run.status), 1);
        EXPECT_EQ(Names(out), std::vector<std::string>{"Title_01.partial.mp4"})
            << "nothing under the final name, no temporary file";
        const DecodedOutput cut = Decode(out / "Title_01.partial.mp4");
        ASSERT_TRUE(cut.ok) << cut.error;
        EXPECT_GT(cut.pictures.size(), 30u);
        EXPECT_LT(cut.pictures.size(), 1800u) << "cancelled before the end";
        if (signal_number != SIGINT) continue;
        const std::string partial = (out / "Title_01.partial.mp4").string();
        EXPECT_NE(run.out.find("\"event\": \"file\", \"path\": \"" + partial), std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find("\"partial\": true"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("Cancelled; " + partial + " is a partial file"), std::string::npos)
            << run.out;
        // What was finished has as much sound as pictures, and the pictures'
        // own: the beep of the last whole second meets its flash.
        EXPECT_NEAR(cut.audio_start_s + static_cast<double>(cut.mono.size()) / cut.sample_rate,
                    cut.pictures.back().time_s + kNtscFrame, 2 * kNtscFrame);
        const int last_second = static_cast<int>(cut.pictures.back().time_s) - 1;
        ASSERT_GE(last_second, 0);
        double flash_s = -1;
        for (const DecodedPicture& picture : cut.pictures)
            if (picture.band == fx::FirstFlashFrame(last_second, 30000, 1001))
                flash_s = picture.time_s;
        ASSERT_GE(flash_s, 0);
        EXPECT_NEAR(e2e::BeepRise(cut, flash_s, 440), flash_s, kNtscFrame + 0.011);

        // A rerun that skips what exists converts the item again, whole, and
        // the whole file takes the partial one's place.
        const CliRun rerun = Convert("-n -t 1 -o '" + out.string() + "'");
        ASSERT_EQ(rerun.exit_code, 0) << rerun.err;
        EXPECT_EQ(Names(out), std::vector<std::string>{"Title_01.mp4"});
        EXPECT_EQ(Decode(out / "Title_01.mp4").pictures.size(), 1800u);
    }
}

TEST_F(CliOutputTest, TemporaryFilesOfKilledRunsAreRemovedAndLiveOnesKept) {
    const fs::path out = folder_ / "out";
    const fs::path stale = out / ".Title_04.mp4.Ab12cD.part";
    const fs::path live = out / ".Title_01.mp4.xY34zW.part";
    const fs::path mine = out / ".notes.part";
    for (const fs::path& path : {stale, live, mine}) std::ofstream(path) << "half a file";
    // A run still writing holds a lock on its temporary file.
    const int fd = open(live.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    ASSERT_EQ(fcntl(fd, F_OFD_SETLK, &lock), 0);

    const CliRun run = RunCli(
        "convert '" + fx::SampleDiscPath(fx::kNtscDisc.iso) + "' -t 3 -o '" + out.string() + "'",
        env_);
    close(fd);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(
        run.err.find("Removed " + stale.string() + ", left by a conversion that no longer runs"),
        std::string::npos)
        << run.err;
    EXPECT_EQ(Names(out), (std::vector<std::string>{".Title_01.mp4.xY34zW.part", ".notes.part",
                                                    "Title_03.mp4"}));
}

TEST_F(CliOutputTest, OutputFileNamesTheOneItem) {
    const fs::path deep = folder_ / "new" / "deeper";
    const fs::path movie = deep / "movie.mkv";
    const CliRun one = Convert("-t 3 -o '" + movie.string() + "'");
    ASSERT_EQ(one.exit_code, 0) << one.err;
    EXPECT_EQ(Names(deep), std::vector<std::string>{"movie.mkv"}) << "the folder is made";
    EXPECT_EQ(Container(movie), "matroska,webm") << "the name's extension chooses the container";
    EXPECT_EQ(Decode(movie).pictures.size(), 120u);

    // A file that exists is the output file too, replaced only with -y.
    EXPECT_EQ(Convert("-t 4 -o '" + movie.string() + "'").exit_code, 4);
    EXPECT_EQ(Convert("-t 4 -y -o '" + movie.string() + "'").exit_code, 0);
    EXPECT_EQ(Decode(movie).pictures.size(), 150u);

    // Two items make two files: a file name is refused, unless they are merged.
    const fs::path two = folder_ / "two.mp4";
    const CliRun refused = Convert("-t 3,4 -o '" + two.string() + "'");
    EXPECT_EQ(refused.exit_code, 2);
    EXPECT_NE(refused.err.find("2 items are chosen"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(two));
    const CliRun merged = Convert("-t 3,4 --merge -o '" + two.string() + "'");
    ASSERT_EQ(merged.exit_code, 0) << merged.err;
    EXPECT_EQ(Decode(two).pictures.size(), 270u);
    // A folder whose name looks like a file stays a folder.
    fs::create_directories(folder_ / "clips.mp4");
    EXPECT_EQ(Convert("-t 3,4 -o '" + (folder_ / "clips.mp4").string() + "'").exit_code, 0);
    EXPECT_EQ(Names(folder_ / "clips.mp4"),
              (std::vector<std::string>{"Title_03.mp4", "Title_04.mp4"}));
}

TEST_F(CliOutputTest, SkipExistingConvertsWhatIsMissing) {
    const fs::path out = folder_ / "out";
    ASSERT_EQ(Convert("-t 3 -o '" + out.string() + "'").exit_code, 0);
    const fs::path three = out / "Title_03.mp4";
    const auto written = fs::last_write_time(three);
    const CliRun rest = Convert("-n -t 3,4 --json -o '" + out.string() + "'");
    EXPECT_EQ(rest.exit_code, 0) << rest.err;
    EXPECT_NE(rest.out.find("{\"event\": \"skipped\", \"path\": \"" + three.string() +
                            "\", \"reason\": \"exists\", \"disc\": "),
              std::string::npos)
        << rest.out;
    EXPECT_NE(rest.out.find("\"path\": \"" + (out / "Title_04.mp4").string() + "\", \"ok\": true"),
              std::string::npos)
        << rest.out;
    EXPECT_NE(rest.out.find("\"failed_items\": 0, \"cancelled\": false, \"skipped_existing\": 1, "),
              std::string::npos)
        << rest.out;
    EXPECT_EQ(fs::last_write_time(three), written) << "left alone";

    const CliRun none = RunCli("convert '" + fx::SampleDiscPath(fx::kNtscDisc.iso) +
                                   "' -n -t 3,4 -o '" + out.string() + "'",
                               env_);
    EXPECT_EQ(none.exit_code, 0) << "everything is there";
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, three.string() + " exists: skipped\n" + (out / "Title_04.mp4").string() +
                            " exists: skipped\n");
    EXPECT_EQ(Convert("-n -y -t 3 -o '" + out.string() + "'").exit_code, 2);
}

// Runs the command line twice at once with the same arguments; the exit
// codes and what each wrote on standard error.
std::vector<CliRun> RunTwiceAtOnce(const std::string& home, const std::vector<std::string>& args,
                                   const fs::path& logs) {
    std::vector<pid_t> children;
    for (int i = 0; i < 2; ++i) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string err = (logs / ("err" + std::to_string(i))).string();
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<std::string> copies{RIZUVIRA_CLI};
        copies.insert(copies.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : copies) argv.push_back(arg.data());
        argv.push_back(nullptr);
        std::string home_entry = "HOME=" + home, config_entry = "XDG_CONFIG_HOME=";
        char* envp[] = {home_entry.data(), config_entry.data(), nullptr};
        pid_t child = 0;
        EXPECT_EQ(posix_spawn(&child, RIZUVIRA_CLI, &actions, nullptr, argv.data(), envp), 0);
        posix_spawn_file_actions_destroy(&actions);
        children.push_back(child);
    }
    std::vector<CliRun> runs(2);
    for (int i = 0; i < 2; ++i) {
        int status = 0;
        waitpid(children[i], &status, 0);
        runs[i].exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream err(logs / ("err" + std::to_string(i)));
        runs[i].err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
    }
    return runs;
}

TEST_F(CliOutputTest, ExistingFilesAreNeverReplacedSilently) {
    const fs::path out = folder_ / "out";
    const fs::path file = out / "Title_03.mp4";
    ASSERT_EQ(Convert("-t 3 -o '" + out.string() + "'").exit_code, 0);
    std::ofstream(file) << "mine";
    const CliRun refused = Convert("-t 1,3 --json -o '" + out.string() + "'");
    EXPECT_EQ(refused.exit_code, 4) << "not a wrong option's 2";
    EXPECT_EQ(refused.err, file.string() + " exists; -y (--overwrite) replaces it\n")
        << "checked before anything runs";
    EXPECT_FALSE(fs::exists(out / "Title_01.mp4"));
    std::ifstream kept(file);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), std::istreambuf_iterator<char>()),
              "mine");
    const CliRun replaced = Convert("-t 3 --overwrite -o '" + out.string() + "'");
    ASSERT_EQ(replaced.exit_code, 0) << replaced.err;
    EXPECT_TRUE(Decode(file).ok);

    // Two runs into one folder: each writes a file of its own; the one that
    // finishes second does not replace the first one's file.
    fs::remove(file);
    const std::vector<std::string> args{
        "convert", fx::SampleDiscPath(fx::kNtscDisc.iso), "-q", "-t", "3", "-o", out.string()};
    const std::vector<CliRun> runs = RunTwiceAtOnce((folder_ / "home").string(), args, folder_);
    ASSERT_EQ((runs[0].exit_code == 0) + (runs[1].exit_code == 0), 1) << runs[0].err << runs[1].err;
    const CliRun& loser = runs[0].exit_code == 0 ? runs[1] : runs[0];
    EXPECT_NE(loser.err.find(file.string()), std::string::npos) << loser.err;
    const DecodedOutput decoded = Decode(file);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.pictures.size(), 120u);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(out)) names.push_back(entry.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"Title_03.mp4"}) << "no temporary file left";
}

TEST_F(CliOutputTest, NameTemplateKeepsTheFilesOfDiscsApart) {
    const fs::path out = folder_ / "out";
    for (const fx::SampleDisc* disc : {&fx::kNtscDisc, &fx::kPalDisc}) {
        const CliRun run = RunCli("convert '" + fx::SampleDiscPath(disc->iso) +
                                      "' -q -t 1 --trim 0:00:00-0:00:01 --name '{volume}_{item}' "
                                      "-o '" +
                                      out.string() + "'",
                                  env_);
        EXPECT_EQ(run.exit_code, 0) << run.err;
    }
    EXPECT_EQ(Names(out),
              (std::vector<std::string>{"SAMPLE_NTSC_Title_01.mp4", "SAMPLE_PAL_Title_01.mp4"}));
    // A template that gives two files one name is refused before anything runs.
    const CliRun same = Convert("-t 3,4 --name '{volume}' -o '" + out.string() + "'");
    EXPECT_EQ(same.exit_code, 2);
    EXPECT_EQ(same.err,
              "--name {volume} names more than one file SAMPLE_NTSC.mp4: add {item} or "
              "{title}\n");
}

}  // namespace
}  // namespace rizuvira::cli
