// SPDX-License-Identifier: GPL-2.0-or-later
// How the command line shows a running batch: on a terminal two bars (the
// item and the batch), the running and remaining time and the position;
// elsewhere a plain line of the same numbers every few seconds; with --json
// the events of json_events.h instead; nothing with --quiet.
//
// Threads: the batch loop's thread only.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/json_events.h"
#include "engine/run_controller.h"

namespace rizuvira::cli {

// The terminal line of one update, at most `columns` - 1 characters wide
// (writing the last column makes some terminals wrap): the bars shrink
// first, then the position, the running time and the batch bar go, and what
// is left is cut.
std::string ProgressLine(const std::string& item_name, int item_number, int item_count,
                         const engine::RunProgress& progress, int columns);

// The width of the terminal behind `terminal` (TIOCGWINSZ), else $COLUMNS,
// else 80.
int TerminalColumns(std::FILE* terminal);

// The line that stands for the terminal's bars where standard error is not
// a terminal (a pipe, a scheduler's log) and in the --log file: the numbers
// without bars, whole.
std::string PlainProgressLine(const std::string& item_name, int item_number, int item_count,
                              const engine::RunProgress& progress);

// A line of the --log file: `text` after the UTC time ("2026-05-01T12:30:05Z ").
std::string LogLine(const std::string& text);

class ProgressView {
public:
    enum class Mode { kQuiet, kPlain, kTerminal, kJson };
    // How often the plain progress line is written, in the run's time.
    static constexpr int64_t kPlainLineIntervalMs = 5000;

    // `out`: the finished files' paths (or the JSON lines); `terminal`:
    // standard error, for the bars, the plain lines and the messages.
    ProgressView(Mode mode, std::FILE* out, std::FILE* terminal, std::string disc)
        : mode_(mode), out_(out), terminal_(terminal), json_(out, std::move(disc)) {}

    // -v: the plan (each item and its file) and each file's times on
    // standard error.
    void SetVerbose(int level) { verbose_ = level; }
    // --log: every message, the plan, the plain progress lines and the
    // finished files, each after its time (not owned; null for none).
    void SetLog(std::FILE* log) { log_ = log; }

    // The start of the JSON lines (their schema's version).
    void Start(const std::string& program_version);
    // An item the run is about to convert (`seconds` long).
    void Queued(const ItemRef& item, int item_number, int item_count, double seconds);
    // Detail for -v and the log.
    void Detail(const std::string& text);
    // A message ("message") or warning ("warning") of the engine: always on
    // standard error, also in the log and as a JSON event. `item` null when
    // it is about no one item.
    void Message(const char* kind, const std::string& text, const ItemRef* item);
    void Update(const ItemRef& item, int item_number, int item_count,
                const engine::RunProgress& progress);
    void FileFinished(const engine::FinishedFile& file, const ItemRef& item);
    // An item left out because its file exists (-n): on standard error, or
    // as a JSON event; nothing with --quiet.
    void Skipped(const ItemRef& item);
    // `skipped_existing`: the items -n left out; -1 without -n.
    void Done(int converted_files, int failed_items, bool cancelled, int skipped_existing = -1);

private:
    // Ends the bar line before a message is printed.
    void Interrupt();
    void Log(const std::string& text);

    Mode mode_;
    std::FILE* out_;
    std::FILE* terminal_;
    JsonEvents json_;
    std::FILE* log_ = nullptr;
    int verbose_ = 0;
    bool line_open_ = false;
    int plain_item_ = 0;  // the item number of the last plain line
    int64_t plain_at_ms_ = 0;
};

}  // namespace rizuvira::cli
