#include "cli/progress_view.h"

#include "cli/json_text.h"

namespace rizuvira::cli {
namespace {

std::string Bar(int permille, int width) {
    const int filled = permille * width / 1000;
    return std::string(filled, '#') + std::string(width - filled, '-');
}

}  // namespace

void ProgressView::Update(const std::string& item_name, int item_number, int item_count,
                          const engine::RunProgress& progress) {
    if (mode_ == Mode::kTerminal) {
        std::fprintf(terminal_, "\r%s (%d/%d) [%s] %3d%%  batch [%s] %3d%%  elapsed %s  left %s  %s\x1b[K",
                     item_name.c_str(), item_number, item_count, Bar(progress.item_bar, 20).c_str(),
                     progress.item_bar / 10, Bar(progress.batch_bar, 20).c_str(), progress.batch_bar / 10,
                     progress.elapsed_text.c_str(),
                     progress.remaining_text.empty() ? "--:--:--" : progress.remaining_text.c_str(),
                     progress.position_text.c_str());
        std::fflush(terminal_);
        line_open_ = true;
    } else if (mode_ == Mode::kJson) {
        std::fprintf(out_,
                     "{\"event\": \"progress\", \"item\": %s, \"item_number\": %d, \"items\": %d, "
                     "\"item_permille\": %d, \"batch_permille\": %d, \"elapsed_ms\": %lld, \"elapsed\": %s, "
                     "\"remaining_ms\": %lld, \"remaining\": %s, \"position_s\": %.3f, \"duration_s\": %.3f, "
                     "\"position\": %s}\n",
                     JsonString(item_name).c_str(), item_number, item_count, progress.item_bar, progress.batch_bar,
                     static_cast<long long>(progress.elapsed_ms), JsonString(progress.elapsed_text).c_str(),
                     static_cast<long long>(progress.remaining_ms), JsonString(progress.remaining_text).c_str(),
                     progress.position_s, progress.duration_s, JsonString(progress.position_text).c_str());
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

void ProgressView::Done(int converted_files, int failed_items, bool cancelled) {
    Interrupt();
    if (mode_ == Mode::kJson) {
        std::fprintf(out_, "{\"event\": \"done\", \"files\": %d, \"failed_items\": %d, \"cancelled\": %s}\n",
                     converted_files, failed_items, cancelled ? "true" : "false");
        std::fflush(out_);
    }
}

}  // namespace rizuvira::cli
