#include "core/settings_store.h"

#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

#include "core/media_file_writer.h"

namespace rizuvira::core {
namespace {

namespace fs = std::filesystem;

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : fallback;
}

fs::path HomeFolder() { return EnvOr("HOME", "/"); }

fs::path ConfigFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') return xdg;
    return HomeFolder() / ".config";
}

// XDG_VIDEOS_DIR="$HOME/Videos" from user-dirs.dirs, when present.
std::string UserDir(const char* key) {
    std::ifstream in(ConfigFolder() / "user-dirs.dirs");
    const std::string prefix = std::string(key) + "=\"";
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) != 0 || line.size() < prefix.size() + 1 || line.back() != '"') continue;
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
        if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else out += c;
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
            case '\\': *out += '\\'; break;
            case 'n': *out += '\n'; break;
            case 'r': *out += '\r'; break;
            default: return false;
        }
    }
    return true;
}

void TakeText(const std::string& raw, std::string* value) {
    std::string text;
    if (Unescape(raw, &text) && text.size() <= kMaxSettingChars) *value = std::move(text);
}

void TakeInteger(const std::string& raw, int32_t* value) {
    int32_t number = 0;
    const char* end = raw.data() + raw.size();
    auto [ptr, error] = std::from_chars(raw.data(), end, number);
    if (error == std::errc() && ptr == end && !raw.empty()) *value = number;
}

}  // namespace

int Settings::ThreadCount() const { return MediaFileWriter::ThreadsForCpuUsage(cpu_usage); }

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
    std::ifstream in(file_, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string name = line.substr(0, equals);
        const std::string raw = line.substr(equals + 1);
        if (name == "strOutFolder") TakeText(raw, &values_.out_folder);
        else if (name == "strSnapFolder") TakeText(raw, &values_.snap_folder);
        else if (name == "strImageType") TakeText(raw, &values_.image_type);
        else if (name == "strAction") TakeText(raw, &values_.action);
        else if (name == "cpu_usage") TakeInteger(raw, &values_.cpu_usage);
    }
}

bool SettingsStore::SetOutFolder(const std::string& value) {
    values_.out_folder = value;
    return Write();
}
bool SettingsStore::SetSnapFolder(const std::string& value) {
    values_.snap_folder = value;
    return Write();
}
bool SettingsStore::SetImageType(const std::string& value) {
    values_.image_type = value;
    return Write();
}
bool SettingsStore::SetAction(const std::string& value) {
    values_.action = value;
    return Write();
}
bool SettingsStore::SetCpuUsage(int32_t value) {
    values_.cpu_usage = value;
    return Write();
}

bool SettingsStore::Write() const {
    std::error_code error;
    fs::create_directories(file_.parent_path(), error);
    std::ostringstream text;
    text << "[General]\n"
         << "strOutFolder=" << Escape(values_.out_folder) << "\n"
         << "strSnapFolder=" << Escape(values_.snap_folder) << "\n"
         << "strImageType=" << Escape(values_.image_type) << "\n"
         << "strAction=" << Escape(values_.action) << "\n"
         << "cpu_usage=" << values_.cpu_usage << "\n";
    fs::path temporary = file_;
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
    fs::rename(temporary, file_, error);
    if (error) {
        fs::remove(temporary, error);
        return false;
    }
    return true;
}

}  // namespace rizuvira::core
