#include "app/data_files.h"

#include <system_error>

namespace rizuvira::app {

std::filesystem::path ProfileCatalogueFile(const std::string& given) {
    if (!given.empty()) return given;
    std::error_code error;
    if (std::filesystem::exists("Format.xml", error)) return "Format.xml";
    return DataFile("Format.xml");
}

std::filesystem::path DataFile(const std::string& name) { return std::filesystem::path(RIZUVIRA_DATA_DIR) / name; }

}  // namespace rizuvira::app
