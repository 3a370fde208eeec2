// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/conversion_ending.h"

#include <algorithm>

namespace rizuvira::app {

std::string CountText(int count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

ConversionEnding DescribeEnding(const RunResult& result) {
    ConversionEnding ending;
    ending.reasons = result.reasons;
    const int items = std::max(result.items, 0);
    // A file that fails after its item converted counts once more; never
    // more failures than items.
    ending.failed = std::clamp(result.failed_items, 0, items);
    const std::string look =
        ending.reasons.empty() ? std::string() : " The reasons are listed below.";

    if (result.cancelled) {
        ending.ending = Ending::kCancelled;
        ending.headline = "Conversion cancelled.";
        int finished = 0;
        std::string partial;
        for (const engine::FinishedFile& file : result.files) {
            if (file.cancelled)
                partial = file.path.filename().string();
            else if (file.ok)
                ++finished;
        }
        ending.detail = CountText(finished, "file was", "files were") + " finished before it.";
        if (!partial.empty())
            ending.detail += " " + partial + " holds what was converted up to the cancel.";
        return ending;
    }

    ending.converted = items - ending.failed;
    if (ending.failed == 0) {
        ending.ending = Ending::kAllConverted;
        ending.headline = "Conversion completed.";
        ending.detail = items == 1 ? std::string("The item was converted.")
                                   : "All " + std::to_string(items) + " items were converted.";
        if (!ending.reasons.empty())
            ending.detail +=
                " " +
                CountText(static_cast<int>(ending.reasons.size()), "warning is", "warnings are") +
                " listed below.";
        return ending;
    }
    if (ending.converted == 0) {
        ending.ending = Ending::kAllFailed;
        ending.headline =
            items == 1 ? "The item could not be converted."
                       : "None of the " + std::to_string(items) + " items could be converted.";
        ending.detail = "No file was converted whole." + look;
        return ending;
    }
    ending.ending = Ending::kSomeFailed;
    ending.headline = std::to_string(ending.failed) + " of " + CountText(items, "item", "items") +
                      " could not be converted.";
    ending.detail = CountText(ending.converted, "item was", "items were") + " converted." + look;
    return ending;
}

}  // namespace rizuvira::app
