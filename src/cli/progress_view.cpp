#include "cli/progress_view.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

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

void ProgressView::Update(const std::string& item_name, int item_number, int item_count,
                          const engine::RunProgress& progress) {
    if (mode_ == Mode::kTerminal) {
        const std::string line =
            ProgressLine(item_name, item_number, item_count, progress, TerminalColumns(terminal_));
        std::fprintf(terminal_, "\r%s\x1b[K", line.c_str());
        std::fflush(terminal_);
        line_open_ = true;
    } else if (mode_ == Mode::kJson) {
        std::fprintf(
            out_,
            "{\"event\": \"progress\", \"item\": %s, \"item_number\": %d, \"items\": %d, "
            "\"item_permille\": %d, \"batch_permille\": %d, \"elapsed_ms\": %lld, \"elapsed\": %s, "
            "\"remaining_ms\": %lld, \"remaining\": %s, \"position_s\": %.3f, \"duration_s\": "
            "%.3f, "
            "\"position\": %s}\n",
            JsonString(item_name).c_str(), item_number, item_count, progress.item_bar,
            progress.batch_bar, static_cast<long long>(progress.elapsed_ms),
            JsonString(progress.elapsed_text).c_str(),
            static_cast<long long>(progress.remaining_ms),
            JsonString(progress.remaining_text).c_str(), progress.position_s, progress.duration_s,
            JsonString(progress.position_text).c_str());
        std::fflush(out_);
    }
}

void ProgressView::Interrupt() {
    if (line_open_) std::fputc('\n', terminal_);
    line_open_ = false;
}

void ProgressView::FileFinished(const engine::FinishedFile& file) {
    Interrupt();
    if (mode_ == Mode::kJson) {
        std::fprintf(out_, "{\"event\": \"file\", \"path\": %s, \"ok\": %s, \"seconds\": %.3f%s}\n",
                     JsonString(file.path.string()).c_str(), file.ok ? "true" : "false",
                     file.seconds,
                     file.cancelled ? ", \"cancelled\": true, \"partial\": true" : "");
    } else if (file.cancelled) {
        std::fprintf(out_, "%s (cancelled: partial file)\n", file.path.c_str());
    } else {
        std::fprintf(out_, "%s\n", file.path.c_str());
    }
    std::fflush(out_);
}

void ProgressView::Skipped(const std::filesystem::path& existing) {
    Interrupt();
    if (mode_ == Mode::kJson) {
        std::fprintf(out_, "{\"event\": \"skipped\", \"path\": %s, \"reason\": \"exists\"}\n",
                     JsonString(existing.string()).c_str());
        std::fflush(out_);
    } else if (mode_ != Mode::kQuiet) {
        std::fprintf(terminal_, "%s exists: skipped\n", existing.c_str());
    }
}

void ProgressView::Done(int converted_files, int failed_items, bool cancelled,
                        int skipped_existing) {
    Interrupt();
    if (mode_ == Mode::kJson) {
        std::string skipped;
        if (skipped_existing >= 0)
            skipped = ", \"skipped_existing\": " + std::to_string(skipped_existing);
        std::fprintf(
            out_,
            "{\"event\": \"done\", \"files\": %d, \"failed_items\": %d, \"cancelled\": %s%s}\n",
            converted_files, failed_items, cancelled ? "true" : "false", skipped.c_str());
        std::fflush(out_);
    }
}

}  // namespace rizuvira::cli
