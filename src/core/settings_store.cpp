// SPDX-License-Identifier: GPL-2.0-or-later
#include "core/settings_store.h"

#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

#include "core/file_checks.h"
#include "core/folder_lock.h"
#include "core/media_file_writer.h"

namespace rizuvira::core {
namespace {

namespace fs = std::filesystem;

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : fallback;
}

fs::path HomeFolder() {
    return EnvOr("HOME", "/");
}

fs::path ConfigFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') return xdg;
    return HomeFolder() / ".config";
}

// XDG_VIDEOS_DIR="$HOME/Videos" from user-dirs.dirs, when present.
std::string UserDir(const char* key) {
    const fs::path dirs = ConfigFolder() / "user-dirs.dirs";
    if (!NotAFileReasonIfPresent(dirs).empty()) return {};
    std::ifstream in(dirs);
    const std::string prefix = std::string(key) + "=\"";
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) != 0 || line.size() < prefix.size() + 1 || line.back() != '"')
            continue;
        std::string value = line.substr(prefix.size(), line.size() - prefix.size() - 1);
        if (value.rfind("$HOME", 0) == 0) value = HomeFolder().string() + value.substr(5);
        return value;
    }
    return {};
}

std::string FolderOrHome(const char* key, const char* usual_name) {
    std::error_code error;
    for (const std::string& candidate : {UserDir(key), (HomeFolder() / usual_name).string()}) {
        if (!candidate.empty() && fs::is_directory(candidate, error)) return candidate;
    }
    return HomeFolder().string();
}

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

// False on a dangling or unknown escape.
bool Unescape(const std::string& text, std::string* out) {
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            *out += text[i];
            continue;
        }
        if (++i == text.size()) return false;
        switch (text[i]) {
            case '\\':
                *out += '\\';
                break;
            case 'n':
                *out += '\n';
                break;
            case 'r':
                *out += '\r';
                break;
            default:
                return false;
        }
    }
    return true;
}

// False when the value is damaged or too long.
bool TakeText(const std::string& raw, std::string* value) {
    std::string text;
    if (!Unescape(raw, &text) || text.size() > kMaxSettingChars) return false;
    *value = std::move(text);
    return true;
}

bool TakeInteger(const std::string& raw, int32_t* value) {
    int32_t number = 0;
    const char* end = raw.data() + raw.size();
    auto [ptr, error] = std::from_chars(raw.data(), end, number);
    if (error != std::errc() || ptr != end || raw.empty()) return false;
    *value = number;
    return true;
}

// The values `file` holds, over `values`; the names of those it holds but
// that cannot be taken go to `refused`.
void ReadValues(const fs::path& file, Settings* values, std::vector<std::string>* refused) {
    if (!NotAFileReasonIfPresent(file).empty()) {
        if (refused != nullptr) refused->push_back("");
        return;
    }
    std::ifstream in(file, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string name = line.substr(0, equals);
        const std::string raw = line.substr(equals + 1);
        bool taken = true;
        if (name == "strOutFolder")
            taken = TakeText(raw, &values->out_folder);
        else if (name == "strSnapFolder")
            taken = TakeText(raw, &values->snap_folder);
        else if (name == "strImageType")
            taken = TakeText(raw, &values->image_type);
        else if (name == "strAction")
            taken = TakeText(raw, &values->action);
        else if (name == "cpu_usage")
            taken = TakeInteger(raw, &values->cpu_usage);
        else if (name == "strDiscFolder")
            taken = TakeText(raw, &values->disc_folder);
        if (!taken && refused != nullptr) refused->push_back(name);
    }
}

bool WriteValues(const fs::path& file, const Settings& values) {
    // A named pipe (or anything but a file) is not replaced by the settings.
    if (!NotAFileReasonIfPresent(file).empty()) return false;
    std::error_code error;
    fs::create_directories(file.parent_path(), error);
    std::ostringstream text;
    text << "[General]\n"
         << "strOutFolder=" << Escape(values.out_folder) << "\n"
         << "strSnapFolder=" << Escape(values.snap_folder) << "\n"
         << "strImageType=" << Escape(values.image_type) << "\n"
         << "strAction=" << Escape(values.action) << "\n"
         << "cpu_usage=" << values.cpu_usage << "\n";
    if (!values.disc_folder.empty()) text << "strDiscFolder=" << Escape(values.disc_folder) << "\n";
    fs::path temporary = file;
    temporary += ".tmp." + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << text.str();
        out.flush();
        if (!out) {
            out.close();
            fs::remove(temporary, error);
            return false;
        }
    }
    fs::rename(temporary, file, error);
    if (error) {
        fs::remove(temporary, error);
        return false;
    }
    return true;
}

std::string RefusedText(const std::string& name, const Settings& used) {
    if (name.empty()) return "The settings file is not a file: the defaults are used";
    if (name == "strOutFolder")
        return "The stored output folder cannot be used: " + used.out_folder + " is used instead";
    if (name == "strSnapFolder")
        return "The stored snapshot folder cannot be used: " + used.snap_folder +
               " is used instead";
    return "The stored setting " + name + " cannot be used: its default is used instead";
}

}  // namespace

int Settings::ThreadCount() const {
    return MediaFileWriter::ThreadsForCpuUsage(cpu_usage);
}

Settings DefaultSettings() {
    Settings settings;
    settings.out_folder = FolderOrHome("XDG_VIDEOS_DIR", "Videos");
    settings.snap_folder = FolderOrHome("XDG_PICTURES_DIR", "Pictures");
    return settings;
}

fs::path DefaultSettingsFile(const std::string& application_title) {
    return ConfigFolder() / application_title / "settings.ini";
}

SettingsStore::SettingsStore(fs::path file) : file_(std::move(file)), values_(DefaultSettings()) {}

void SettingsStore::Load() {
    values_ = DefaultSettings();
    problems_.clear();
    std::vector<std::string> refused;
    ReadValues(file_, &values_, &refused);
    for (const std::string& name : refused)
        problems_.push_back(RefusedText(name, values_) + " (" + file_.string() + ")");
}

bool SettingsStore::SetOutFolder(const std::string& value) {
    values_.out_folder = value;
    return Update([](Settings& to, const Settings& from) { to.out_folder = from.out_folder; });
}
bool SettingsStore::SetDiscFolder(const std::string& value) {
    values_.disc_folder = value;
    return Update([](Settings& to, const Settings& from) { to.disc_folder = from.disc_folder; });
}

bool SettingsStore::SetSnapFolder(const std::string& value) {
    values_.snap_folder = value;
    return Update([](Settings& to, const Settings& from) { to.snap_folder = from.snap_folder; });
}
bool SettingsStore::SetImageType(const std::string& value) {
    values_.image_type = value;
    return Update([](Settings& to, const Settings& from) { to.image_type = from.image_type; });
}
bool SettingsStore::SetAction(const std::string& value) {
    values_.action = value;
    return Update([](Settings& to, const Settings& from) { to.action = from.action; });
}
bool SettingsStore::SetCpuUsage(int32_t value) {
    values_.cpu_usage = value;
    return Update([](Settings& to, const Settings& from) { to.cpu_usage = from.cpu_usage; });
}

bool SettingsStore::Update(void (*change)(Settings& to, const Settings& from)) {
    const FolderLock lock(file_.parent_path());
    // What this process holds stands where the file holds nothing usable.
    Settings stored = values_;
    ReadValues(file_, &stored, nullptr);
    change(stored, values_);
    return WriteValues(file_, stored);
}

}  // namespace rizuvira::core
