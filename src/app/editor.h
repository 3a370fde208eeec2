// SPDX-License-Identifier: GPL-2.0-or-later
// The rules of the crop, trim and effect editor: its private copy of a row's trim values and
// edit block, the geometry of its two picture areas, the crop tracker, the trim controls, the
// effect sliders and Reset. The window lays the controls out, paints them and forwards each
// click, drag and typed text to one method here; it reads back what to show.
//
// The editor starts from the row as the caller hands it over (the caller applies the rule of
// the current edit settings first: CurrentEditSettings::OnEditorOpen) and touches the row only
// in Accept. Pictures are fitted by their display aspect: the source's display aspect scaled by
// the crop's share of the source, as the video converter fits them.
//
// Coordinates: window pixels for the areas, the tracker and the mouse; source pixels for the
// crop rectangle. Times in milliseconds.
//
// Threads: the window's thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/preview_controller.h"
#include "app/texts.h"
#include "core/convert_item.h"
#include "core/output_profile.h"
#include "core/time_text.h"
#include "core/watermark.h"
#include "engine/editor_preview_graph.h"
#include "filters/border_detect.h"
#include "platform/format_types.h"

namespace rizuvira::app {

// The pages, numbered as the modes the editor opens in; the watermark page opens from its tab.
enum class EditorPage : int32_t { kTrim = 0, kCrop = 1, kEffect = 2, kWatermark = 3 };

// The source picture: its stored size and the display aspect the disc declares for it. An
// unusable size means 720 x 480; an unusable aspect means square pixels.
struct SourcePicture {
    int32_t width = core::kSourceWidth;
    int32_t height = core::kSourceHeight;
    int32_t aspect_x = 4;  // display aspect of the whole picture, e.g. 4:3 or 16:9
    int32_t aspect_y = 3;
};

struct EditorLayout {
    RECT left_area{14, 70, 394, 354};    // source picture with the crop tracker
    RECT right_area{406, 70, 786, 354};  // adjusted result
};

// The editor's part of a row: the 56 bytes from trim start to the end of the edit block.
struct EditorValues {
    int64_t trim_start_ms = 0;
    int64_t trim_length_ms = 0;
    core::EditSettings edit = core::kDefaultEditSettings;
};

struct Point {
    int32_t x = 0;
    int32_t y = 0;
};

// Zones of the crop tracker, numbered in the order they are hit-tested.
enum class TrackerZone : int32_t {
    kNone = 0,
    kTopLeft = 1,
    kTop = 2,
    kTopRight = 3,
    kRight = 4,
    kBottomRight = 5,
    kBottom = 6,
    kBottomLeft = 7,
    kLeft = 8,
    kInside = 9,
};

// The cursor a zone shows.
enum class TrackerCursor {
    kArrow,
    kSizeDiagonal,
    kSizeVertical,
    kSizeAntiDiagonal,
    kSizeHorizontal,
    kMove
};
TrackerCursor CursorForZone(TrackerZone zone);

// The zoom list's entries, in mode order.
inline constexpr const char* kZoomModeNames[] = {QT_TRANSLATE_NOOP("editor", "Keep Original"),
                                                 QT_TRANSLATE_NOOP("editor", "Full Screen"), "16:9",
                                                 "4:3"};
// Smallest tracker side in window pixels.
inline constexpr int32_t kTrackerMinSide = 32;
// Ranges of the sliders.
inline constexpr int32_t kTimeSliderRange = kPreviewSliderRange;  // the preview's slider
inline constexpr int32_t kRangeControlRange = 1000;

// "position/duration", each as core::TimeText.
std::string EditorTimeText(double position_seconds, double duration_seconds);

// The crop page's Auto button: the black borders of title `title` (from 0) of the disc at
// `disc_path`, measured through a disc handle of its own (the editor's preview keeps reading
// the open one). None when the disc does not open or the title shows nothing but black; blocks
// while the pictures are decoded.
std::optional<filters::CropBox> MeasureDiscBorders(const std::string& disc_path, int title);

class Editor {
public:
    // `row`: the row as the editor starts from it; `output`: the current profile's settings (its
    // Width and Height give the right picture's frame); `mode`: the page shown first.
    Editor(const core::ConvertItem& row, const core::OutputSettings& output, EditorPage mode,
           const SourcePicture& source = {}, const EditorLayout& layout = {});

    const EditorValues& values() const { return values_; }
    int64_t length_ms() const { return length_ms_; }
    const SourcePicture& source() const { return source_; }

    EditorPage page() const { return page_; }
    // Switching pages keeps every value.
    void ShowPage(EditorPage page) { page_ = page; }

    // The preview to drive, or null (none built: the editor still edits and saves). When set,
    // the editor hands it the letterbox mode, the crop rectangle (and keeps the rectangle the
    // preview reads back), the right picture's rectangle, every slider value and the streams
    // whose ids are given (`audio_id` matched on its low 8 bits, `subtitle_id` whole; -1
    // enables none), then seeks to 0. The graph must be open and outlive its attachment.
    void AttachPreview(engine::EditorPreviewGraph* preview, int32_t audio_id, int32_t subtitle_id);
    void DetachPreview() { preview_ = nullptr; }

