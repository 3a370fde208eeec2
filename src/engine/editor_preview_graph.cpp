// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/editor_preview_graph.h"

#include <algorithm>
#include <memory>

#include "decoders/register.h"
#include "engine/stage_table.h"
#include "filters/audio_conv_filter.h"
#include "filters/tee_filter.h"
#include "platform/uuids.h"

namespace rizuvira::engine {

namespace {

constexpr int kPenWidth = 2;
constexpr int kHandleBefore =
    3;  // a handle spans p - 3 .. p + 3 (GDI's right and bottom are exclusive)
constexpr int kHandleAfter = 4;

// A renderer in windowless mode presenting into `surface`; null on failure.
ComPtr<IBaseFilter> MakeRenderer(IGraphBuilder* graph, decoders::IVideoSurface* surface,
                                 ComPtr<decoders::IMyWindowlessControl>* control) {
    ComPtr<IBaseFilter> renderer;
    if (FAILED(MakeStage(CLSID_VideoMixingRenderer, &renderer)) ||
        FAILED(graph->AddFilter(renderer.Get(), "Video Mixing Renderer")))
        return {};
    *control = renderer.As<decoders::IMyWindowlessControl>();
    ComPtr<decoders::IMyVideoRenderer> video = renderer.As<decoders::IMyVideoRenderer>();
    if (!*control || !video) return {};
    video->SetSurface(surface);
    return renderer;
}

}  // namespace

EditorPreviewGraph::EditorPreviewGraph(core::MessageSink* messages) : GraphPlayback(messages) {
    decoders::RegisterDecoders();
}

EditorPreviewGraph::~EditorPreviewGraph() {
    Close();
}

bool EditorPreviewGraph::Open(int32_t dvd_handle, decoders::IVideoSurface* left,
                              const RECT* left_rect, decoders::IVideoSurface* right,
                              const RECT* right_rect, int frame_width, int frame_height,
                              std::function<void()> notify) {
    Close();
    if (!CreateGraph(std::move(notify))) return false;
    if (!left || !(left_renderer_ = MakeRenderer(graph_.Get(), left, &left_control_))) return false;
    // The tee's pictures carry no display aspect: a letterbox would show them at their stored
    // shape. A given left rectangle has the display shape already, so the picture fills it.
    left_control_->SetAspectRatioMode(left_rect ? decoders::VMR_ARMODE_NONE
                                                : decoders::VMR_ARMODE_LETTER_BOX);
    if (right && !(right_renderer_ = MakeRenderer(graph_.Get(), right, &right_control_)))
        return false;

    frame_rect_ = {0, 0, frame_width, frame_height};
    if (!Build(dvd_handle) || !left_control_) return false;

    const RECT left_dest = left_rect ? *left_rect : frame_rect_;
    left_picture_rect_ = {0, 0, RectWidth(left_dest), RectHeight(left_dest)};
    left_control_->SetVideoPosition(nullptr, &left_dest);
    left_control_->RepaintVideo();
    left_control_->SetBorderColor(0);
    overlay_ = {};
    overlay_.width = RectWidth(left_picture_rect_);
    overlay_.height = RectHeight(left_picture_rect_);
    overlay_.rgb.assign(static_cast<std::size_t>(std::max(overlay_.width, 0)) *
                            static_cast<std::size_t>(std::max(overlay_.height, 0)) * 3,
                        0);

    if (!right_control_) return true;
    const RECT right_dest = right_rect ? *right_rect : frame_rect_;
    crop_rect_ = frame_rect_;
    right_control_->SetVideoPosition(nullptr, &right_dest);
    right_control_->RepaintVideo();
    right_control_->SetBorderColor(0);
    return true;
}

bool EditorPreviewGraph::Link(IBaseFilter* from, int out_index, IBaseFilter* to, int in_index,
                              const char* no_out, const char* no_in, const char* refused) {
    ComPtr<IPin> out = GetFilterPin(from, PINDIR_OUTPUT, out_index);
    if (!out) return Fail(no_out);
    ComPtr<IPin> in = GetFilterPin(to, PINDIR_INPUT, in_index);
    if (!in) return Fail(no_in);
    if (FAILED(graph_->ConnectDirect(out.Get(), in.Get(), nullptr))) return Fail(refused);
    return true;
}

bool EditorPreviewGraph::Build(int32_t dvd_handle) {
    if (!source_.AddFilters(graph_.Get()) || !source_.OpenDisc(dvd_handle) ||
        !source_.SelectArea(title_, chapter_) || !source_.ConnectDecoder())
        return false;
    if (ComPtr<IPin> audio = source_.SoundPin()) {
        // Placed beforehand, automatic rendering takes it up for the volume.
        ComPtr<IBaseFilter> converter;
        if (FAILED(MakeStage(filters::CLSID_MyAudioConver, &converter)) ||
            FAILED(graph_->AddFilter(converter.Get(), "AudioConver")))
            return Fail("CLSID_MyAudioConver error");
        audio_converter_ = converter;
        if (FAILED(graph_->Render(audio.Get()))) return Fail("render splitter error(audio)");
    }

    ComPtr<IBaseFilter> tee;
    if (FAILED(MakeStage(filters::CLSID_MyTee, &tee)) ||
        FAILED(graph_->AddFilter(tee.Get(), "Tee")))
        return Fail("Create Tee error");
    tee_ = tee;
    if (!Link(source_.decoder(), 0, tee_.Get(), 0, "get decoder output pin error",
              "get tee input pin error", "connect decoder and tee error"))
        return false;

    ComPtr<IBaseFilter> passthrough;
    if (FAILED(MakeStage(filters::CLSID_MyVideoConver, &passthrough)) ||
        FAILED(graph_->AddFilter(passthrough.Get(), "VideoConver0")))
        return Fail("CLSID_MyVideoConver0 error");
    if (!Link(tee_.Get(), 0, passthrough.Get(), 0, "get tee output pin0 error",
              "get video conver0 input pin error", "connect tee output0 to videoconver0 error") ||
        !Link(passthrough.Get(), 0, left_renderer_.Get(), 0, "get video conver0 output pin error",
              "get render0 input pin0 error", "connect videoconver0 output0 to render0 error"))
        return false;

    if (right_renderer_) {
        ComPtr<IBaseFilter> adjusting;
        if (FAILED(MakeStage(filters::CLSID_MyVideoConver, &adjusting)) ||
            FAILED(graph_->AddFilter(adjusting.Get(), "VideoConver")))
            return Fail("CLSID_MyVideoConver error");
        adjusting_converter_ = adjusting;
        if (!Link(tee_.Get(), 1, adjusting.Get(), 0, "get tee output pin1 error",
                  "get video conver input pin error", "connect tee to video conver error") ||
            !Link(adjusting.Get(), 0, right_renderer_.Get(), 0, "get video conver output pin error",
                  "get render input pin1 error", "connect tee output1 to render1 error"))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// The crop frame

void EditorPreviewGraph::ClearOverlay() {
    std::fill(overlay_.rgb.begin(), overlay_.rgb.end(), 0);
}

void EditorPreviewGraph::DrawFrame(const RECT& r) {
    const int width = overlay_.width, height = overlay_.height;
    const auto plot = [&](int x, int y, bool pen) {
        if (x < 0 || y < 0 || x >= width || y >= height) return;
        uint8_t* pixel =
            &overlay_.rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                           static_cast<std::size_t>(x)) *
                          3];
        pixel[0] = pen ? (kFrameColour & 0xFF) : 0;
        pixel[1] = pen ? (kFrameColour >> 8 & 0xFF) : 0;
        pixel[2] = pen ? (kFrameColour >> 16 & 0xFF) : 0;
    };
    // A 2-pixel pen covers the line and the pixels just before it (left of a vertical line,
    // above a horizontal one).
    const auto horizontal = [&](int x_from, int x_to, int y) {
        for (int x = std::min(x_from, x_to) - (kPenWidth - 1); x <= std::max(x_from, x_to); ++x)
            for (int w = 0; w < kPenWidth; ++w) plot(x, y - w, true);
    };
    const auto vertical = [&](int x, int y_from, int y_to) {
        for (int y = std::min(y_from, y_to) - (kPenWidth - 1); y <= std::max(y_from, y_to); ++y)
            for (int w = 0; w < kPenWidth; ++w) plot(x - w, y, true);
    };
    const float fw = static_cast<float>(RectWidth(frame_rect_));
    const float fh = static_cast<float>(RectHeight(frame_rect_));
    const auto map = [](LONG v, float frame, int picture) {
        const float f = static_cast<float>(v) / frame;
        return static_cast<int>(static_cast<float>(picture) * f + 0.5f);
    };
    const int x1 = map(r.left, fw, width), x2 = map(r.right, fw, width);
    const int y1 = map(r.top, fh, height), y2 = map(r.bottom, fh, height);
    horizontal(x1, x2, y1);
    vertical(x2, y1, y2);
    horizontal(x2, x1, y2);
    vertical(x1, y2, y1);
    const int mx = x1 + (x2 - x1) / 2, my = y1 + (y2 - y1) / 2;
    const int handles[8][2] = {{x1, y1}, {mx, y1}, {x2, y1}, {x2, my},
                               {x2, y2}, {mx, y2}, {x1, y2}, {x1, my}};
    for (const auto& h : handles) {
        const int left = h[0] - kHandleBefore, top = h[1] - kHandleBefore;
        const int right = h[0] + kHandleAfter, bottom = h[1] + kHandleAfter;  // exclusive
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) {
                const bool border = x < left + kPenWidth || x >= right - kPenWidth ||
                                    y < top + kPenWidth || y >= bottom - kPenWidth;
                plot(x, y, border);
            }
    }
}

