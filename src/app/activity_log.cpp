// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/activity_log.h"

#include <fstream>
#include <system_error>

#include "app/conversion_request.h"

namespace rizuvira::app {
namespace {

namespace fs = std::filesystem;

std::string Field(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return out;
}

std::string TimeText(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char text[32];
    if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0) return {};
    return text;
}

void ReadFile(const fs::path& path, std::vector<LogEntry>* entries) {
    std::ifstream in(path, std::ios::binary);
    LogEntry entry;
    for (std::string line; std::getline(in, line);)
        if (ParseLogLine(line, &entry)) entries->push_back(entry);
}

}  // namespace

fs::path ActivityLogFile(const fs::path& settings_file) {
    return settings_file.parent_path() / kActivityLogFileName;
}

std::string FormatLogLine(const LogEntry& entry) {
    return Field(entry.time) + '\t' + (entry.warning ? "warning" : "message") + '\t' +
           Field(entry.disc) + '\t' + Field(entry.title) + '\t' + Field(entry.text);
}

bool ParseLogLine(std::string_view line, LogEntry* entry) {
    std::string_view fields[5];
    for (int i = 0; i < 4; ++i) {
        const size_t tab = line.find('\t');
        if (tab == std::string_view::npos) return false;
        fields[i] = line.substr(0, tab);
        line.remove_prefix(tab + 1);
    }
    fields[4] = line;
    if (fields[1] != "message" && fields[1] != "warning") return false;
    *entry = {std::string(fields[0]), fields[1] == "warning", std::string(fields[2]),
              std::string(fields[3]), std::string(fields[4])};
    return true;
}

ActivityLog::ActivityLog(fs::path file, core::MessageSink* forward,
                         std::function<std::time_t()> now)
    : file_(std::move(file)), forward_(forward), now_(std::move(now)) {}

void ActivityLog::SetContext(const std::string& disc_path, const std::string& title) {
    const std::lock_guard lock(mutex_);
    disc_ = disc_path.empty() ? std::string() : DiscFileName(disc_path);
    title_ = title;
}

void ActivityLog::ShowMessage(const std::string& text) {
    {
        const std::lock_guard lock(mutex_);
        Append({{}, false, disc_, title_, text});
    }
    if (forward_ != nullptr) forward_->ShowMessage(text);
}

void ActivityLog::ShowWarning(const std::string& text) {
    {
        const std::lock_guard lock(mutex_);
        Append({{}, true, disc_, title_, text});
    }
    if (forward_ != nullptr) forward_->ShowWarning(text);
}

void ActivityLog::Record(const std::string& text, bool warning, const std::string& disc_path,
                         const std::string& title) {
    const std::lock_guard lock(mutex_);
    Append({{}, warning, disc_path.empty() ? std::string() : DiscFileName(disc_path), title, text});
}

void ActivityLog::Append(LogEntry entry) {
    entry.time = TimeText(now_ ? now_() : std::time(nullptr));
    std::error_code code;
    fs::create_directories(file_.parent_path(), code);
    const uintmax_t size = fs::file_size(file_, code);
    if (!code && size >= static_cast<uintmax_t>(kActivityLogBytes)) {
        fs::path older = file_;
        older += ".1";
        fs::rename(file_, older, code);
    }
    // A log that cannot be written loses the entry; the message is still shown.
    std::ofstream out(file_, std::ios::binary | std::ios::app);
    out << FormatLogLine(entry) << '\n';
}

std::vector<LogEntry> ActivityLog::Read() const {
    const std::lock_guard lock(mutex_);
    std::vector<LogEntry> entries;
    fs::path older = file_;
    older += ".1";
    ReadFile(older, &entries);
    ReadFile(file_, &entries);
    return entries;
}

}  // namespace rizuvira::app
