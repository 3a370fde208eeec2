// How the command line shows a running batch: on a terminal two bars (the
// item and the batch), the running and remaining time and the position;
// with --json one line per update and one per finished file; nothing with
// --quiet.
//
// Threads: the batch loop's thread only.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

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

class ProgressView {
public:
    enum class Mode { kQuiet, kPlain, kTerminal, kJson };
    ProgressView(Mode mode, std::FILE* out, std::FILE* terminal)
        : mode_(mode), out_(out), terminal_(terminal) {}

    void Update(const std::string& item_name, int item_number, int item_count,
                const engine::RunProgress& progress);
    void FileFinished(const engine::FinishedFile& file);
    // Ends the bar line before a message is printed.
    void Interrupt();
    // An item left out because its file exists (-n): on standard error, or
    // as a JSON event; nothing with --quiet.
    void Skipped(const std::filesystem::path& existing);
    // `skipped_existing`: the items -n left out; -1 without -n.
    void Done(int converted_files, int failed_items, bool cancelled, int skipped_existing = -1);

private:
    Mode mode_;
    std::FILE* out_;
    std::FILE* terminal_;
    bool line_open_ = false;
};

}  // namespace rizuvira::cli