void EditorPreviewGraph::SetCropRect(const RECT& r) {
    if (!right_control_) return;
    const RECT c{std::max(r.left, frame_rect_.left), std::max(r.top, frame_rect_.top),
                 std::min(r.right, frame_rect_.right), std::min(r.bottom, frame_rect_.bottom)};
    if (IsRectEmpty(c)) return;
    crop_rect_ = c;
    right_control_->SetVideoPosition(&c, nullptr);
    ClearOverlay();
    DrawFrame(r);
    overlay_.source = left_picture_rect_;
    overlay_.dest_left = 0.0f;
    overlay_.dest_top = 0.0f;
    overlay_.dest_right = 1.0f;
    overlay_.dest_bottom = 1.0f;
    overlay_.alpha = 1.0f;
    overlay_.colour_key = 0;
    if (left_control_) left_control_->SetAlphaBitmap(&overlay_);
}

void EditorPreviewGraph::SetPictureRect(const RECT& r) {
    if (right_control_) right_control_->SetVideoPosition(nullptr, &r);
}

void EditorPreviewGraph::SetLetterbox(int on) {
    if (!right_control_ || (on != 0 && on != 1)) return;
    right_control_->SetAspectRatioMode(on ? decoders::VMR_ARMODE_LETTER_BOX
                                          : decoders::VMR_ARMODE_NONE);
}

