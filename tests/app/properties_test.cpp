// SPDX-License-Identifier: GPL-2.0-or-later
// The properties window's texts from a stream list.
#include "app/properties.h"

#include <gtest/gtest.h>

namespace rizuvira::app {

namespace {

using rizuvira::app::MakePropertiesTexts;
using rizuvira::engine::StreamInfoList;

StreamInfoList Streams(int16_t width, int16_t height, int32_t video_bps, int32_t duration_100ns,
                       uint16_t channels) {
    StreamInfoList list{};
    list.video_count = 1;
    list.video[0] = {0, width, height, video_bps, duration_100ns};
    list.audio_count = 1;
    list.audio[0] = {1, 0xBD80, 48000, channels, 192000};
    return list;
}

TEST(PropertiesTexts, RowsUseTheirFormatsAndUnknownValuesStayEmpty) {
    const auto texts = MakePropertiesTexts(Streams(720, 480, 9800000, 333667, 6));
    EXPECT_EQ(texts.resolution, "720x480");
    EXPECT_EQ(texts.video_bitrate, "9800.00 kbps");
    EXPECT_EQ(texts.frame_rate, "29.970 fps");
    EXPECT_EQ(texts.aspect_ratio, "");
    EXPECT_EQ(texts.audio_bitrate, "192.000 kbps");
    EXPECT_EQ(texts.audio_sample_rate, "48000 Hz");
    EXPECT_EQ(texts.channels, "5.1");
    EXPECT_EQ(MakePropertiesTexts(Streams(720, 576, 0, 400000, 1)).channels, "Channel Mono");
    EXPECT_EQ(MakePropertiesTexts(Streams(720, 576, 0, 400000, 2)).channels, "Channels Stereo");
    EXPECT_EQ(MakePropertiesTexts(Streams(720, 576, 0, 400000, 4)).channels, "");
    // No frame duration known: no frame rate (and no division by zero).
    EXPECT_EQ(MakePropertiesTexts(Streams(720, 576, 0, 0, 2)).frame_rate, "");
    EXPECT_EQ(MakePropertiesTexts(Streams(720, 576, 0, -5, 2)).frame_rate, "");
    StreamInfoList list = Streams(720, 480, 9800000, 333667, 2);
    list.audio_count = 0;
    // Rows of an absent stream stay empty.
    const auto absent = MakePropertiesTexts(list);
    EXPECT_EQ(absent.resolution, "720x480");
    EXPECT_EQ(absent.audio_bitrate + absent.audio_sample_rate + absent.channels, "");
}

}  // namespace

}  // namespace rizuvira::app
