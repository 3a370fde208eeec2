// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/conversion_ending.h"

#include <algorithm>

#include "app/texts.h"

namespace rizuvira::app {

ConversionEnding DescribeEnding(const RunResult& result) {
    ConversionEnding ending;
    ending.reasons = result.reasons;
    const int items = std::max(result.items, 0);
    // A file that fails after its item converted counts once more; never
    // more failures than items.
    ending.failed = std::clamp(result.failed_items, 0, items);
    const std::string look = ending.reasons.empty()
                                 ? std::string()
                                 : " " + Text("ending", "The reasons are listed below.");

    if (result.cancelled) {
        ending.ending = Ending::kCancelled;
        ending.headline = Text("ending", "Conversion cancelled.");
        int finished = 0;
        std::string partial;
        for (const engine::FinishedFile& file : result.files) {
            if (file.cancelled)
                partial = file.path.filename().string();
            else if (file.ok)
                ++finished;
        }
        ending.detail = CountText(finished, Text("ending", "1 file was finished before it."),
                                  Text("ending", "%1 files were finished before it."));
        if (!partial.empty())
            ending.detail +=
                " " + Arg(Text("ending", "%1 holds what was converted up to the cancel."), partial);
        return ending;
    }

    ending.converted = items - ending.failed;
    if (ending.failed == 0) {
        ending.ending = Ending::kAllConverted;
        ending.headline = Text("ending", "Conversion completed.");
        ending.detail = CountText(items, Text("ending", "The item was converted."),
                                  Text("ending", "All %1 items were converted."));
        if (!ending.reasons.empty())
            ending.detail += " " + CountText(static_cast<int>(ending.reasons.size()),
                                             Text("ending", "1 warning is listed below."),
                                             Text("ending", "%1 warnings are listed below."));
        return ending;
    }
    if (ending.converted == 0) {
        ending.ending = Ending::kAllFailed;
        ending.headline = CountText(items, Text("ending", "The item could not be converted."),
                                    Text("ending", "None of the %1 items could be converted."));
        ending.detail = Text("ending", "No file was converted whole.") + look;
        return ending;
    }
    ending.ending = Ending::kSomeFailed;
    ending.headline =
        Arg(Text("ending", "%1 of %2 items could not be converted."), ending.failed, items);
    ending.detail = CountText(ending.converted, Text("ending", "1 item was converted."),
                              Text("ending", "%1 items were converted.")) +
                    look;
    return ending;
}

}  // namespace rizuvira::app
