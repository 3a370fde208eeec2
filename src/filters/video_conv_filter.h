// SPDX-License-Identifier: GPL-2.0-or-later
// CMyVideoConveFilter: the video converter stage. One YV12 picture in, one YV12 picture out,
// with the same times: crop, fit into the output frame by zoom mode (black bars or stretch),
// bicubic scaling (libswscale), brightness, saturation and hue, and an optional text
// watermark. Configured only through IMyVideoConvFilter.
//
// Geometry (crop, zoom mode, output rectangle) is read when the output pin's type is checked
// (CheckTransform), so SetConvertRect takes effect at the next connection of the output pin.
// Brightness, saturation, hue and the watermark are read for every picture.
//
// An unconfigured filter passes pictures through unchanged: the first input type it sees sets
// crop and output rectangle to the whole picture.
//
// With ForwardUnchanged on, a picture that nothing changes (no crop, bars or scaling, neutral
// brightness, saturation and hue, no watermark) is delivered as the sample it came in, not
// copied: the downstream filter then holds the upstream allocator's sample. That is only done
// when the sample's allocator has at least kForwardBuffers samples, so that one held
// downstream leaves the upstream filter buffers to decode into.
//
// Threads and locks:
//  - the setters run on the application (user-interface) thread at any time;
//  - brightness, saturation and hue are atomics, read once per picture;
//  - config_mutex_ guards the requested geometry (zoom mode, crop and output rectangles);
//  - stage_mutex_ guards the built geometry (sizes, scaler, work picture), replaced by
//    CheckTransform and held by Transform for one picture;
//  - watermark_mutex_ guards the watermark picture and its settings. Transform takes a
//    shared reference to the picture under it and blends outside it, so SetWatermark may
//    replace the picture while a blend still uses the old one: the old one lives until that
//    blend ends.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>

#include "core/av_handles.h"
#include "core/watermark.h"
#include "filters/picture_adjust.h"
#include "filters/video_geometry.h"
#include "platform/transform_filter.h"

namespace rizuvira::filters {

inline constexpr GUID CLSID_MyVideoConver = "4BB8A01A-CC73-4F1B-AB7B-18E7209C3E9D"_guid;

// What SetWatermark receives; the filter keeps a copy of the whole record.
struct WatermarkSettings {
    int32_t kind = 0;               // 0: text watermark; anything else: image (moves the text one)
    char16_t text[64] = {};         // NUL-terminated (at most 64 units are read)
    char font_family[64] = {};      // fontconfig family name, NUL-terminated ("DejaVu Sans")
    int32_t font_size_px = 24;      // em height in pixels
    uint32_t colour = 0;            // 0x00BBGGRR
    char16_t image_path[260] = {};  // shown by the editor; the filter does not read it
    int32_t x = 0;                  // left edge in output luma pixels (may be negative)
    int32_t y = 0;                  // top edge in output luma pixels (may be negative)
    float alpha = 1.0f;             // 0.0 invisible .. 1.0 opaque
};

// The text record for `watermark`: the text as UTF-16 cut after kMaxWatermarkUnits units (never
// inside a character), the family cut to the field, kind 0.
WatermarkSettings MakeWatermarkSettings(const rizuvira::core::Watermark& watermark);

struct IMyVideoConvFilter : virtual IUnknown {
    static constexpr GUID iid = "A264C372-A83D-42E1-9D93-D6F10B3D95CD"_guid;

