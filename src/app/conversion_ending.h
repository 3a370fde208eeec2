// SPDX-License-Identifier: GPL-2.0-or-later
// How a batch ended, in the words the finished window shows: every item
// converted, some failed, every one failed, or the user cancelled. Decided
// from the run's numbers alone, so the window only shows it.
#pragma once

#include <string>
#include <vector>

#include "engine/run_controller.h"

namespace rizuvira::app {

enum class Ending {
    kAllConverted,
    kSomeFailed,
    kAllFailed,
    kCancelled,
};

// What the run reports when it has ended.
struct RunResult {
    int items = 0;         // rows of the batch
    int failed_items = 0;  // as the run controller counts them
    bool cancelled = false;
    std::vector<engine::FinishedFile> files;
    // The messages the run showed, in order: why items failed, and the
    // warnings of items that still converted.
    std::vector<std::string> reasons;
};

struct ConversionEnding {
    Ending ending = Ending::kAllConverted;
    int converted = 0;  // items converted whole (not known after a cancel: 0)
    int failed = 0;
    // In the user's language (app/texts.h).
    std::string headline;              // one sentence: "2 of 5 items could not be converted."
    std::string detail;                // what follows from it: files written, where to look
    std::vector<std::string> reasons;  // every message, in full
};

ConversionEnding DescribeEnding(const RunResult& result);

}  // namespace rizuvira::app
