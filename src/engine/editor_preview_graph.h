// SPDX-License-Identifier: GPL-2.0-or-later
// EditorPreviewGraph: the playback engine of the crop, trim and effect editor. One title (or
// chapter) plays into two pictures at once:
//
//   "Reader" → "Splitter" → "Decoder" (PreviewSource) → "Tee"
//     Tee output 0 → "VideoConver0" (never configured: passes pictures through) → left renderer
//     Tee output 1 → "VideoConver" (the adjusting converter) → right renderer
//   splitter audio pin → automatic rendering, which takes up "AudioConver" (placed in the graph
//   beforehand) between the audio decoder and the audio renderer, for the volume
//   splitter subpicture pin → decoder input 1
//
// The left picture is letterboxed and carries the crop frame: a yellow outline with eight
// handles drawn into a colour-keyed overlay (black is transparent). The right picture shows the
// crop rectangle of the frame with the adjustments applied live. Every edit goes straight into
// the running graph; nothing is rebuilt.
//
// The windows are replaced by surfaces (a Qt widget, or a HeadlessVideoSurface) and a
// notification callback, as for PreviewPlayer. End of stream comes once per play (EC_COMPLETE
// after every renderer finished); the editor stops the graph on it.
//
// Threads: every operation on the application thread; the converters read the forwarded
// settings on their streaming threads, picture by picture.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/messages.h"
#include "decoders/video_renderer.h"
#include "engine/preview_player.h"
#include "filters/video_conv_filter.h"
#include "platform/filter_graph.h"

namespace rizuvira::engine {

class EditorPreviewGraph : public GraphPlayback {
public:
    // The crop frame's colour, 0x00BBGGRR: yellow.
    static constexpr uint32_t kFrameColour = 0x0000FFFF;

    // `messages` receives the failure texts; it must outlive this object.
    explicit EditorPreviewGraph(core::MessageSink* messages);
    ~EditorPreviewGraph();
    EditorPreviewGraph(const EditorPreviewGraph&) = delete;
    EditorPreviewGraph& operator=(const EditorPreviewGraph&) = delete;

    // The area Open plays: title index and chapter (−1: the whole title).
    void SetArea(int title, int chapter) {
        title_ = title;
        chapter_ = chapter;
    }

    // Builds and connects the graph for the open disc `dvd_handle` (kept open by the caller).
    // `left` is required; `right` may be null (then only the left picture is built). A null
    // rectangle means the whole surface, whose size is then taken to be the frame's, and the
    // left picture is letterboxed in it; a given left rectangle has the picture's display shape
    // (the tee's pictures carry none) and the picture fills it. The
    // surfaces must outlive the graph or the next Open/Close.
    bool Open(int32_t dvd_handle, decoders::IVideoSurface* left, const RECT* left_rect,
              decoders::IVideoSurface* right, const RECT* right_rect, int frame_width,
              int frame_height, std::function<void()> notify);

    // Crops the right picture to r ∩ frame and draws the frame of r (the requested rectangle)
    // over the left picture. Nothing happens without a right picture or when the intersection
    // is empty.
    void SetCropRect(const RECT& r);
    RECT GetCropRect() const { return crop_rect_; }
    // The right picture's destination rectangle (its source stays).
    void SetPictureRect(const RECT& r);
    // 0 stretch, 1 letterbox the right picture; other values change nothing.
    void SetLetterbox(int on);

    // Forwarded to the adjusting converter (units as IMyVideoConvFilter) or the audio
    // converter (IMyAudioConvFilter); a missing converter shows its message and changes nothing.
    void SetBrightness(int32_t value);
    void SetSaturation(int32_t value);
    void SetHue(int32_t value);
    void SetWatermark(const filters::WatermarkSettings* settings);
    void SetVolume(int32_t value);

    // Play, Pause, Stop, the state queries, seeking and the stream list come
    // from GraphPlayback.

    // Repaints the left, then the right picture.
    void Repaint();

    void Close();

    // The overlay as last handed to the left renderer (RGB24, left picture size).
    const decoders::OverlayBitmap& Overlay() const { return overlay_; }
    RECT LeftPictureRect() const { return left_picture_rect_; }
    IMediaEventEx* Events() { return events_.Get(); }
    IFilterGraph* Graph() { return graph_.Get(); }

private:
    bool Build(int32_t dvd_handle);
    bool Link(IBaseFilter* from, int out_index, IBaseFilter* to, int in_index, const char* no_out,
              const char* no_in, const char* refused);
    void ClearOverlay();
    void DrawFrame(const RECT& requested);

    ComPtr<IBaseFilter> tee_;
    ComPtr<IBaseFilter> adjusting_converter_;
    ComPtr<IBaseFilter> audio_converter_;
    ComPtr<IBaseFilter> left_renderer_;
    ComPtr<IBaseFilter> right_renderer_;
    ComPtr<decoders::IMyWindowlessControl> left_control_;
    ComPtr<decoders::IMyWindowlessControl> right_control_;
    RECT left_picture_rect_{};
    decoders::OverlayBitmap overlay_;
    RECT frame_rect_{};
    RECT crop_rect_{};
    int title_ = 0;
    int chapter_ = -1;
};

}  // namespace rizuvira::engine
