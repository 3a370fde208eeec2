// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/optical_drives.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "dvd/dvd_access.h"

namespace rizuvira::app {

namespace fs = std::filesystem;

namespace {

// The mount table's escapes: a space is \040, a tab \011, a backslash \134.
std::string Unescape(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() &&
            std::all_of(field.begin() + i + 1, field.begin() + i + 4,
                        [](char c) { return c >= '0' && c <= '7'; })) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

}  // namespace

std::vector<std::string> OpticalDrives(const fs::path& dev_folder, const std::string& mounts) {
    std::vector<std::pair<long, std::string>> devices;
    std::error_code error;
    for (fs::directory_iterator it(dev_folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() < 3 || name.compare(0, 2, "sr") != 0) continue;
        if (!std::all_of(name.begin() + 2, name.end(),
                         [](unsigned char c) { return std::isdigit(c); }))
            continue;
        devices.emplace_back(std::stol(name.substr(2)), it->path().string());
    }
    std::sort(devices.begin(), devices.end());
    std::vector<std::string> drives;
    for (auto& device : devices) drives.push_back(std::move(device.second));

    std::istringstream lines(mounts);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string source, target, type;
        if (!(fields >> source >> target >> type)) continue;
        if (type != "iso9660" && type != "udf") continue;
        std::string point = Unescape(target);
        if (std::find(drives.begin(), drives.end(), point) == drives.end())
            drives.push_back(std::move(point));
    }
    return drives;
}

std::vector<std::string> OpticalDrives() {
    std::ifstream file("/proc/self/mounts");
    const std::string mounts((std::istreambuf_iterator<char>(file)),
                             std::istreambuf_iterator<char>());
    return OpticalDrives("/dev", mounts);
}

std::vector<Drive> ListDrives() {
    std::vector<Drive> drives;
    for (std::string& path : OpticalDrives()) {
        std::string volume = dvd::DiscVolumeName(path);
        drives.push_back({std::move(path), std::move(volume)});
    }
    return drives;
}

std::string DriveText(const Drive& drive) {
    return drive.path + " (" + (drive.volume.empty() ? "no disc" : drive.volume) + ")";
}

}  // namespace rizuvira::app