// ---------------------------------------------------------------------------------------
// Forwarded settings

void EditorPreviewGraph::SetBrightness(int32_t value) {
    ComPtr<filters::IMyVideoConvFilter> video =
        adjusting_converter_ ? adjusting_converter_.As<filters::IMyVideoConvFilter>() : nullptr;
    if (!video) return (void)Fail("IID_IMyVideoConvFilter error");
    video->SetBrightness(value);
}
void EditorPreviewGraph::SetSaturation(int32_t value) {
    ComPtr<filters::IMyVideoConvFilter> video =
        adjusting_converter_ ? adjusting_converter_.As<filters::IMyVideoConvFilter>() : nullptr;
    if (!video) return (void)Fail("IID_IMyVideoConvFilter error");
    video->SetSaturation(value);
}
void EditorPreviewGraph::SetHue(int32_t value) {
    ComPtr<filters::IMyVideoConvFilter> video =
        adjusting_converter_ ? adjusting_converter_.As<filters::IMyVideoConvFilter>() : nullptr;
    if (!video) return (void)Fail("IID_IMyVideoConvFilter error");
    video->SetHue(value);
}
void EditorPreviewGraph::SetWatermark(const filters::WatermarkSettings* settings) {
    ComPtr<filters::IMyVideoConvFilter> video =
        adjusting_converter_ ? adjusting_converter_.As<filters::IMyVideoConvFilter>() : nullptr;
    if (!video) return (void)Fail("IID_IMyVideoConvFilter error");
    video->SetWatermark(settings);
}
void EditorPreviewGraph::SetVolume(int32_t value) {
    ComPtr<filters::IMyAudioConvFilter> audio =
        audio_converter_ ? audio_converter_.As<filters::IMyAudioConvFilter>() : nullptr;
    if (!audio) return (void)Fail("IID_IMyAudioConvFilter error");
    audio->SetVolume(value);
}

// ---------------------------------------------------------------------------------------
// Playback

void EditorPreviewGraph::Repaint() {
    if (left_control_) left_control_->RepaintVideo();
    if (right_control_) right_control_->RepaintVideo();
}

void EditorPreviewGraph::Close() {
    StopGraph();
    for (const ComPtr<IBaseFilter>& renderer : {left_renderer_, right_renderer_})
        if (renderer)
            if (ComPtr<decoders::IMyVideoRenderer> video =
                    renderer.As<decoders::IMyVideoRenderer>())
                video->SetSurface(nullptr);
    ReleaseGraph();
    left_renderer_ = nullptr;
    right_renderer_ = nullptr;
    tee_ = nullptr;
    audio_converter_ = nullptr;
    adjusting_converter_ = nullptr;
    left_control_ = nullptr;
    right_control_ = nullptr;
    overlay_ = {};
    crop_rect_ = {};
}

}  // namespace rizuvira::engine
