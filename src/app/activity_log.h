// SPDX-License-Identifier: GPL-2.0-or-later
// The activity log: every message and warning of this run and of the runs
// before it, each with its time, the disc and the title it concerns, kept in
// a file in the settings folder. The file rotates: once it passes
// kActivityLogBytes, it becomes FILE.1 (replacing the older one) and a new
// file starts, so the log keeps the last runs and never grows without bound.
//
// File format: one line per entry, tab-separated: local time
// "YYYY-MM-DD HH:MM:SS", "message" or "warning", disc, title, text; a tab,
// newline or carriage return inside a field is written as a space.
//
// Threads: any; the file and the context are guarded by one mutex.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/messages.h"

namespace rizuvira::app {

inline constexpr const char* kActivityLogFileName = "activity.log";
inline constexpr int64_t kActivityLogBytes = 512 * 1024;

struct LogEntry {
    std::string time;  // "2026-12-08 13:05:01", local time
    bool warning = false;
    std::string disc;   // DiscFileName of the disc; empty: none open
    std::string title;  // "Title_03"; empty: the disc as a whole
    std::string text;

    friend bool operator==(const LogEntry&, const LogEntry&) = default;
};

// The log file beside the settings file.
std::filesystem::path ActivityLogFile(const std::filesystem::path& settings_file);

std::string FormatLogLine(const LogEntry& entry);
// False for a line that is not an entry (too few fields, an unknown kind).
bool ParseLogLine(std::string_view line, LogEntry* entry);

class ActivityLog final : public core::MessageSink {
public:
    // Every message is also passed to `forward` (may be null), the sink
    // that shows it. `now` gives the time (std::time when empty).
    ActivityLog(std::filesystem::path file, core::MessageSink* forward,
                std::function<std::time_t()> now = {});

    // What the next entries concern: the disc opened (its path) and the
    // title ("Title_03"; empty for the disc as a whole).
    void SetContext(const std::string& disc_path, const std::string& title = {});

    // MessageSink: written to the log, then shown by `forward`.
    void ShowMessage(const std::string& text) override;
    void ShowWarning(const std::string& text) override;
    // Written to the log only (a window that shows the message itself),
    // with its own disc and title.
    void Record(const std::string& text, bool warning, const std::string& disc_path,
                const std::string& title);

    // The entries of the rotated file and of the current one, oldest first.
    std::vector<LogEntry> Read() const;
    const std::filesystem::path& file() const { return file_; }

private:
    void Append(LogEntry entry);

    const std::filesystem::path file_;
    core::MessageSink* const forward_;
    const std::function<std::time_t()> now_;
    mutable std::mutex mutex_;
    std::string disc_;   // guarded by mutex_
    std::string title_;  // guarded by mutex_
};

}  // namespace rizuvira::app
