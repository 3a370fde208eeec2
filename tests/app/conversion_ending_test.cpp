// SPDX-License-Identifier: GPL-2.0-or-later
// What the finished window says, from the numbers a batch ends with.
#include <gtest/gtest.h>

#include "app/conversion_ending.h"
#include "app/texts.h"

namespace rizuvira::app {
namespace {

engine::FinishedFile File(const char* name, bool ok, bool cancelled = false) {
    engine::FinishedFile file;
    file.path = std::filesystem::path("/out") / name;
    file.ok = ok;
    file.cancelled = cancelled;
    return file;
}

TEST(ConversionEndingTest, EveryItemConvertedSaysSoAndCountsItsWarnings) {
    ConversionEnding ending = DescribeEnding({3, 0, false, {File("a.mp4", true)}, {}});
    EXPECT_EQ(ending.ending, Ending::kAllConverted);
    EXPECT_EQ(ending.headline, "Conversion completed.");
    EXPECT_EQ(ending.detail, "All 3 items were converted.");
    ending = DescribeEnding({1, 0, false, {}, {"Title_01: sectors that could not be read"}});
    EXPECT_EQ(ending.ending, Ending::kAllConverted);
    EXPECT_EQ(ending.detail, "The item was converted. 1 warning is listed below.");
    ASSERT_EQ(ending.reasons.size(), 1u);
}

TEST(ConversionEndingTest, SomeFailedSaysHowManyAndKeepsEveryReasonWhole) {
    const std::string reason =
        "Cannot create the output file: /home/user/Videos/a very long folder name/"
        "Title_03.mp4 (Permission denied)";
    const ConversionEnding ending =
        DescribeEnding({5, 2, false, {}, {reason, "Nothing could be converted of Title_04."}});
    EXPECT_EQ(ending.ending, Ending::kSomeFailed);
    EXPECT_EQ(ending.headline, "2 of 5 items could not be converted.");
    EXPECT_EQ(ending.detail, "3 items were converted. The reasons are listed below.");
    EXPECT_EQ(ending.converted, 3);
    ASSERT_EQ(ending.reasons.size(), 2u);
    EXPECT_EQ(ending.reasons[0], reason);
}

TEST(ConversionEndingTest, EveryItemFailedNeverReadsAsASuccess) {
    ConversionEnding ending = DescribeEnding({2, 2, false, {}, {"x", "y"}});
    EXPECT_EQ(ending.ending, Ending::kAllFailed);
    EXPECT_EQ(ending.headline, "None of the 2 items could be converted.");
    EXPECT_EQ(ending.converted, 0);
    // A merged file that fails at its end counts once more than its items.
    ending = DescribeEnding({1, 2, false, {File("a.mp4", false)}, {"x"}});
    EXPECT_EQ(ending.ending, Ending::kAllFailed);
    EXPECT_EQ(ending.headline, "The item could not be converted.");
    EXPECT_EQ(ending.failed, 1);
}

TEST(ConversionEndingTest, ACancelNamesTheFileItCutShort) {
    const ConversionEnding ending = DescribeEnding(
        {3, 1, true, {File("Title_01.mp4", true), File("Title_03.mp4", false, true)}, {}});
    EXPECT_EQ(ending.ending, Ending::kCancelled);
    EXPECT_EQ(ending.headline, "Conversion cancelled.");
    EXPECT_EQ(ending.detail,
              "1 file was finished before it. Title_03.mp4 holds what was converted up to the "
              "cancel.");
}

TEST(ConversionEndingTest, CountsTakeTheNounThatFits) {
    EXPECT_EQ(CountText(0, "1 title", "%1 titles"), "0 titles");
    EXPECT_EQ(CountText(1, "1 title", "%1 titles"), "1 title");
    EXPECT_EQ(CountText(2, "1 title", "%1 titles"), "2 titles");
    EXPECT_EQ(Arg("%2 of %1, %2", 3, "x"), "x of 3, x");
}

}  // namespace
}  // namespace rizuvira::app
