// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/json_events.h"

#include <algorithm>

#include "cli/json_text.h"

namespace rizuvira::cli {
namespace {

std::string NumberOrNull(int value) {
    return value > 0 ? std::to_string(value) : "null";
}

std::string Fixed3(double value) {
    char text[64];
    std::snprintf(text, sizeof(text), "%.3f", value);
    return text;
}

const char* Bool(bool value) {
    return value ? "true" : "false";
}

}  // namespace

void JsonEvents::Emit(std::string line, const ItemRef* item) {
    line += ", \"disc\": " + JsonString(disc_);
    if (item) {
        line += ", \"title\": " + NumberOrNull(item->title) +
                ", \"chapter\": " + NumberOrNull(item->chapter) +
                ", \"last_chapter\": " + NumberOrNull(item->last_chapter) +
                ", \"item\": " + JsonString(item->name) +
                ", \"output\": " + JsonString(item->output.string());
        if (!item->titles.empty()) {
            line += ", \"titles\": [";
            for (size_t i = 0; i < item->titles.size(); ++i)
                line += (i ? ", " : "") + std::to_string(item->titles[i]);
            line += "]";
        }
    } else {
        line +=
            ", \"title\": null, \"chapter\": null, \"last_chapter\": null, \"item\": null, "
            "\"output\": null";
    }
    line += "}\n";
    std::fputs(line.c_str(), out_);
    std::fflush(out_);
}

void JsonEvents::Start(const std::string& program_version) {
    Emit("{\"event\": \"start\", \"schema_version\": " + std::to_string(kJsonSchemaVersion) +
             ", \"program\": \"rizuvira-cli\", \"program_version\": " + JsonString(program_version),
         nullptr);
}

void JsonEvents::Queued(const ItemRef& item, int number, int count, double seconds) {
    Emit("{\"event\": \"queued\", \"item_number\": " + std::to_string(number) +
             ", \"items\": " + std::to_string(count) + ", \"seconds\": " + Fixed3(seconds),
         &item);
}

void JsonEvents::Skipped(const ItemRef& item) {
    Emit("{\"event\": \"skipped\", \"path\": " + JsonString(item.output.string()) +
             ", \"reason\": \"exists\"",
         &item);
}

void JsonEvents::Progress(const ItemRef& item, int number, int count,
                          const engine::RunProgress& progress) {
    Emit("{\"event\": \"progress\", \"item_number\": " + std::to_string(number) + ", \"items\": " +
             std::to_string(count) + ", \"item_permille\": " + std::to_string(progress.item_bar) +
             ", \"batch_permille\": " + std::to_string(progress.batch_bar) +
             ", \"elapsed_ms\": " + std::to_string(progress.elapsed_ms) +
             ", \"elapsed\": " + JsonString(progress.elapsed_text) +
             ", \"remaining_ms\": " + std::to_string(progress.remaining_ms) +
             ", \"remaining\": " + JsonString(progress.remaining_text) + ", \"position_s\": " +
             Fixed3(progress.position_s) + ", \"duration_s\": " + Fixed3(progress.duration_s) +
             ", \"position\": " + JsonString(progress.position_text),
         &item);
}

void JsonEvents::File(const engine::FinishedFile& file, const ItemRef& item) {
    Emit("{\"event\": \"file\", \"path\": " + JsonString(file.path.string()) +
             ", \"ok\": " + Bool(file.ok) + ", \"seconds\": " + Fixed3(file.seconds) +
             ", \"cancelled\": " + Bool(file.cancelled) + ", \"partial\": " + Bool(file.cancelled),
         &item);
}

void JsonEvents::Message(const char* kind, const std::string& text, const ItemRef* item) {
    Emit(std::string("{\"event\": \"") + kind + "\", \"text\": " + JsonString(text), item);
}

void JsonEvents::Done(int converted_files, int failed_items, bool cancelled, int skipped_existing) {
    Emit("{\"event\": \"done\", \"files\": " + std::to_string(converted_files) +
             ", \"failed_items\": " + std::to_string(failed_items) +
             ", \"cancelled\": " + Bool(cancelled) +
             ", \"skipped_existing\": " + std::to_string(std::max(skipped_existing, 0)),
         nullptr);
}

}  // namespace rizuvira::cli
