// SPDX-License-Identifier: GPL-2.0-or-later
// The terminal progress line fits the terminal, giving up the bars' width
// before anything else.
#include <gtest/gtest.h>

#include "cli/progress_view.h"

namespace rizuvira::cli {
namespace {

engine::RunProgress Progress() {
    engine::RunProgress progress;
    progress.item_bar = 425;
    progress.batch_bar = 138;
    progress.elapsed_text = "00:00:12";
    progress.remaining_text = "00:01:03";
    progress.position_text = "00:00:25/00:01:00";
    return progress;
}

TEST(ProgressLine, FitsTheTerminalAndShrinksTheBarsFirst) {
    const engine::RunProgress progress = Progress();
    // Wide enough for everything: two bars of 20.
    const std::string wide = ProgressLine("Title_01", 1, 3, progress, 200);
    EXPECT_EQ(wide,
              "Title_01 (1/3) [########------------]  42% batch [##------------------]  13% "
              "elapsed 00:00:12 left 00:01:03 00:00:25/00:01:00");
    for (int columns = 10; columns <= 200; ++columns) {
        const std::string line = ProgressLine("Title_01", 1, 3, progress, columns);
        EXPECT_LT(line.size(), static_cast<size_t>(columns)) << columns << ": " << line;
    }
    // 80 columns keep both bars, narrower, and every number but the position.
    const std::string standard = ProgressLine("Title_01", 1, 3, progress, 80);
    for (const char* part :
         {"Title_01 (1/3)", "42%", "batch", "13%", "elapsed 00:00:12", "left 00:01:03", "["})
        EXPECT_NE(standard.find(part), std::string::npos) << part << " in " << standard;
    // Narrow: the percentages and the time left stay longest.
    const std::string narrow = ProgressLine("Title_01", 1, 3, progress, 40);
    EXPECT_EQ(narrow, "Title_01 (1/3)  42% left 00:01:03");
}

TEST(ProgressLine, PlainLineHoldsEveryNumberWithoutBars) {
    EXPECT_EQ(PlainProgressLine("Title_01", 1, 3, Progress()),
              "Title_01 (1/3)  42% batch  13% elapsed 00:00:12 left 00:01:03 00:00:25/00:01:00");
}

}  // namespace
}  // namespace rizuvira::cli
