// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/data_files.h"

#include <cstdlib>
#include <sstream>
#include <system_error>

namespace rizuvira::app {

namespace fs = std::filesystem;

std::vector<fs::path> DataFolders() {
    std::vector<fs::path> folders{fs::path(".")};
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (!error) folders.push_back(executable.parent_path().parent_path() / "share" / "rizuvira");
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::istringstream list(dirs != nullptr && *dirs != '\0' ? dirs
                                                             : "/usr/local/share:/usr/share");
    for (std::string dir; std::getline(list, dir, ':');)
        if (!dir.empty()) folders.push_back(fs::path(dir) / "rizuvira");
    folders.push_back(RIZUVIRA_BUILD_DATA_DIR);
    return folders;
}

fs::path DataFile(const std::string& name) {
    std::error_code error;
    for (const fs::path& folder : DataFolders()) {
        const fs::path file = folder / name;
        if (fs::exists(file, error)) return folder == "." ? fs::path(name) : file;
    }
    return fs::path(RIZUVIRA_BUILD_DATA_DIR) / name;
}

fs::path ProfileCatalogueFile(const std::string& given) {
    if (!given.empty()) return given;
    if (const char* named = std::getenv(kCatalogueVariable); named != nullptr && *named != '\0')
        return named;
    // Not the working folder: a Format.xml that happens to lie there must
    // not replace the program's profiles unasked.
    std::error_code error;
    for (const fs::path& folder : DataFolders()) {
        if (folder == ".") continue;
        if (fs::exists(folder / "Format.xml", error)) return folder / "Format.xml";
    }
    return fs::path(RIZUVIRA_BUILD_DATA_DIR) / "Format.xml";
}

}  // namespace rizuvira::app
