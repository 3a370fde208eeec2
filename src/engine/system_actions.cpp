// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/system_actions.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

extern char** environ;

namespace rizuvira::engine {
namespace {

// Runs the program named first with the other arguments and waits for it;
// both programs hand the work over and return at once. False, with the
// reason, when it cannot be started or does not end with status 0.
bool Launch(std::initializer_list<std::string> arguments, std::string* error) {
    std::vector<std::string> copies(arguments);
    std::vector<char*> argv;
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawn_error = posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ);
    if (spawn_error != 0) {
        if (error) *error = copies[0] + ": " + std::strerror(spawn_error);
        return false;
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child) {
        if (error) *error = copies[0] + ": " + std::strerror(errno);
        return false;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    if (error) {
        *error = copies[0] + (WIFEXITED(status)
                                  ? " ended with status " + std::to_string(WEXITSTATUS(status))
                                  : " was ended by signal " + std::to_string(WTERMSIG(status)));
    }
    return false;
}

}  // namespace

bool DesktopActions::ShutDown(std::string* error) {
    return Launch({"systemctl", "poweroff"}, error);
}

bool DesktopActions::OpenFolder(const std::filesystem::path& folder, std::string* error) {
    return Launch({"xdg-open", folder.string()}, error);
}

}  // namespace rizuvira::engine
