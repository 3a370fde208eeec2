// SPDX-License-Identifier: GPL-2.0-or-later
// Runs rizuvira-cli as a program and keeps what it printed.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace rizuvira::cli::test {

struct CliRun {
    int exit_code = -1;
    std::string out;
    std::string err;
};

// `args` is shell text after the program name; `env` (shell text) goes
// before it.
inline CliRun RunCli(const std::string& args, const std::string& env = "") {
    char err_path[] = "/tmp/rizuvira-cli-err-XXXXXX";
    const int fd = mkstemp(err_path);
    close(fd);
    const std::string command = env + " '" + RIZUVIRA_CLI + "' " + args + " 2>" + err_path;
    CliRun run;
    FILE* pipe = popen(command.c_str(), "r");
    char chunk[4096];
    while (size_t n = std::fread(chunk, 1, sizeof(chunk), pipe)) run.out.append(chunk, n);
    const int status = pclose(pipe);
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(err_path);
    run.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
    std::remove(err_path);
    return run;
}

// A test with a folder of its own (removed afterwards, even when a test took its write
// permission away), holding `home` (the CLI's home, so no user settings are read) and `out`.
class CliFolderTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/rizuvira-cli-XXXXXX";
        folder_ = mkdtemp(pattern);
        std::filesystem::create_directories(folder_ / "home");
        std::filesystem::create_directories(folder_ / "out");
        env_ = "HOME='" + (folder_ / "home").string() + "' XDG_CONFIG_HOME= SDL_AUDIODRIVER=dummy";
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::permissions(folder_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(folder_, ignored);
    }

    std::filesystem::path folder_;
    std::string env_;  // shell text for RunCli
};

}  // namespace rizuvira::cli::test
