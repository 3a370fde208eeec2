#include "engine/system_actions.h"

#include <spawn.h>
#include <sys/wait.h>

#include <initializer_list>
#include <string>
#include <vector>

extern char** environ;

namespace rizuvira::engine {
namespace {

// Runs the program named first with the other arguments and waits for it;
// both programs hand the work over and return at once.
void Launch(std::initializer_list<std::string> arguments) {
    std::vector<std::string> copies(arguments);
    std::vector<char*> argv;
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(child, &status, 0);
    }
}

}  // namespace

void DesktopActions::ShutDown() { Launch({"systemctl", "poweroff"}); }

void DesktopActions::OpenFolder(const std::filesystem::path& folder) { Launch({"xdg-open", folder.string()}); }

}  // namespace rizuvira::engine
