// SPDX-License-Identifier: GPL-2.0-or-later
#include "core/convert_item.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace rizuvira::core {
namespace {

bool SameBlock(const EditSettings& a, const EditSettings& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(ConvertItem, FreshRowConvertsTheWholeTitleWithNeutralSettings) {
    ConvertItem item = MakeTitleItem(4, 60027);
    EXPECT_EQ(item.title_index, 4);
    EXPECT_EQ(item.chapter_index, -1);
    EXPECT_EQ(item.trim_start_ms, 0);
    EXPECT_EQ(item.trim_length_ms, 60027);
    EXPECT_EQ(item.edit.zoom_mode, kZoomKeepOriginal);
    EXPECT_EQ(item.edit.crop_left, 0);
    EXPECT_EQ(item.edit.crop_top, 0);
    EXPECT_EQ(item.edit.crop_right, 720);
    EXPECT_EQ(item.edit.crop_bottom, 480);
    EXPECT_EQ(item.edit.volume, 256);
    EXPECT_EQ(item.edit.brightness, 128);
    EXPECT_EQ(item.edit.saturation, 64);
    EXPECT_EQ(item.edit.hue_degrees, 0);
}

// Brightness set while editing row 2 reaches rows 1 and 3 when they alone
// are converted; trims stay per row.
TEST(CurrentEditSettings, EditorChangesApplyToEveryConvertedRow) {
    std::vector<ConvertItem> rows = {MakeTitleItem(0, 90000), MakeTitleItem(1, 50000),
                                     MakeTitleItem(2, 70000)};
    CurrentEditSettings current;
    current.OnDiscLoaded(&rows[0]);

    ConvertItem& row2 = rows[1];
    row2.edit.hue_degrees = 99;  // what the row held is not where the editor starts
    current.OnEditorOpen(row2);
    EXPECT_TRUE(SameBlock(row2.edit, kDefaultEditSettings));
    row2.edit.brightness = 200;
    row2.trim_start_ms = 10000;
    row2.trim_length_ms = 10000;
    current.OnEditorClosed(row2);

    ConvertItem* checked[] = {&rows[0], &rows[2]};
    current.ApplyToRows(checked);
    EXPECT_EQ(rows[0].edit.brightness, 200);
    EXPECT_EQ(rows[2].edit.brightness, 200);
    EXPECT_EQ(rows[0].trim_start_ms, 0);
    EXPECT_EQ(rows[0].trim_length_ms, 90000);
    EXPECT_EQ(rows[2].trim_length_ms, 70000);

    // A disc without title 0 listed keeps the block; one with it resets it.
    current.OnDiscLoaded(nullptr);
    EXPECT_EQ(current.Get().brightness, 200);
    ConvertItem fresh = MakeTitleItem(0, 1000);
    current.OnDiscLoaded(&fresh);
    EXPECT_TRUE(SameBlock(current.Get(), kDefaultEditSettings));
}

}  // namespace
}  // namespace rizuvira::core
