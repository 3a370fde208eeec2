// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/editor.h"

#include <algorithm>
#include <cmath>

#include "dvd/dvd_access.h"
#include "engine/border_probe.h"
#include "engine/editor_preview_graph.h"
#include "filters/video_geometry.h"
#include "platform/picture_shape.h"

namespace rizuvira::app {

namespace {

int32_t Clamp32(int64_t v, int64_t lo, int64_t hi) {
    return static_cast<int32_t>(std::clamp(v, lo, std::max(lo, hi)));
}

// The largest rectangle of shape aspect_x : aspect_y centred in `box`, by the video converter's
// fitting rule (which takes the shape as a 32-bit float).
RECT FitShape(const RECT& box, int64_t aspect_x, int64_t aspect_y) {
    if (aspect_x <= 0 || aspect_y <= 0) return box;
    return FitAspect(static_cast<float>(static_cast<double>(aspect_x) / aspect_y), box);
}

// Sizes beyond any picture, or aspects beyond any display, are taken as unknown.
SourcePicture Checked(SourcePicture source) {
    if (source.width <= 0 || source.height <= 0 || source.width > filters::kMaxPictureSide ||
        source.height > filters::kMaxPictureSide)
        source.width = core::kSourceWidth, source.height = core::kSourceHeight;
    if (source.aspect_x <= 0 || source.aspect_y <= 0 || source.aspect_x > 0xFFFF ||
        source.aspect_y > 0xFFFF)
        source.aspect_x = source.width, source.aspect_y = source.height;
    return source;
}

}  // namespace

TrackerCursor CursorForZone(TrackerZone zone) {
    switch (zone) {
        case TrackerZone::kTopLeft:
        case TrackerZone::kBottomRight:
            return TrackerCursor::kSizeDiagonal;
        case TrackerZone::kTop:
        case TrackerZone::kBottom:
            return TrackerCursor::kSizeVertical;
        case TrackerZone::kTopRight:
        case TrackerZone::kBottomLeft:
            return TrackerCursor::kSizeAntiDiagonal;
        case TrackerZone::kRight:
        case TrackerZone::kLeft:
            return TrackerCursor::kSizeHorizontal;
        case TrackerZone::kInside:
            return TrackerCursor::kMove;
        case TrackerZone::kNone:
            break;
    }
    return TrackerCursor::kArrow;
}

std::string EditorTimeText(double position_seconds, double duration_seconds) {
    return core::TimeText(static_cast<int64_t>(position_seconds * 1000)) + "/" +
           core::TimeText(static_cast<int64_t>(duration_seconds * 1000));
}

Editor::Editor(const core::ConvertItem& row, const core::OutputSettings& output, EditorPage mode,
               const SourcePicture& source, const EditorLayout& layout)
    : length_ms_(std::max<int64_t>(row.length_ms, 0)),
      output_(core::ResolveSourceValues(
          output, {source.width, source.height, source.aspect_x, source.aspect_y, 0})),
      source_size_(core::TakesSourceSize(output)),
      source_(Checked(source)),
      layout_(layout),
      page_(mode) {
    values_.trim_start_ms = row.trim_start_ms;
    values_.trim_length_ms = row.trim_length_ms;
    values_.edit = row.edit;
    // The default block means the whole picture, whatever its height.
    const core::EditSettings& d = core::kDefaultEditSettings;
    core::EditSettings& e = values_.edit;
    if (e.crop_left == d.crop_left && e.crop_top == d.crop_top && e.crop_right == d.crop_right &&
        e.crop_bottom == d.crop_bottom) {
        e.crop_right = source_.width;
        e.crop_bottom = source_.height;
    }
    left_picture_ = FitShape(layout_.left_area, source_.aspect_x, source_.aspect_y);
    marks_ = Thumbs{TimeMark(values_.trim_start_ms), TimeMark(trim_end_ms())};
    if (length_ms_ <= 0) marks_ = Thumbs{0, kTimeSliderRange};
    PlaceTracker();
}

void Editor::AttachPreview(engine::EditorPreviewGraph* preview, int32_t audio_id,
                           int32_t subtitle_id) {
    preview_ = preview;
    if (!preview_) return;
    ApplyCrop(CropRect());
    preview_->SetBrightness(values_.edit.brightness);
    preview_->SetSaturation(values_.edit.saturation);
    preview_->SetHue(values_.edit.hue_degrees);
    preview_->SeekTo(0);
    preview_->SetVolume(values_.edit.volume);
    preview_has_mark_ = false;
    SendWatermark();
    engine::StreamInfoList streams{};
    if (preview_->ListStreams(&streams)) {
        for (int i = 0; i < std::min(streams.audio_count, engine::StreamInfoList::kMaxAudio); ++i) {
            if (audio_id >= 0 && streams.audio[i].stream_id == audio_id)
                preview_->EnableStream(streams.audio[i].index, true);
        }
        for (int i = 0; i < std::min(streams.subtitle_count, engine::StreamInfoList::kMaxSubtitles);
             ++i) {
            if (subtitle_id >= 0 && streams.subtitles[i].stream_id == subtitle_id)
                preview_->EnableStream(streams.subtitles[i].index, true);
        }
    }
}

// ---- Geometry ----

RECT Editor::RightFrameRect() const {
    if (source_size_) {
        // The file shows what the crop keeps, at the source's pixel shape.
        const RECT crop = CropRect();
        const double shape = CropDisplayAspect(source_.width, source_.height,
                                               PictureAspect{source_.aspect_x, source_.aspect_y},
                                               RectWidth(crop), RectHeight(crop));
        if (shape > 0) return FitAspect(static_cast<float>(shape), layout_.right_area);
    }
    if (output_.AspectX > 0 && output_.AspectY > 0)
        return FitShape(layout_.right_area, output_.AspectX, output_.AspectY);
    return FitShape(layout_.right_area, output_.Width, output_.Height);
}

RECT Editor::RightPictureRect() const {
    const RECT frame = RightFrameRect();
    const core::EditSettings& e = values_.edit;
    switch (e.zoom_mode) {
        case core::kZoomKeepOriginal: {
            const RECT crop = CropRect();
            return filters::FitPicture(
                e.zoom_mode, frame,
                CropDisplayAspect(source_.width, source_.height,
                                  PictureAspect{source_.aspect_x, source_.aspect_y},
                                  RectWidth(crop), RectHeight(crop)));
        }
        case core::kZoom16x9:
        case core::kZoom4x3:
            return filters::FitPicture(e.zoom_mode, frame, 0.0);
        default:
            return frame;
    }
}

// ---- Crop ----

RECT Editor::CropRect() const {
    const core::EditSettings& e = values_.edit;
    return RECT{e.crop_left, e.crop_top, e.crop_right, e.crop_bottom};
}

Editor::Limits Editor::CropLimits(CropSide side) const {
    const core::EditSettings& e = values_.edit;
    switch (side) {
        case CropSide::kLeft:
            return {0, std::max(e.crop_right - 1, 0)};
        case CropSide::kTop:
            return {0, std::max(e.crop_bottom - 1, 0)};
        case CropSide::kRight:
            return {std::min(e.crop_left + 1, source_.width), source_.width};
        case CropSide::kBottom:
            return {std::min(e.crop_top + 1, source_.height), source_.height};
    }
    return {0, 0};
}

void Editor::TypeCropNumber(CropSide side, int32_t value) {
    const Limits limits = CropLimits(side);
    value = std::clamp(value, limits.min, std::max(limits.min, limits.max));
    RECT crop = CropRect();
    LONG* field = side == CropSide::kLeft    ? &crop.left
                  : side == CropSide::kTop   ? &crop.top
                  : side == CropSide::kRight ? &crop.right
                                             : &crop.bottom;
    if (*field == value) return;
    *field = value;
    ApplyCrop(crop);
}

std::optional<filters::CropBox> MeasureDiscBorders(const std::string& disc_path, int title) {
    const int32_t handle = dvd::MyDVDOpen(disc_path.c_str());
    if (handle == 0) return std::nullopt;
    std::optional<filters::CropBox> measured = engine::MeasureTitleBorders(handle, title);
    dvd::MyDVDClose(handle);
    return measured;
}

bool Editor::ApplyMeasuredCrop(const std::optional<filters::CropBox>& measured) {
    if (!measured) return false;
    const RECT crop{std::max(measured->left, 0), std::max(measured->top, 0),
                    std::min<LONG>(measured->right, source_.width),
                    std::min<LONG>(measured->bottom, source_.height)};
    if (crop.right <= crop.left || crop.bottom <= crop.top) return false;
    ApplyCrop(crop);
    return true;
}

void Editor::SetZoomMode(int32_t mode) {
    if (mode < core::kZoomKeepOriginal || mode > core::kZoom4x3) return;
    values_.edit.zoom_mode = mode;
    ApplyZoom();
}

void Editor::ApplyZoom() {
    if (!preview_) return;
    // The rectangle already has the picture's display shape in every mode; a letterbox by the
    // stored pixel size would squeeze it again.
    preview_->SetLetterbox(0);
    preview_->SetPictureRect(RightPictureRect());
    SendWatermark();
    preview_->Repaint();
}

void Editor::StoreCrop(const RECT& crop) {
    RECT used = crop;
    if (preview_) {
        preview_->SetCropRect(crop);
        const RECT read_back = preview_->GetCropRect();
        if (!IsRectEmpty(read_back)) used = read_back;
    }
    core::EditSettings& e = values_.edit;
    e.crop_left = used.left;
    e.crop_top = used.top;
    e.crop_right = used.right;
    e.crop_bottom = used.bottom;
}

void Editor::ApplyCrop(const RECT& crop) {
    StoreCrop(crop);
    PlaceTracker();
    ApplyZoom();
}

void Editor::PlaceTracker() {
    const double sx = source_.width > 0 ? double(RectWidth(left_picture_)) / source_.width : 0;
    const double sy = source_.height > 0 ? double(RectHeight(left_picture_)) / source_.height : 0;
    const RECT crop = CropRect();
    tracker_ = RECT{left_picture_.left + static_cast<LONG>(crop.left * sx + 0.5),
                    left_picture_.top + static_cast<LONG>(crop.top * sy + 0.5),
                    left_picture_.left + static_cast<LONG>(crop.right * sx + 0.5),
                    left_picture_.top + static_cast<LONG>(crop.bottom * sy + 0.5)};
}

void Editor::CropFromTracker() {
    const LONG shown_w = RectWidth(left_picture_);
    const LONG shown_h = RectHeight(left_picture_);
    if (shown_w <= 0 || shown_h <= 0) return;
    const double sx = double(source_.width) / shown_w;
    const double sy = double(source_.height) / shown_h;
    auto x = [&](LONG v) { return static_cast<LONG>((v - left_picture_.left) * sx + 0.5); };
    auto y = [&](LONG v) { return static_cast<LONG>((v - left_picture_.top) * sy + 0.5); };
    // The tracker stays under the mouse while it moves.
    StoreCrop(RECT{x(tracker_.left), y(tracker_.top), x(tracker_.right), y(tracker_.bottom)});
    ApplyZoom();
}

// ---- Crop tracker ----

TrackerZone Editor::HitTest(Point p) const {
    const RECT& r = tracker_;
    // Each border band is two pixels wide (the border line and the pixel outside it); a corner
    // is where two bands cross, and an edge's band runs between its corners.
    auto near = [](LONG v, LONG edge) { return v >= edge - 1 && v <= edge; };
    auto between = [](LONG v, LONG lo, LONG hi) { return v > lo && v < hi - 1; };
    const bool left = near(p.x, r.left), right = near(p.x, r.right);
    const bool top = near(p.y, r.top), bottom = near(p.y, r.bottom);
    const bool in_x = between(p.x, r.left, r.right), in_y = between(p.y, r.top, r.bottom);
    if (left && top) return TrackerZone::kTopLeft;
    if (top && in_x) return TrackerZone::kTop;
    if (right && top) return TrackerZone::kTopRight;
    if (right && in_y) return TrackerZone::kRight;
    if (right && bottom) return TrackerZone::kBottomRight;
    if (bottom && in_x) return TrackerZone::kBottom;
    if (left && bottom) return TrackerZone::kBottomLeft;
    if (left && in_y) return TrackerZone::kLeft;
    if (p.x > r.left && p.x < r.right && p.y > r.top && p.y < r.bottom) return TrackerZone::kInside;
    return TrackerZone::kNone;
}

bool Editor::PressTracker(Point p) {
    drag_zone_ = HitTest(p);
    drag_last_ = p;
    return drag_zone_ != TrackerZone::kNone;
}

void Editor::DragTracker(Point p) {
    if (drag_zone_ == TrackerZone::kNone) return;
    const LONG dx = p.x - drag_last_.x;
    const LONG dy = p.y - drag_last_.y;
    drag_last_ = p;
    if (dx == 0 && dy == 0) return;
    const RECT b = left_picture_;
    RECT r = tracker_;
    const TrackerZone z = drag_zone_;
    if (z == TrackerZone::kInside) {
        const LONG w = RectWidth(r), h = RectHeight(r);
        r.left = std::max(std::min(r.left + dx, b.right - w), b.left);
        r.top = std::max(std::min(r.top + dy, b.bottom - h), b.top);
        r.right = r.left + w;
        r.bottom = r.top + h;
    } else {
        const bool moves_left =
            z == TrackerZone::kTopLeft || z == TrackerZone::kBottomLeft || z == TrackerZone::kLeft;
        const bool moves_right = z == TrackerZone::kTopRight || z == TrackerZone::kBottomRight ||
                                 z == TrackerZone::kRight;
        const bool moves_top =
            z == TrackerZone::kTopLeft || z == TrackerZone::kTopRight || z == TrackerZone::kTop;
        const bool moves_bottom = z == TrackerZone::kBottomLeft || z == TrackerZone::kBottomRight ||
                                  z == TrackerZone::kBottom;
        if (moves_left) r.left = std::max(std::min(r.left + dx, r.right - kTrackerMinSide), b.left);
        if (moves_right)
            r.right = std::min(std::max(r.right + dx, r.left + kTrackerMinSide), b.right);
        if (moves_top) r.top = std::max(std::min(r.top + dy, r.bottom - kTrackerMinSide), b.top);
        if (moves_bottom)
            r.bottom = std::min(std::max(r.bottom + dy, r.top + kTrackerMinSide), b.bottom);
    }
    if (r == tracker_) return;
    tracker_ = r;
    CropFromTracker();
}

void Editor::ReleaseTracker(Point p) {
    DragTracker(p);
    drag_zone_ = TrackerZone::kNone;
}

// ---- Trim ----

int32_t Editor::TimeMark(int64_t ms) const {
    if (length_ms_ <= 0) return 0;
    return Clamp32(ms * kTimeSliderRange / length_ms_, 0, kTimeSliderRange);
}

void Editor::SetTrim(int64_t start_ms, int64_t end_ms) {
    start_ms = std::clamp<int64_t>(start_ms, 0, length_ms_);
    end_ms = std::clamp<int64_t>(end_ms, start_ms, length_ms_);
    values_.trim_start_ms = start_ms;
    values_.trim_length_ms = end_ms - start_ms;
}

Editor::Thumbs Editor::RangeThumbs() const {
    if (length_ms_ <= 0) return Thumbs{0, kRangeControlRange};
    auto thumb = [&](int64_t ms) {
        return Clamp32(ms * kRangeControlRange / length_ms_, 0, kRangeControlRange);
    };
    return Thumbs{thumb(values_.trim_start_ms), thumb(trim_end_ms())};
}

void Editor::DragRange(int32_t start_thumb, int32_t end_thumb, int32_t range) {
    if (range <= 0) return;
    start_thumb = std::clamp(start_thumb, 0, range);
    end_thumb = std::clamp(end_thumb, 0, range);
    SetTrim(length_ms_ * start_thumb / range, length_ms_ * end_thumb / range);
}

void Editor::ApplyStartText(std::string_view text) {
    const int64_t end = trim_end_ms();
    int64_t start = core::ParseTimeText(text, core::TimeSyntax::kTyped);
    if (start >= end) start = end - 1000;
    if (start < 0) start = 0;
    SetTrim(start, end);
    marks_.start = TimeMark(values_.trim_start_ms);
}

void Editor::ApplyEndText(std::string_view text) {
    int64_t start = values_.trim_start_ms;
    int64_t end = core::ParseTimeText(text, core::TimeSyntax::kTyped);
    if (end > length_ms_) end = length_ms_;
    if (end <= start) end = std::min(start + 1000, length_ms_);
    // A start within the last second of the title gives way, so the range keeps its second.
    if (end <= start) start = std::max<int64_t>(end - 1000, 0);
    SetTrim(start, end);
    marks_ = Thumbs{TimeMark(values_.trim_start_ms), TimeMark(trim_end_ms())};
    if (length_ms_ <= 0) marks_ = Thumbs{0, kTimeSliderRange};
}

void Editor::MarkIn() {
    marks_.start = RangeThumbs().start * kTimeSliderRange / kRangeControlRange;
}

void Editor::MarkOut() {
    marks_.end = RangeThumbs().end * kTimeSliderRange / kRangeControlRange;
}

double Editor::RangeStartSeconds(double duration_seconds) const {
    return double(marks_.start) / kTimeSliderRange * duration_seconds;
}

// ---- Effects and volume ----

void Editor::SetBrightness(int32_t value) {
    values_.edit.brightness = std::clamp(value, 0, 256);
    if (preview_) preview_->SetBrightness(values_.edit.brightness);
}

void Editor::SetContrastSlider(int32_t value) {
    values_.edit.hue_degrees = std::clamp(value, 0, 360) - 180;
    if (preview_) preview_->SetHue(values_.edit.hue_degrees);
}

void Editor::SetSaturation(int32_t value) {
    values_.edit.saturation = std::clamp(value, 0, 128);
    if (preview_) preview_->SetSaturation(values_.edit.saturation);
}

void Editor::SetVolume(int32_t value) {
    values_.edit.volume = std::clamp(value, 0, 512);
    if (preview_) preview_->SetVolume(values_.edit.volume);
}

// ---- Watermark ----

void Editor::SetWatermark(const core::Watermark& watermark) {
    watermark_ = watermark;
    SendWatermark();
}

core::Watermark Editor::PreviewWatermark() const {
    core::Watermark mark = watermark_;
    filters::ConvertGeometry geometry;
    const RECT crop = CropRect();
    if (output_.Width <= 0 || output_.Height <= 0 ||
        !filters::ComputeConvertGeometry(
            source_.width, source_.height, PictureAspect{source_.aspect_x, source_.aspect_y}, crop,
            RECT{0, 0, output_.Width, output_.Height}, values_.edit.zoom_mode, &geometry,
            PictureAspect{output_.AspectX, output_.AspectY}) ||
        geometry.interior_width() <= 0 || geometry.interior_height() <= 0)
        return mark;
    const double sx = double(geometry.crop_width) / geometry.interior_width();
    const double sy = double(geometry.crop_height) / geometry.interior_height();
    mark.x = crop.left + static_cast<int32_t>(std::floor((mark.x - geometry.pad.left) * sx));
    mark.y = crop.top + static_cast<int32_t>(std::floor((mark.y - geometry.pad.top) * sy));
    mark.font_size_px = std::max(1, static_cast<int32_t>(std::lround(mark.font_size_px * sy)));
    return mark;
}

void Editor::SendWatermark() {
    if (!preview_) return;
    if (watermark_.enabled()) {
        const filters::WatermarkSettings settings =
            filters::MakeWatermarkSettings(PreviewWatermark());
        preview_->SetWatermark(&settings);
        preview_has_mark_ = true;
    } else if (preview_has_mark_) {
        // An empty text leaves the converter's picture in place: make it invisible instead.
        filters::WatermarkSettings hidden = filters::MakeWatermarkSettings(PreviewWatermark());
        hidden.kind = 1;
        hidden.alpha = 0.0f;
        preview_->SetWatermark(&hidden);
    }
}

// ---- Reset and OK ----

void Editor::Reset() {
    switch (page_) {
        case EditorPage::kTrim:
            SetTrim(0, length_ms_);
            marks_ = Thumbs{0, kTimeSliderRange};
            break;
        case EditorPage::kCrop:
            values_.edit.zoom_mode = core::kZoomKeepOriginal;
            ApplyCrop(RECT{0, 0, source_.width, source_.height});
            break;
        case EditorPage::kEffect:
            SetBrightness(core::kDefaultEditSettings.brightness);
            SetSaturation(core::kDefaultEditSettings.saturation);
            SetContrastSlider(core::kDefaultEditSettings.hue_degrees + 180);
            break;
        case EditorPage::kWatermark: {
            core::Watermark cleared;
            cleared.font_family = watermark_.font_family;
            cleared.font_size_px = watermark_.font_size_px;
            SetWatermark(cleared);
            break;
        }
    }
    SetVolume(core::kDefaultEditSettings.volume);
}

void Editor::Accept(core::ConvertItem& row) const {
    row.trim_start_ms = values_.trim_start_ms;
    row.trim_length_ms = values_.trim_length_ms;
    row.edit = values_.edit;
}

}  // namespace rizuvira::app
