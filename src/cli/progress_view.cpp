// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/progress_view.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "cli/json_text.h"

namespace rizuvira::cli {
namespace {

constexpr int kWidestBar = 20;
constexpr int kNarrowestBar = 6;

std::string Bar(int permille, int width) {
    const int filled = std::clamp(permille, 0, 1000) * width / 1000;
    return "[" + std::string(filled, '#') + std::string(width - filled, '-') + "]";
}

std::string Percent(int permille) {
    char text[16];
    std::snprintf(text, sizeof(text), "%3d%%", std::clamp(permille, 0, 1000) / 10);
    return text;
}

}  // namespace

std::string ProgressLine(const std::string& item_name, int item_number, int item_count,
                         const engine::RunProgress& progress, int columns) {
    const size_t room = static_cast<size_t>(std::max(columns - 1, 1));
    const std::string head =
        item_name + " (" + std::to_string(item_number) + "/" + std::to_string(item_count) + ")";
    const std::string left =
        "left " + (progress.remaining_text.empty() ? "--:--:--" : progress.remaining_text);
    // From the fullest line to the barest; the first that fits is shown.
    struct Parts {
        bool batch, elapsed, position;
    };
    for (const bool bars : {true, false}) {
        for (const Parts parts : {Parts{true, true, true}, Parts{true, true, false},
                                  Parts{true, false, false}, Parts{false, false, false}}) {
            for (int bar = bars ? kWidestBar : 0; bar >= (bars ? kNarrowestBar : 0); --bar) {
                auto with_bar = [&](int permille) {
                    return (bar > 0 ? Bar(permille, bar) + " " : "") + Percent(permille);
                };
                std::string line = head + " " + with_bar(progress.item_bar);
                if (parts.batch) line += " batch " + with_bar(progress.batch_bar);
                if (parts.elapsed) line += " elapsed " + progress.elapsed_text;
                line += " " + left;
                if (parts.position) line += " " + progress.position_text;
                if (line.size() <= room) return line;
            }
        }
    }
    std::string line = head + " " + Percent(progress.item_bar) + " " + left;
    if (line.size() > room) {
        size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
            --cut;  // whole UTF-8 characters
        line.resize(cut);
    }
    return line;
}

int TerminalColumns(std::FILE* terminal) {
    winsize size{};
    if (terminal && ioctl(fileno(terminal), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    if (const char* columns = std::getenv("COLUMNS")) {
        const int value = std::atoi(columns);
        if (value > 0) return value;
    }
    return 80;
}

std::string PlainProgressLine(const std::string& item_name, int item_number, int item_count,
                              const engine::RunProgress& progress) {
    return item_name + " (" + std::to_string(item_number) + "/" + std::to_string(item_count) +
           ") " + Percent(progress.item_bar) + " batch " + Percent(progress.batch_bar) +
           " elapsed " + progress.elapsed_text + " left " +
           (progress.remaining_text.empty() ? "--:--:--" : progress.remaining_text) + " " +
           progress.position_text;
}

std::string LogLine(const std::string& text) {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof(stamp), "%Y-%m-%dT%H:%M:%SZ ", &utc);
    return stamp + text + "\n";
}

void ProgressView::Log(const std::string& text) {
    if (!log_) return;
    std::fputs(LogLine(text).c_str(), log_);
    std::fflush(log_);
}

void ProgressView::Start(const std::string& program_version) {
    if (mode_ == Mode::kJson) json_.Start(program_version);
}

void ProgressView::Queued(const ItemRef& item, int item_number, int item_count, double seconds) {
    if (mode_ == Mode::kJson) json_.Queued(item, item_number, item_count, seconds);
    char length[32];
    std::snprintf(length, sizeof(length), "%.3f s", seconds);
    Detail("item " + std::to_string(item_number) + "/" + std::to_string(item_count) + ": " +
           item.name + " (" + length + ") -> " + item.output.string());
}

void ProgressView::Detail(const std::string& text) {
    Log(text);
    if (verbose_ <= 0 || mode_ == Mode::kQuiet) return;
    Interrupt();
    std::fprintf(terminal_, "%s\n", text.c_str());
    std::fflush(terminal_);
}

void ProgressView::Message(const char* kind, const std::string& text, const ItemRef* item) {
    Interrupt();
    std::fprintf(terminal_, "%s\n", text.c_str());
    std::fflush(terminal_);
    Log(text);
    if (mode_ == Mode::kJson) json_.Message(kind, text, item);
}

void ProgressView::Update(const ItemRef& item, int item_number, int item_count,
                          const engine::RunProgress& progress) {
    // A plain line when an item starts and every few seconds after.
    const bool plain_due =
        item_number != plain_item_ || progress.elapsed_ms - plain_at_ms_ >= kPlainLineIntervalMs;
    if (plain_due) {
        plain_item_ = item_number;
        plain_at_ms_ = progress.elapsed_ms;
        const std::string line = PlainProgressLine(item.name, item_number, item_count, progress);
        Log(line);
        if (mode_ == Mode::kPlain) {
            std::fprintf(terminal_, "%s\n", line.c_str());
            std::fflush(terminal_);
        }
    }
    if (mode_ == Mode::kTerminal) {
        const std::string line =
            ProgressLine(item.name, item_number, item_count, progress, TerminalColumns(terminal_));
        std::fprintf(terminal_, "\r%s\x1b[K", line.c_str());
        std::fflush(terminal_);
        line_open_ = true;
    } else if (mode_ == Mode::kJson) {
        json_.Progress(item, item_number, item_count, progress);
    }
}

void ProgressView::Interrupt() {
    if (line_open_) std::fputc('\n', terminal_);
    line_open_ = false;
}

void ProgressView::FileFinished(const engine::FinishedFile& file, const ItemRef& item) {
    Interrupt();
    char seconds[32];
    std::snprintf(seconds, sizeof(seconds), "%.3f s", file.seconds);
    const std::string how = file.cancelled ? "cancelled: partial file" : file.ok ? "ok" : "failed";
    Detail("file " + file.path.string() + ": " + seconds + " of the source, " + how);
    if (mode_ == Mode::kJson) {
        json_.File(file, item);
    } else if (file.cancelled) {
        std::fprintf(out_, "%s (cancelled: partial file)\n", file.path.c_str());
    } else {
        std::fprintf(out_, "%s\n", file.path.c_str());
    }
    std::fflush(out_);
}

void ProgressView::Skipped(const ItemRef& item) {
    Interrupt();
    Log(item.output.string() + " exists: skipped");
    if (mode_ == Mode::kJson) {
        json_.Skipped(item);
    } else if (mode_ != Mode::kQuiet) {
        std::fprintf(terminal_, "%s exists: skipped\n", item.output.c_str());
    }
}

void ProgressView::Done(int converted_files, int failed_items, bool cancelled,
                        int skipped_existing) {
    Interrupt();
    std::string summary = std::to_string(converted_files) + " file" +
                          (converted_files == 1 ? "" : "s") + " written, " +
                          std::to_string(failed_items) + " item" + (failed_items == 1 ? "" : "s") +
                          " failed";
    if (skipped_existing >= 0)
        summary += ", " + std::to_string(skipped_existing) + " skipped (their files exist)";
    if (cancelled) summary += ", cancelled";
    Detail(summary);
    if (mode_ == Mode::kJson)
        json_.Done(converted_files, failed_items, cancelled, skipped_existing);
}

}  // namespace rizuvira::cli
