// Where the program finds the files it ships beside itself (Format.xml,
// Set.xml, the help page).
#pragma once

#include <filesystem>
#include <string>

namespace rizuvira::app {

// The profile catalogue to read: `given` when not empty, else Format.xml in
// the working directory when there is one, else the one shipped with the
// program.
std::filesystem::path ProfileCatalogueFile(const std::string& given = {});

// A file of the program's data folder.
std::filesystem::path DataFile(const std::string& name);

}  // namespace rizuvira::app
