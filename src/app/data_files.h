// SPDX-License-Identifier: GPL-2.0-or-later
// Where the program finds the files it ships beside itself (Format.xml,
// Set.xml, the help page, the skin pictures).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace rizuvira::app {

// The folders searched for the program's data, in order: the working
// directory, "../share/rizuvira" beside the running executable, "rizuvira"
// in each folder of $XDG_DATA_DIRS (default /usr/local/share:/usr/share),
// and last the data folder of the build tree the program was built in.
std::vector<std::filesystem::path> DataFolders();

// `name` (which may hold a folder: "skin/play.png") in the first data folder
// that has it; the build tree's path when none has it, so that a message can
// name what is missing.
std::filesystem::path DataFile(const std::string& name);

// The environment variable that names the profile catalogue to read.
inline constexpr const char* kCatalogueVariable = "RIZUVIRA_CATALOGUE";

// The profile catalogue to read: `given` when not empty, else the file
// $RIZUVIRA_CATALOGUE names, else the first Format.xml of the data folders
// other than the working directory (the build tree's when none has one).
std::filesystem::path ProfileCatalogueFile(const std::string& given = {});

}  // namespace rizuvira::app
