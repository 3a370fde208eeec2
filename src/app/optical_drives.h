// SPDX-License-Identifier: GPL-2.0-or-later
// The optical drives "Load DVD" offers, with the volume name of the disc in
// each.
//
// Threads: any; nothing shared.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace rizuvira::app {

// The drives a user can load a whole disc from: the block devices named
// sr0, sr1, ... in `dev_folder` (in number order), then the mount points of
// the disc file systems (iso9660, udf) listed in `mounts` (the text of
// /proc/self/mounts; octal escapes such as \040 are decoded).
std::vector<std::string> OpticalDrives(const std::filesystem::path& dev_folder,
                                       const std::string& mounts);
// The same for this machine (/dev and /proc/self/mounts).
std::vector<std::string> OpticalDrives();

// A drive of this machine and the volume name of the disc in it (empty when
// the drive holds no readable disc).
struct Drive {
    std::string path;
    std::string volume;
};
std::vector<Drive> ListDrives();

// How a drive reads in a list: "/dev/sr0 (MY_MOVIE)", or "/dev/sr0 (no disc)".
std::string DriveText(const Drive& drive);

}  // namespace rizuvira::app