    // Zoom mode (0 keep the crop's ratio, 1 full screen, 2 16:9, 3 4:3), crop rectangle in
    // input pixels, output rectangle (0, 0, width, height). Used at the next output connection.
    virtual HRESULT SetConvertRect(int32_t zoom_mode, int32_t crop_left, int32_t crop_top,
                                   int32_t crop_right, int32_t crop_bottom, int32_t out_left,
                                   int32_t out_top, int32_t out_right, int32_t out_bottom) = 0;
    virtual HRESULT SetSaturation(int32_t saturation) = 0;  // 1/64 steps, clamped to 0..128
    virtual HRESULT SetHue(int32_t hue) = 0;                // degrees, clamped to -180..180
    virtual HRESULT SetBrightness(int32_t brightness) = 0;  // 1/128 steps, clamped to 0..256
    // Text record with text: renders it (E_FAIL and no watermark when that fails). Text record
    // with empty text: S_OK, nothing changes. Any record: E_FAIL when no watermark picture
    // exists, else the record (position, weight) is stored.
    virtual HRESULT SetWatermark(const WatermarkSettings* settings) = 0;
};

inline constexpr const GUID& IID_IMyVideoConvFilter = IMyVideoConvFilter::iid;

class CMyVideoConveFilter final : public CTransformFilter, public IMyVideoConvFilter {
public:
    // A new filter with no references (take it with a ComPtr); null with E_OUTOFMEMORY in *hr
    // when it cannot be made.
    static CMyVideoConveFilter* CreateInstance(IUnknown* outer, HRESULT* hr);

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;

    // IMyVideoConvFilter
    HRESULT SetConvertRect(int32_t zoom_mode, int32_t crop_left, int32_t crop_top,
                           int32_t crop_right, int32_t crop_bottom, int32_t out_left,
                           int32_t out_top, int32_t out_right, int32_t out_bottom) override;
    HRESULT SetSaturation(int32_t saturation) override;
    HRESULT SetHue(int32_t hue) override;
    HRESULT SetBrightness(int32_t brightness) override;
    HRESULT SetWatermark(const WatermarkSettings* settings) override;

    // Whether unchanged pictures are forwarded rather than copied (see above); off by
    // default. Set before the graph runs.
    void ForwardUnchanged(bool on) { forward_unchanged_ = on; }
    // The display aspect of the whole output frame ({0, 0}, the default: square pixels), for
    // an output that keeps pixels of another shape. Used at the next output connection.
    void SetOutputAspect(PictureAspect aspect) {
        std::lock_guard lock(config_mutex_);
        output_aspect_ = aspect;
    }
    static constexpr LONG kForwardBuffers = 3;

    // CTransformFilter
    HRESULT Receive(IMediaSample* in) override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
    HRESULT CheckInputType(const CMediaType* type) override;
    HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;

    // Size of the current watermark picture in luma pixels ((0, 0): none).
    std::pair<int, int> WatermarkSize();

private:
    explicit CMyVideoConveFilter(IUnknown* outer);
    ~CMyVideoConveFilter() override;

    // What CheckTransform builds for the stream.
    struct Stage {
        rizuvira::filters::ConvertGeometry geometry;
        int32_t output_stride = 0;       // luma row stride of a pass-through output
        core::av::SwsContextPtr scaler;  // only while scaling is on
        std::vector<uint8_t> work;       // W_out x H_out, used when an output
                                         // buffer is too small for the picture
    };

    HRESULT PassThrough(const Stage& stage, const uint8_t* source, IMediaSample* out);
    // Whether `in` may be delivered as it is: nothing would change it, its layout is the
    // output's and its allocator has samples to spare.
    bool CanForward(IMediaSample* in);
    HRESULT Convert(Stage& stage, const uint8_t* source, IMediaSample* out);
    void Adjust(const rizuvira::filters::PictureView& picture);

    std::atomic<bool> forward_unchanged_{false};
    std::atomic<int32_t> brightness_{rizuvira::filters::kNeutralBrightness};
    std::atomic<int32_t> hue_{rizuvira::filters::kNeutralHue};
    std::atomic<int32_t> saturation_{rizuvira::filters::kNeutralSaturation};

    std::mutex config_mutex_;
    int32_t zoom_mode_ = rizuvira::filters::kZoomFullScreen;  // guarded by config_mutex_
    RECT crop_rect_{};                                        // guarded by config_mutex_
    RECT output_rect_{};                                      // guarded by config_mutex_
    PictureAspect output_aspect_{};                           // guarded by config_mutex_

    std::mutex stage_mutex_;
    std::unique_ptr<Stage> stage_;  // guarded by stage_mutex_

    std::mutex watermark_mutex_;
    std::shared_ptr<const rizuvira::filters::WatermarkPicture> watermark_;  // guarded
    WatermarkSettings watermark_settings_;                                  // guarded
};

}  // namespace rizuvira::filters
