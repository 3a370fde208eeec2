// SPDX-License-Identifier: GPL-2.0-or-later
// The JSON lines of `rizuvira-cli convert --json`: one object a line on
// standard output, in the schema docs/json.md describes. Every event names
// the disc and, where it is about one, the item (its title, chapters, name
// and output file); numbers a user reads count from 1.
//
// Threads: one at a time (the batch loop's thread, or a message sink's).
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/run_controller.h"

namespace rizuvira::cli {

// Raised when an event changes in a way a reader must know of: a field
// removed, renamed or given another meaning. New events and fields keep it.
inline constexpr int kJsonSchemaVersion = 1;

// Which item an event (or a progress line) is about.
struct ItemRef {
    std::string name;              // "Title_01", "Chapter_01_03", "Chapter_01_02-04"
    int title = 0;                 // from 1; 0: no one title
    int chapter = 0;               // from 1; 0: the whole title
    int last_chapter = 0;          // from 1; the same as chapter for one chapter
    std::filesystem::path output;  // the file the item goes to (the merged file)
    std::vector<int> titles;       // a merged file's titles, in order; empty otherwise
};

class JsonEvents {
public:
    JsonEvents(std::FILE* out, std::string disc) : out_(out), disc_(std::move(disc)) {}

    // The first event: the schema's version and the program's.
    void Start(const std::string& program_version);
    // One for each item the run will convert, in order, before the first
    // progress event; `seconds` its (trimmed) length.
    void Queued(const ItemRef& item, int number, int count, double seconds);
    void Skipped(const ItemRef& item);
    void Progress(const ItemRef& item, int number, int count, const engine::RunProgress& progress);
    void File(const engine::FinishedFile& file, const ItemRef& item);
    // A message or a warning; `item` null when it is about none.
    void Message(const char* kind, const std::string& text, const ItemRef* item);
    void Done(int converted_files, int failed_items, bool cancelled, int skipped_existing);

private:
    // Ends the event begun in `line` with the disc and item fields, and writes it.
    void Emit(std::string line, const ItemRef* item);

    std::FILE* out_;
    std::string disc_;
};

}  // namespace rizuvira::cli
