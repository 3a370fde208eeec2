// SPDX-License-Identifier: GPL-2.0-or-later
// The five user settings that persist between runs (and the folder the
// desktop program's file windows open in), and the file that keeps them: an
// INI-style text file `settings.ini` under the user's configuration folder
// ($XDG_CONFIG_HOME, else $HOME/.config) in a folder named after the
// application title.
//
// File format: one `name=value` line per setting under a `[General]`
// heading; text values escape backslash, newline and carriage return as
// `\\`, `\n`, `\r`; `cpu_usage` is a decimal 32-bit integer. Unknown lines
// are ignored (and dropped on the next write).
//
// Threads: one owner (the main window or the command line); not locked.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace rizuvira::core {

inline constexpr const char* kActionNone = "No Action";
inline constexpr const char* kActionShutDown = "Shut Down";
// Text values longer than this (in bytes: a path as long as the system
// takes) are not taken from the file.
inline constexpr size_t kMaxSettingChars = 4096;

struct Settings {
    std::string out_folder;            // strOutFolder
    std::string snap_folder;           // strSnapFolder
    std::string image_type = "BMP";    // strImageType: "BMP", "JPEG", "GIF"
    std::string action = kActionNone;  // strAction: "No Action", "Shut Down"
    int32_t cpu_usage = 50;            // cpu_usage, percent: 50..100 offered
    // strDiscFolder: where the desktop program's file windows open, the
    // folder that held the disc opened last; empty: not yet known (the file
    // has no such line until one is stored).
    std::string disc_folder;

    // Encoder and decoder threads for cpu_usage: cores × percent / 100, at
    // least one.
    int ThreadCount() const;
};

// The defaults: the user's Videos and Pictures folders (from
// user-dirs.dirs, else ~/Videos and ~/Pictures), home when those are
// missing.
Settings DefaultSettings();

// `settings.ini` in the configuration folder of `application_title`.
std::filesystem::path DefaultSettingsFile(const std::string& application_title);

class SettingsStore {
public:
    explicit SettingsStore(std::filesystem::path file);

    // Sets the defaults, then takes every value of the file that is present,
    // fits and has the right type. A missing or unreadable file leaves the
    // defaults. A stored value that is left out is named in problems().
    void Load();

    const Settings& values() const { return values_; }
    // One line per stored value Load could not take, saying what is used
    // instead; empty when every value was taken.
    const std::vector<std::string>& problems() const { return problems_; }
    const std::filesystem::path& file() const { return file_; }

    // Each setter changes the value in memory at once and then rewrites the
    // file: under a lock on its folder, the file is read again, only this
    // value changes in it (so the other values another window or the command
    // line stored meanwhile stay), and it is written whole through a
    // temporary file renamed over it, so a failed write never damages the
    // old file. False when the file could not be written: the new value
    // stays in effect for this run.
    bool SetOutFolder(const std::string& value);
    bool SetSnapFolder(const std::string& value);
    bool SetImageType(const std::string& value);
    bool SetAction(const std::string& value);
    bool SetCpuUsage(int32_t value);
    bool SetDiscFolder(const std::string& value);

private:
    // Applies `change` to values_ and to the values the file holds now, and
    // writes those.
    bool Update(void (*change)(Settings& to, const Settings& from));

    std::filesystem::path file_;
    Settings values_;
    std::vector<std::string> problems_;
};

}  // namespace rizuvira::core
