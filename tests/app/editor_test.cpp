// SPDX-License-Identifier: GPL-2.0-or-later
// The editor's rules: picture geometry by display aspect, crop limits, the crop tracker, trim by
// range control and by typed times, Reset per page, OK and Cancel.
#include "app/editor.h"

#include <gtest/gtest.h>

#include <cstring>

namespace rizuvira::app {

namespace {

using rizuvira::app::Editor;
using rizuvira::app::EditorPage;
using rizuvira::app::Point;
using rizuvira::app::SourcePicture;
using rizuvira::app::TrackerZone;
using rizuvira::core::ConvertItem;
using rizuvira::core::OutputSettings;
using Side = Editor::CropSide;

constexpr SourcePicture kNtsc43{720, 480, 4, 3};
constexpr SourcePicture kNtsc169{720, 480, 16, 9};
constexpr SourcePicture kSquare{720, 480, 3, 2};

ConvertItem Row(int64_t length_ms = 60000) {
    return rizuvira::core::MakeTitleItem(0, length_ms);
}

OutputSettings Output(int32_t width = 720, int32_t height = 480) {
    OutputSettings s{};
    s.HasVideo = 1;
    s.Width = width;
    s.Height = height;
    return s;
}

// ---- Automatic crop ----

TEST(EditorCrop, MeasuredBordersBecomeTheCropInsideTheSource) {
    Editor editor(Row(), Output(720, 480), EditorPage::kCrop, kNtsc43);
    EXPECT_FALSE(editor.ApplyMeasuredCrop(std::nullopt));
    EXPECT_EQ(editor.CropRect(), (RECT{0, 0, 720, 480}));
    EXPECT_FALSE(editor.ApplyMeasuredCrop(rizuvira::filters::CropBox{730, 0, 800, 480}));
    EXPECT_EQ(editor.CropRect(), (RECT{0, 0, 720, 480})) << "nothing inside the source: kept";

    ASSERT_TRUE(editor.ApplyMeasuredCrop(rizuvira::filters::CropBox{24, 56, 704, 416}));
    EXPECT_EQ(editor.CropRect(), (RECT{24, 56, 704, 416}));
    EXPECT_EQ(editor.values().edit.crop_top, 56);
    ASSERT_TRUE(editor.ApplyMeasuredCrop(rizuvira::filters::CropBox{0, 0, 720, 576}));
    EXPECT_EQ(editor.CropRect(), (RECT{0, 0, 720, 480})) << "cut to the source picture";
}

// ---- Geometry ----

TEST(EditorGeometry, LeftPictureIsFittedByTheSourcesDisplayAspect) {
    // Left area 380 x 284.
    EXPECT_EQ(Editor(Row(), Output(), EditorPage::kCrop, kNtsc43).LeftPictureRect(),
              (RECT{15, 70, 393, 354}));
    EXPECT_EQ(Editor(Row(), Output(), EditorPage::kCrop, kNtsc169).LeftPictureRect(),
              (RECT{14, 105, 394, 319}));
    // Square pixels: the stored size's 3:2.
    EXPECT_EQ(Editor(Row(), Output(), EditorPage::kCrop, kSquare).LeftPictureRect(),
              (RECT{14, 85, 394, 339}));
}

TEST(EditorGeometry, RightPictureFollowsTheZoomModeInsideTheProfilesFrame) {
    Editor editor(Row(), Output(720, 480), EditorPage::kCrop, kNtsc43);
    // The 3:2 frame fitted into the 380 x 284 right area.
    const RECT frame{406, 85, 786, 339};
    EXPECT_EQ(editor.RightFrameRect(), frame);
    // Keep Original: the 4:3 display shape, not the stored 3:2.
    EXPECT_EQ(editor.RightPictureRect(), (RECT{427, 85, 765, 339}));
    editor.SetZoomMode(1);
    EXPECT_EQ(editor.RightPictureRect(), frame);
    // A 16:9 band letter-boxed inside the 3:2 picture.
    editor.SetZoomMode(2);
    EXPECT_EQ(editor.RightPictureRect(), (RECT{406, 105, 786, 319}));
    editor.SetZoomMode(3);
    EXPECT_EQ(editor.RightPictureRect(), (RECT{427, 85, 765, 339}));
    editor.SetZoomMode(7);  // not a mode: ignored
    EXPECT_EQ(editor.values().edit.zoom_mode, 3);
}

TEST(EditorGeometry, KeepOriginalFitsTheCropByItsDisplayShape) {
    Editor editor(Row(), Output(720, 480), EditorPage::kCrop, kNtsc43);
    // The left half of a 4:3 picture is 2:3 on screen (its stored size, 360 x 480, is 3:4).
    editor.TypeCropNumber(Side::kRight, 360);
    EXPECT_EQ(editor.RightPictureRect(), (RECT{511, 85, 681, 339}));
    // An anamorphic 16:9 title fills the 16:9 band, as the converter fits it.
    Editor wide(Row(), Output(720, 480), EditorPage::kCrop, kNtsc169);
    EXPECT_EQ(wide.RightPictureRect(), (RECT{406, 105, 786, 319}));
    // The default block means the whole picture of a taller source.
    Editor pal(Row(), Output(), EditorPage::kCrop, SourcePicture{720, 576, 16, 9});
    EXPECT_EQ(pal.CropRect(), (RECT{0, 0, 720, 576}));
    EXPECT_EQ(pal.TrackerRect(), pal.LeftPictureRect());
}

// ---- Crop numbers ----

TEST(EditorCrop, TypedNumbersArePulledInsideTheirNeighbours) {
    Editor editor(Row(), Output(), EditorPage::kCrop, kNtsc43);
    editor.TypeCropNumber(Side::kRight, 650);
    editor.TypeCropNumber(Side::kLeft, 700);
    EXPECT_EQ(editor.values().edit.crop_left, 649);
    editor.TypeCropNumber(Side::kRight, 10);
    EXPECT_EQ(editor.values().edit.crop_right, 650);
    editor.TypeCropNumber(Side::kBottom, 100);
    editor.TypeCropNumber(Side::kTop, 480);
    EXPECT_EQ(editor.values().edit.crop_top, 99);
    // Outside the picture: pulled back to its edges.
    editor.TypeCropNumber(Side::kLeft, -20);
    editor.TypeCropNumber(Side::kBottom, 5000);
    EXPECT_EQ(editor.CropRect(), (RECT{0, 99, 650, 480}));
    EXPECT_EQ(editor.CropLimits(Side::kLeft).max, 649);
    // The tracker sits on the shown picture (378 x 284 at 15, 70), rounded to its pixels.
    EXPECT_EQ(editor.TrackerRect(), (RECT{15, 70 + 59, 15 + 341, 354}));
}

// ---- Crop tracker ----

TEST(EditorTracker, HitTestFollowsTheZoneOrder) {
    Editor editor(Row(), Output(), EditorPage::kCrop, kSquare);  // tracker 14, 85, 394, 339
    EXPECT_EQ(editor.HitTest({14, 85}), TrackerZone::kTopLeft);
    EXPECT_EQ(editor.HitTest({200, 85}), TrackerZone::kTop);
    EXPECT_EQ(editor.HitTest({394, 85}), TrackerZone::kTopRight);
    EXPECT_EQ(editor.HitTest({393, 200}), TrackerZone::kRight);
    EXPECT_EQ(editor.HitTest({394, 339}), TrackerZone::kBottomRight);
    EXPECT_EQ(editor.HitTest({200, 338}), TrackerZone::kBottom);
    EXPECT_EQ(editor.HitTest({14, 339}), TrackerZone::kBottomLeft);
    EXPECT_EQ(editor.HitTest({13, 200}), TrackerZone::kLeft);
    EXPECT_EQ(editor.HitTest({200, 200}), TrackerZone::kInside);
    EXPECT_EQ(editor.HitTest({11, 200}), TrackerZone::kNone);
    // A press outside every zone captures nothing; moves then change nothing.
    EXPECT_FALSE(editor.PressTracker({5, 5}));
    editor.DragTracker({50, 50});
    EXPECT_EQ(editor.CropRect(), (RECT{0, 0, 720, 480}));
}

TEST(EditorTracker, DraggingAnEdgeScalesToSourcePixelsAndKeepsTheMinimum) {
    Editor editor(Row(), Output(), EditorPage::kCrop, kSquare);  // 380 x 254 shows 720 x 480
    ASSERT_TRUE(editor.PressTracker({14, 200}));
    editor.DragTracker({33, 200});
    editor.ReleaseTracker({52, 200});
    EXPECT_EQ(editor.TrackerRect().left, 52);
    EXPECT_EQ(editor.values().edit.crop_left, 72);  // 38 x 720 / 380
    EXPECT_FALSE(editor.tracking());

    // The bottom-right corner dragged far up-left stops 32 pixels from the opposite edges.
    ASSERT_TRUE(editor.PressTracker({394, 339}));
    editor.DragTracker({0, 0});
    EXPECT_EQ(editor.TrackerRect(), (RECT{52, 85, 84, 117}));
    // Moving back moves the edges at once, by the mouse's distance.
    editor.ReleaseTracker({10, 10});
    EXPECT_EQ(editor.TrackerRect(), (RECT{52, 85, 94, 127}));
    EXPECT_EQ(editor.CropRect(), (RECT{72, 0, 152, 79}));
    // An edge never leaves the picture.
    ASSERT_TRUE(editor.PressTracker({52, 100}));
    editor.ReleaseTracker({-500, 100});
    EXPECT_EQ(editor.TrackerRect().left, 14);
    EXPECT_EQ(editor.values().edit.crop_left, 0);
}

TEST(EditorTracker, MovingTheInsideKeepsTheSizeAndStaysInThePicture) {
    Editor editor(Row(), Output(), EditorPage::kCrop, kSquare);
    editor.TypeCropNumber(Side::kRight, 360);
    editor.TypeCropNumber(Side::kBottom, 240);
    const RECT before = editor.TrackerRect();
    ASSERT_TRUE(editor.PressTracker({50, 100}));
    editor.ReleaseTracker({1050, 1100});
    const RECT bounds = editor.LeftPictureRect();
    EXPECT_EQ(editor.TrackerRect(),
              (RECT{bounds.right - RectWidth(before), bounds.bottom - RectHeight(before),
                    bounds.right, bounds.bottom}));
    EXPECT_EQ(editor.values().edit.crop_right, 720);
    EXPECT_EQ(editor.values().edit.crop_bottom, 480);
}

// ---- Trim ----

TEST(EditorTrim, TypedTimesParseAndFollowTheOneSecondRules) {
    Editor editor(Row(60000), Output(), EditorPage::kTrim);
    editor.ApplyStartText("00:00:10");
    editor.ApplyEndText("00:00:05");  // earlier than the start
    EXPECT_EQ(editor.values().trim_start_ms, 10000);
    EXPECT_EQ(editor.values().trim_length_ms, 1000);
    EXPECT_EQ(editor.EndText(), "00:00:11");

    editor.ApplyEndText("00:00:30");
    editor.ApplyStartText("00:00:45");  // later than the end
    EXPECT_EQ(editor.values().trim_start_ms, 29000);
    EXPECT_EQ(editor.values().trim_length_ms, 1000);
    editor.DragRange(0, 5);           // end at 300 ms
    editor.ApplyStartText("0:0:40");  // one second before an end under a second: never below 0
    EXPECT_EQ(editor.values().trim_start_ms, 0);

    editor.ApplyEndText("05:00:00");  // beyond the title
    EXPECT_EQ(editor.values().trim_length_ms, 60000);
    EXPECT_EQ(editor.SliderMarks().end, 1000);
    // A range at the very end: the end cannot move later, so the start gives way.
    editor.DragRange(1000, 1000);
    editor.ApplyEndText("00:00:01");
    EXPECT_EQ(editor.values().trim_start_ms, 59000);
    EXPECT_EQ(editor.values().trim_length_ms, 1000);
}

TEST(EditorTrim, RangeControlSetsStartAndEnd) {
    Editor editor(Row(60000), Output(), EditorPage::kTrim);
    editor.DragRange(250, 750);
    EXPECT_EQ(editor.values().trim_start_ms, 15000);
    EXPECT_EQ(editor.values().trim_length_ms, 30000);
    EXPECT_EQ(editor.StartText(), "00:00:15");
    EXPECT_EQ(editor.LengthText(), "00:00:30");
    // The marks of the time slider move only on mark-in and mark-out.
    EXPECT_EQ(editor.SliderMarks().start, 0);
    editor.MarkIn();
    editor.MarkOut();
    EXPECT_EQ(editor.SliderMarks().start, 250);
    EXPECT_EQ(editor.SliderMarks().end, 750);
    EXPECT_DOUBLE_EQ(editor.RangeStartSeconds(60), 15);
    // The start thumb fully left gives start 0; crossed thumbs give an empty range, never a
    // negative one.
    editor.DragRange(0, 750);
    EXPECT_EQ(editor.values().trim_start_ms, 0);
    editor.DragRange(800, 100);
    EXPECT_EQ(editor.values().trim_start_ms, 48000);
    EXPECT_EQ(editor.values().trim_length_ms, 0);
}

TEST(EditorTrim, ATitleWithoutLengthDividesByNothing) {
    Editor editor(Row(0), Output(), EditorPage::kTrim);
    EXPECT_EQ(editor.RangeThumbs().end, 1000);
    editor.DragRange(500, 1000);
    editor.ApplyEndText("00:00:10");
    editor.MarkIn();
    EXPECT_EQ(editor.values().trim_start_ms, 0);
    EXPECT_EQ(editor.values().trim_length_ms, 0);
}

// ---- Reset, OK and Cancel ----

TEST(EditorReset, ResetsOnlyTheCurrentPageAndTheVolume) {
    Editor editor(Row(60000), Output(), EditorPage::kEffect, kNtsc43);
    editor.SetBrightness(200);
    editor.SetSaturation(500);  // beyond the slider: 128
    editor.SetContrastSlider(90);
    editor.SetVolume(100);
    editor.DragRange(100, 900);
    editor.TypeCropNumber(Side::kLeft, 100);
    editor.SetZoomMode(2);
    EXPECT_EQ(editor.values().edit.hue_degrees, -90);
    EXPECT_EQ(editor.values().edit.saturation, 128);

    editor.Reset();  // effect page
    EXPECT_EQ(editor.values().edit.brightness, 128);
    EXPECT_EQ(editor.values().edit.saturation, 64);
    EXPECT_EQ(editor.ContrastSlider(), 180);
    EXPECT_EQ(editor.values().edit.volume, 256);
    EXPECT_EQ(editor.values().trim_start_ms, 6000);
    EXPECT_EQ(editor.values().edit.crop_left, 100);

    editor.SetVolume(50);
    editor.ShowPage(EditorPage::kCrop);
    editor.Reset();
    EXPECT_EQ(editor.CropRect(), (RECT{0, 0, 720, 480}));
    EXPECT_EQ(editor.values().edit.zoom_mode, 0);
    EXPECT_EQ(editor.TrackerRect(), editor.LeftPictureRect());
    EXPECT_EQ(editor.values().edit.volume, 256);
    EXPECT_EQ(editor.values().trim_start_ms, 6000);

    editor.ShowPage(EditorPage::kTrim);
    editor.Reset();
    EXPECT_EQ(editor.values().trim_start_ms, 0);
    EXPECT_EQ(editor.values().trim_length_ms, 60000);
    EXPECT_EQ(editor.RangeThumbs().end, 1000);
}

TEST(EditorAccept, OkWritesTheCopyAndCancelLeavesTheRow) {
    const ConvertItem original = Row(60000);
    ConvertItem row = original;
    {
        Editor cancelled(row, Output(), EditorPage::kEffect);
        cancelled.SetBrightness(200);
        cancelled.DragRange(100, 200);
    }  // Cancel: the editor is dropped
    EXPECT_EQ(std::memcmp(&row, &original, sizeof row), 0);

    Editor editor(row, Output(), EditorPage::kEffect);
    editor.SetBrightness(200);
    editor.ApplyStartText("00:00:10");
    editor.ApplyEndText("00:00:20");
    editor.Accept(row);
    EXPECT_EQ(row.trim_start_ms, 10000);
    EXPECT_EQ(row.trim_length_ms, 10000);
    EXPECT_EQ(row.edit.brightness, 200);
    EXPECT_EQ(row.length_ms, 60000);
}

}  // namespace

// ---- Watermark ----

TEST(EditorWatermark, ThePreviewGetsTheMarkWhereTheFileWillShowIt) {
    rizuvira::core::Watermark mark;
    mark.text = "Sample";
    mark.x = 100;
    mark.y = 60;
    mark.font_size_px = 40;
    // Full screen: the crop (80, 40)-(440, 280), 360 x 240, fills the 720 x 480 output, so an
    // output pixel is half a source pixel.
    Editor editor(Row(), Output(720, 480), EditorPage::kWatermark, kNtsc43);
    editor.SetZoomMode(1);
    editor.TypeCropNumber(Side::kLeft, 80);
    editor.TypeCropNumber(Side::kTop, 40);
    editor.TypeCropNumber(Side::kRight, 440);
    editor.TypeCropNumber(Side::kBottom, 280);
    editor.SetWatermark(mark);
    rizuvira::core::Watermark shown = editor.PreviewWatermark();
    EXPECT_EQ(shown.x, 80 + 50);
    EXPECT_EQ(shown.y, 40 + 30);
    EXPECT_EQ(shown.font_size_px, 20);
    EXPECT_EQ(shown.text, "Sample");
    // Keep Original puts the 4:3 picture between 40-pixel bars of the 3:2 frame: output x 100
    // is 60 pixels into the picture.
    editor.ShowPage(EditorPage::kCrop);
    editor.Reset();
    shown = editor.PreviewWatermark();
    EXPECT_EQ(shown.x, (100 - 40) * 720 / 640);
    EXPECT_EQ(shown.y, 60);
    // Reset on the watermark page removes the text and keeps the font.
    editor.ShowPage(EditorPage::kWatermark);
    editor.Reset();
    EXPECT_FALSE(editor.watermark().enabled());
    EXPECT_EQ(editor.watermark().font_size_px, 40);
}

}  // namespace rizuvira::app