    // ---- Geometry ----
    // Where the source picture is shown in the left area: the bounds of the crop tracker. Open
    // the preview's left picture on this rectangle, so its crop frame lies over the tracker.
    RECT LeftPictureRect() const { return left_picture_; }
    // The output frame (the profile's Width : Height) fitted into the right area.
    RECT RightFrameRect() const;
    // The picture inside that frame as the zoom mode fits it: mode 0 the crop's display aspect,
    // mode 1 the whole frame, mode 2 16:9, mode 3 4:3. The preview draws the result here.
    RECT RightPictureRect() const;

    // ---- Crop page ----
    RECT CropRect() const;
    enum class CropSide { kLeft, kTop, kRight, kBottom };
    struct Limits {
        int32_t min;
        int32_t max;
    };
    // The spin range of each number: left 0..right−1, top 0..bottom−1, right left+1..width,
    // bottom top+1..height.
    Limits CropLimits(CropSide side) const;
    // A typed number, pulled inside its spin range; applied when it differs from the stored one.
    void TypeCropNumber(CropSide side, int32_t value);
    // Zoom list: modes 0..3 (other values are ignored).
    void SetZoomMode(int32_t mode);
    // The automatic crop: `measured` (the title's black borders, as
    // engine::MeasureTitleBorders finds them) becomes the crop rectangle, cut to the source
    // picture. Nothing measured, or nothing of it inside the source, keeps the crop: false.
    bool ApplyMeasuredCrop(const std::optional<filters::CropBox>& measured);

    // ---- Crop tracker (window pixels) ----
    RECT TrackerRect() const { return tracker_; }
    // The first zone hit in TrackerZone order. Each border band is two pixels wide (the
    // border line and the pixel outside it); a corner is where two bands cross, an edge's band
    // runs between its corners, and the inside is everything within the border.
    TrackerZone HitTest(Point p) const;
    // A press captures the tracker when it hits a zone (true); a press outside does nothing.
    bool PressTracker(Point p);
    // Each movement (and the release) moves the captured zone by the distance since the previous
    // mouse position and stores the new crop rectangle.
    void DragTracker(Point p);
    void ReleaseTracker(Point p);
    bool tracking() const { return drag_zone_ != TrackerZone::kNone; }

    // ---- Trim page ----
    // Both thumbs of the range control (0..range), as it reports them on every drag.
    void DragRange(int32_t start_thumb, int32_t end_thumb, int32_t range = kRangeControlRange);
    struct Thumbs {
        int32_t start;
        int32_t end;
    };
    // The range control's thumbs for the trim (0..kRangeControlRange).
    Thumbs RangeThumbs() const;
    // The time slider's range marks (0..kTimeSliderRange).
    Thumbs SliderMarks() const { return marks_; }
    // The apply buttons: the typed text of the start or end field (core::TimeSyntax::kTyped).
    void ApplyStartText(std::string_view text);
    void ApplyEndText(std::string_view text);
    std::string StartText() const { return core::TimeText(values_.trim_start_ms); }
    std::string EndText() const { return core::TimeText(trim_end_ms()); }
    std::string LengthText() const { return core::TimeText(values_.trim_length_ms); }
    // Mark-in / mark-out: the slider's start / end mark goes to the range control's thumb.
    void MarkIn();
    void MarkOut();
    // Go-to-range-start: where to seek for a title of `duration_seconds`.
    double RangeStartSeconds(double duration_seconds) const;

    // ---- Effect page and volume (slider values; each is handed to the preview) ----
    void SetBrightness(int32_t value);      // 0..256
    void SetContrastSlider(int32_t value);  // 0..360: the hue + 180
    int32_t ContrastSlider() const { return values_.edit.hue_degrees + 180; }
    void SetSaturation(int32_t value);  // 0..128
    void SetVolume(int32_t value);      // 0..512

    // ---- Watermark page ----
    // The process's watermark as the editor shows it (output pixels); handed to the preview.
    void SetWatermark(const core::Watermark& watermark);
    const core::Watermark& watermark() const { return watermark_; }
    // The same watermark where the preview draws it: the preview's converter works on the
    // whole source picture before the crop, so position and size are mapped from the output
    // frame back to source pixels, so that the right picture shows it as the file will.
    core::Watermark PreviewWatermark() const;

    // Reset: the current page's values (the watermark page: no text, the font kept), then the
    // volume to 256.
    void Reset();

    // OK: the row's trim values and edit block become the editor's copy. (Cancel: drop the
    // editor.)
    void Accept(core::ConvertItem& row) const;

private:
    int64_t trim_end_ms() const { return values_.trim_start_ms + values_.trim_length_ms; }
    int32_t TimeMark(int64_t ms) const;
    void SetTrim(int64_t start_ms, int64_t end_ms);
    // Gives `crop` to the graph and keeps what it reads back (or `crop` without a graph).
    void StoreCrop(const RECT& crop);
    void ApplyCrop(const RECT& crop);
    void PlaceTracker();
    void ApplyZoom();
    void CropFromTracker();
    void SendWatermark();

    const int64_t length_ms_;
    const core::OutputSettings output_;  // the source's values resolved
    const bool source_size_;             // the file's size is the source's (after the crop)
    const SourcePicture source_;
    const EditorLayout layout_;
    EditorValues values_;
    EditorPage page_;
    RECT left_picture_{};
    RECT tracker_{};
    Thumbs marks_{0, kTimeSliderRange};
    TrackerZone drag_zone_ = TrackerZone::kNone;
    Point drag_last_{};
    engine::EditorPreviewGraph* preview_ = nullptr;
    core::Watermark watermark_;
    bool preview_has_mark_ = false;  // the preview holds a watermark picture
};

}  // namespace rizuvira::app
