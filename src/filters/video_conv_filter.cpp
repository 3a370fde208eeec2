// SPDX-License-Identifier: GPL-2.0-or-later
#include "filters/video_conv_filter.h"

extern "C" {
#include <libavutil/imgutils.h>
}

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "filters/text_raster.h"
#include "platform/media_sample.h"

namespace rizuvira::filters {

using namespace rizuvira::filters;

namespace {

// Largest text raster read back for a watermark.
constexpr std::size_t kMaxRasterBytes = 4 * 1024 * 1024;

constexpr uint8_t kBlackLuma = 16;
constexpr uint8_t kBlackChroma = 128;

BITMAPINFOHEADER* MutableBitmapInfoHeader(CMediaType& type) {
    return const_cast<BITMAPINFOHEADER*>(GetBitmapInfoHeader(type));
}

// Bytes of a bitmap row of `width` pixels rounded up to whole 32-bit words, times the height.
DWORD BitmapImageSize(LONG width, LONG height, WORD bit_count) {
    if (width <= 0) return 0;
    const auto row_bytes = (static_cast<uint64_t>(width) * bit_count + 31) / 32 * 4;
    return static_cast<DWORD>(row_bytes * static_cast<uint64_t>(std::abs(int64_t{height})));
}

// The text as UTF-16 code units up to its NUL (or the field's end).
std::u16string_view FieldText(const char16_t (&field)[64]) {
    std::size_t length = 0;
    while (length < 64 && field[length] != 0) ++length;
    return {field, length};
}

std::string FieldString(const char (&field)[64]) {
    std::size_t length = 0;
    while (length < 64 && field[length] != 0) ++length;
    return {field, length};
}

// Renders the record's text and converts the raster to 4:2:0; null when either fails.
std::shared_ptr<WatermarkPicture> MakeTextWatermark(const WatermarkSettings& settings) {
    const std::optional<RgbRaster> raster =
        RenderText(FieldText(settings.text), FieldString(settings.font_family),
                   settings.font_size_px, settings.colour, kMaxRasterBytes);
    if (!raster) return nullptr;
    const int width = raster->width;
    const int height = raster->height;
    core::av::SwsContextPtr converter(sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height,
                                                     AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr,
                                                     nullptr, nullptr));
    if (!converter) return nullptr;
    auto picture = std::make_shared<WatermarkPicture>();
    picture->width = width;
    picture->height = height;
    const int chroma_width = picture->chroma_width();
    const std::size_t chroma_bytes = static_cast<std::size_t>(chroma_width) * ((height + 1) / 2);
    picture->luma.resize(static_cast<std::size_t>(width) * height);
    picture->cb.resize(chroma_bytes);
    picture->cr.resize(chroma_bytes);
    const uint8_t* source[1] = {raster->rgb.data()};
    const int source_stride[1] = {width * 3};
    uint8_t* target[3] = {picture->luma.data(), picture->cb.data(), picture->cr.data()};
    const int target_stride[3] = {width, chroma_width, chroma_width};
    if (sws_scale(converter.get(), source, source_stride, 0, height, target, target_stride) <= 0)
        return nullptr;
    return picture;
}

// UTF-8 to UTF-16; a malformed byte reads as U+FFFD.
std::u16string Utf16(const std::string& text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const int extra = byte < 0x80             ? 0
                          : (byte & 0xE0) == 0xC0 ? 1
                          : (byte & 0xF0) == 0xE0 ? 2
                          : (byte & 0xF8) == 0xF0 ? 3
                                                  : -1;
        char32_t code = extra == 0   ? byte
                        : extra == 1 ? byte & 0x1F
                        : extra == 2 ? byte & 0x0F
                                     : byte & 0x07;
        bool ok = extra >= 0 && i + static_cast<std::size_t>(extra) < text.size();
        for (int k = 1; ok && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            ok = (next & 0xC0) == 0x80;
            code = code << 6 | (next & 0x3F);
        }
        if (!ok || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        i += static_cast<std::size_t>(extra) + 1;
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
    }
    return out;
}

void FillPlane(uint8_t* plane, int stride, int x, int y, int width, int height, uint8_t value) {
    if (width <= 0 || height <= 0) return;
    for (int row = y; row < y + height; ++row)
        std::memset(plane + static_cast<std::ptrdiff_t>(row) * stride + x, value,
                    static_cast<std::size_t>(width));
}

// Paints the bars around the interior of `frame` black; margins are even.
void PaintMargins(const PictureView& frame, const Margins& pad) {
    const int inner_height = frame.height - pad.top - pad.bottom;
    FillPlane(frame.planes[0], frame.strides[0], 0, 0, frame.width, pad.top, kBlackLuma);
    FillPlane(frame.planes[0], frame.strides[0], 0, frame.height - pad.bottom, frame.width,
              pad.bottom, kBlackLuma);
    FillPlane(frame.planes[0], frame.strides[0], 0, pad.top, pad.left, inner_height, kBlackLuma);
    FillPlane(frame.planes[0], frame.strides[0], frame.width - pad.right, pad.top, pad.right,
              inner_height, kBlackLuma);
    const int chroma_width = frame.chroma_width();
    const int chroma_height = frame.chroma_height();
    const Margins half{pad.left / 2, pad.top / 2, pad.right / 2, pad.bottom / 2};
    const int chroma_inner_height = chroma_height - half.top - half.bottom;
    for (int plane = 1; plane <= 2; ++plane) {
        uint8_t* data = frame.planes[plane];
        const int stride = frame.strides[plane];
        FillPlane(data, stride, 0, 0, chroma_width, half.top, kBlackChroma);
        FillPlane(data, stride, 0, chroma_height - half.bottom, chroma_width, half.bottom,
                  kBlackChroma);
        FillPlane(data, stride, 0, half.top, half.left, chroma_inner_height, kBlackChroma);
        FillPlane(data, stride, chroma_width - half.right, half.top, half.right,
                  chroma_inner_height, kBlackChroma);
    }
}

// The sub-picture of `picture` from luma (x, y); chroma from (x / 2, y / 2).
PictureView SubPicture(const PictureView& picture, int x, int y, int width, int height) {
    PictureView view = picture;
    view.planes[0] += static_cast<std::ptrdiff_t>(y) * picture.strides[0] + x;
    for (int plane = 1; plane <= 2; ++plane)
        view.planes[plane] += static_cast<std::ptrdiff_t>(y / 2) * picture.strides[plane] + x / 2;
    view.width = width;
    view.height = height;
    return view;
}

void CopyPicture(const PictureView& target, const PictureView& source) {
    av_image_copy_plane(target.planes[0], target.strides[0], source.planes[0], source.strides[0],
                        source.width, source.height);
    for (int plane = 1; plane <= 2; ++plane)
        av_image_copy_plane(target.planes[plane], target.strides[plane], source.planes[plane],
                            source.strides[plane], source.chroma_width(), source.chroma_height());
}

}  // namespace

CMyVideoConveFilter* CMyVideoConveFilter::CreateInstance(IUnknown* outer, HRESULT* hr) {
    return NewObject([outer] { return new CMyVideoConveFilter(outer); }, hr);
}

CMyVideoConveFilter::CMyVideoConveFilter(IUnknown* outer)
    : CTransformFilter("VideoConver", outer, CLSID_MyVideoConver) {
    GetHueTables();  // built once, before any picture needs them
}

CMyVideoConveFilter::~CMyVideoConveFilter() = default;

HRESULT CMyVideoConveFilter::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IMyVideoConvFilter::iid)
        return GetInterface(static_cast<IMyVideoConvFilter*>(this), object);
    return CTransformFilter::NonDelegatingQueryInterface(riid, object);
}

// ---------------------------------------------------------------------------------------
// IMyVideoConvFilter

HRESULT CMyVideoConveFilter::SetConvertRect(int32_t zoom_mode, int32_t crop_left, int32_t crop_top,
                                            int32_t crop_right, int32_t crop_bottom,
                                            int32_t out_left, int32_t out_top, int32_t out_right,
                                            int32_t out_bottom) {
    std::lock_guard lock(config_mutex_);
    zoom_mode_ = zoom_mode;
    crop_rect_ = RECT{crop_left, crop_top, crop_right, crop_bottom};
    output_rect_ = RECT{out_left, out_top, out_right, out_bottom};
    return S_OK;
}

HRESULT CMyVideoConveFilter::SetSaturation(int32_t saturation) {
    saturation_ = std::clamp(saturation, 0, 128);
    return S_OK;
}

HRESULT CMyVideoConveFilter::SetHue(int32_t hue) {
    hue_ = std::clamp(hue, -180, 180);
    return S_OK;
}

HRESULT CMyVideoConveFilter::SetBrightness(int32_t brightness) {
    brightness_ = std::clamp(brightness, 0, 256);
    return S_OK;
}

HRESULT CMyVideoConveFilter::SetWatermark(const WatermarkSettings* settings) {
    if (!settings) return E_POINTER;
    const WatermarkSettings record = *settings;
    if (record.kind == 0) {
        if (FieldText(record.text).empty()) return S_OK;
        // Rendering happens outside the lock; pictures keep flowing meanwhile.
        std::shared_ptr<const WatermarkPicture> picture = MakeTextWatermark(record);
        std::lock_guard lock(watermark_mutex_);
        watermark_ = std::move(picture);
        if (!watermark_) return E_FAIL;
        watermark_settings_ = record;
        return S_OK;
    }
    std::lock_guard lock(watermark_mutex_);
    if (!watermark_) return E_FAIL;
    watermark_settings_ = record;
    return S_OK;
}

WatermarkSettings MakeWatermarkSettings(const rizuvira::core::Watermark& watermark) {
    WatermarkSettings settings;
    const std::u16string text = Utf16(watermark.text);
    std::size_t units = std::min<std::size_t>(text.size(), rizuvira::core::kMaxWatermarkUnits);
    if (units > 0 && units < text.size() && text[units - 1] >= 0xD800 && text[units - 1] < 0xDC00)
        --units;  // keep a surrogate pair whole
    std::copy_n(text.begin(), units, settings.text);
    const std::size_t family =
        std::min(watermark.font_family.size(), sizeof settings.font_family - 1);
    std::copy_n(watermark.font_family.begin(), family, settings.font_family);
    settings.font_size_px = watermark.font_size_px;
    settings.colour = watermark.colour & 0x00FFFFFF;
    settings.x = watermark.x;
    settings.y = watermark.y;
    settings.alpha = watermark.alpha >= 0.0f ? std::min(watermark.alpha, 1.0f) : 0.0f;
    return settings;
}

std::pair<int, int> CMyVideoConveFilter::WatermarkSize() {
    std::lock_guard lock(watermark_mutex_);
    if (!watermark_) return {0, 0};
    return {watermark_->width, watermark_->height};
}

// ---------------------------------------------------------------------------------------
// Connection

HRESULT CMyVideoConveFilter::CheckInputType(const CMediaType* type) {
    if (!type) return E_POINTER;
    const BITMAPINFOHEADER* found = GetBitmapInfoHeader(*type);
    const BITMAPINFOHEADER header = found ? *found : BITMAPINFOHEADER{};
    {
        std::lock_guard lock(config_mutex_);
        if (RectWidth(crop_rect_) == 0) {
            // Never configured: keep the whole picture at its own size.
            crop_rect_ = RECT{0, 0, header.biWidth, header.biHeight};
            output_rect_ = crop_rect_;
            zoom_mode_ = kZoomFullScreen;
        }
    }
    if (type->majortype != MEDIATYPE_Video || type->subtype != MEDIASUBTYPE_YV12)
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (type->formattype != FORMAT_VideoInfo && type->formattype != FORMAT_VideoInfo2)
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (header.biHeight <= 0 || header.biWidth <= 0) return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CMyVideoConveFilter::CheckTransform(const CMediaType* in, const CMediaType* out) {
    if (!in || !out) return E_POINTER;
    // The geometry follows the input type being checked, so that pictures and sizes agree.
    const BITMAPINFOHEADER* in_header = GetBitmapInfoHeader(*in);
    const BITMAPINFOHEADER* out_header = GetBitmapInfoHeader(*out);
    if (!in_header || !out_header || out->majortype != MEDIATYPE_Video ||
        out->subtype != MEDIASUBTYPE_YV12)
        return VFW_E_TYPE_NOT_ACCEPTED;

    auto stage = std::make_unique<Stage>();
    {
        std::lock_guard lock(config_mutex_);
        if (!ComputeConvertGeometry(in_header->biWidth, in_header->biHeight, DeclaredAspect(*in),
                                    crop_rect_, output_rect_, zoom_mode_, &stage->geometry,
                                    output_aspect_))
            return E_FAIL;
    }
    const ConvertGeometry& g = stage->geometry;
    if (out_header->biWidth < g.out_width || out_header->biHeight != g.out_height)
        return VFW_E_TYPE_NOT_ACCEPTED;
    stage->output_stride = out_header->biWidth;

    if (g.scale_on) {
        stage->scaler.reset(sws_getContext(
            g.crop_width, g.crop_height, AV_PIX_FMT_YUV420P, g.interior_width(),
            g.interior_height(), AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr));
        if (!stage->scaler) return E_FAIL;
    }
    try {
        stage->work.resize(static_cast<std::size_t>(PictureBytes(g.out_width, g.out_height)));
    } catch (const std::bad_alloc&) {
        return E_FAIL;
    }

    std::lock_guard lock(stage_mutex_);
    stage_ = std::move(stage);
    return S_OK;
}

HRESULT CMyVideoConveFilter::GetMediaType(int position, CMediaType* type) {
    if (!type) return E_POINTER;
    if (!m_pInput->IsConnected() || position != 0) return VFW_S_NO_MORE_ITEMS;
    CMediaType proposed = m_pInput->CurrentMediaType();
    RECT output{};
    bool reshaped = false;
    {
        std::lock_guard lock(config_mutex_);
        if (output_rect_ == crop_rect_ && zoom_mode_ != kZoomKeepOriginal)
            return type->Set(proposed);
        output = output_rect_;
        ConvertGeometry g;
        const BITMAPINFOHEADER* in_header = GetBitmapInfoHeader(proposed);
        reshaped = !in_header ||
                   !ComputeConvertGeometry(in_header->biWidth, in_header->biHeight,
                                           DeclaredAspect(proposed), crop_rect_, output_rect_,
                                           zoom_mode_, &g, output_aspect_) ||
                   g.crop_on || g.pad_on || g.scale_on;
    }
    if (!reshaped) return type->Set(proposed);
    BITMAPINFOHEADER* header = MutableBitmapInfoHeader(proposed);
    if (!header) return VFW_S_NO_MORE_ITEMS;
    header->biWidth = RectWidth(output);
    header->biHeight = RectHeight(output);
    header->biSizeImage = BitmapImageSize(header->biWidth, header->biHeight, header->biBitCount);
    if (proposed.IsFixedSize()) proposed.SetSampleSize(header->biSizeImage);
    // A converted picture has square pixels: it shows at the output frame's own shape.
    if (auto* info = proposed.FormatAs<VIDEOINFOHEADER2>();
        info && proposed.formattype == FORMAT_VideoInfo2) {
        const RECT frame{0, 0, header->biWidth, header->biHeight};
        info->rcSource = frame;
        info->rcTarget = frame;
        info->dwPictAspectRatioX = static_cast<DWORD>(header->biWidth);
        info->dwPictAspectRatioY = static_cast<DWORD>(header->biHeight);
    }
    return type->Set(proposed);
}

HRESULT CMyVideoConveFilter::DecideBufferSize(IMemAllocator* allocator,
                                              ALLOCATOR_PROPERTIES* request) {
    if (!allocator || !request) return E_POINTER;
    if (!m_pInput->IsConnected()) return E_UNEXPECTED;
    const BITMAPINFOHEADER* header = GetBitmapInfoHeader(m_pOutput->CurrentMediaType());
    if (!header) return E_FAIL;
    int64_t size = header->biSizeImage;
    if (size == 0) size = int64_t{header->biWidth} * std::abs(int64_t{header->biHeight}) * 4;
    if (size <= 0 || size > std::numeric_limits<LONG>::max()) return E_FAIL;
    // Two, so that the sink may hold the last picture while the next one is made.
    request->cBuffers = 2;
    request->cbBuffer = static_cast<LONG>(size);
    request->cbAlign = 1;
    request->cbPrefix = 0;
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr)) return hr;
    if (actual.cBuffers < request->cBuffers || actual.cbBuffer < request->cbBuffer) return E_FAIL;
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Streaming

HRESULT CMyVideoConveFilter::Receive(IMediaSample* in) {
    if (!CanForward(in)) return CTransformFilter::Receive(in);
    m_bSampleSkipped = false;
    return m_pOutput->Deliver(in);
}

bool CMyVideoConveFilter::CanForward(IMediaSample* in) {
    if (!forward_unchanged_.load(std::memory_order_relaxed)) return false;
    if (brightness_.load(std::memory_order_relaxed) != kNeutralBrightness ||
        saturation_.load(std::memory_order_relaxed) != kNeutralSaturation ||
        hue_.load(std::memory_order_relaxed) != kNeutralHue)
        return false;
    {
        std::lock_guard lock(watermark_mutex_);
        if (watermark_) return false;
    }
    {
        std::lock_guard lock(stage_mutex_);
        if (!stage_) return false;
        const ConvertGeometry& g = stage_->geometry;
        if (g.crop_on || g.pad_on || g.scale_on || stage_->output_stride != g.in_width)
            return false;
        if (in->GetActualDataLength() < PictureBytes(g.in_width, g.in_height)) return false;
    }
    // A sample announcing a new type would carry the upstream type downstream.
    CMediaType type;
    if (in->GetMediaType(&type) == S_OK) return false;
    // The sample's own allocator: an upstream filter may pass on samples of the one before it.
    return CMediaSample::AllocatorBuffers(in) >= kForwardBuffers;
}

HRESULT CMyVideoConveFilter::Transform(IMediaSample* in, IMediaSample* out) {
    BYTE* source = nullptr;
    BYTE* target = nullptr;
    if (FAILED(in->GetPointer(&source)) || FAILED(out->GetPointer(&target)) || !source || !target)
        return E_FAIL;
    std::lock_guard lock(stage_mutex_);
    if (!stage_) return E_UNEXPECTED;
    const ConvertGeometry& g = stage_->geometry;
    // A picture shorter than its type says would be read past its end.
    if (in->GetActualDataLength() < PictureBytes(g.in_width, g.in_height)) return E_FAIL;
    if (!g.crop_on && !g.pad_on && !g.scale_on) return PassThrough(*stage_, source, out);
    return Convert(*stage_, source, out);
}

HRESULT CMyVideoConveFilter::PassThrough(const Stage& stage, const uint8_t* source,
                                         IMediaSample* out) {
    const ConvertGeometry& g = stage.geometry;
    const int stride = stage.output_stride;
    const int chroma_stride = (stride + 1) / 2;
    PictureView input = ContiguousPicture(const_cast<uint8_t*>(source), g.in_width, g.in_height);
    const int64_t needed =
        int64_t{stride} * g.in_height + 2 * int64_t{chroma_stride} * input.chroma_height();
    if (needed > out->GetSize()) return E_FAIL;

    // Rows land at the output stride; the adjustments then work on the output in place.
    BYTE* target = nullptr;
    out->GetPointer(&target);
    PictureView output = input;
    output.planes[0] = target;
    output.planes[1] = target + static_cast<std::ptrdiff_t>(stride) * g.in_height;
    output.planes[2] =
        output.planes[1] + static_cast<std::ptrdiff_t>(chroma_stride) * input.chroma_height();
    output.strides[0] = stride;
    output.strides[1] = chroma_stride;
    output.strides[2] = chroma_stride;
    CopyPicture(output, input);
    Adjust(output);
    return out->SetActualDataLength(static_cast<LONG>(needed));
}

HRESULT CMyVideoConveFilter::Convert(Stage& stage, const uint8_t* source, IMediaSample* out) {
    const ConvertGeometry& g = stage.geometry;
    const int picture_bytes = PictureBytes(g.out_width, g.out_height);
    BYTE* target = nullptr;
    out->GetPointer(&target);
    // The picture is assembled in the output buffer itself when it fits there (one contiguous
    // block, rows of W_out), else in the work picture and cut to the buffer's size.
    const bool in_place = out->GetSize() >= picture_bytes;
    const PictureView frame =
        ContiguousPicture(in_place ? target : stage.work.data(), g.out_width, g.out_height);

    const PictureView input =
        ContiguousPicture(const_cast<uint8_t*>(source), g.in_width, g.in_height);
    const PictureView cropped =
        g.crop_on ? SubPicture(input, g.crop.left, g.crop.top, g.crop_width, g.crop_height)
                  : SubPicture(input, 0, 0, g.crop_width, g.crop_height);
    const PictureView interior =
        SubPicture(frame, g.pad.left, g.pad.top, g.interior_width(), g.interior_height());
    if (g.scale_on) {
        const uint8_t* const planes[3] = {cropped.planes[0], cropped.planes[1], cropped.planes[2]};
        sws_scale(stage.scaler.get(), planes, cropped.strides, 0, g.crop_height, interior.planes,
                  interior.strides);
    } else {
        CopyPicture(interior, cropped);
    }
    if (g.pad_on) PaintMargins(frame, g.pad);

    Adjust(frame);
    if (in_place) return out->SetActualDataLength(picture_bytes);
    const LONG copied = std::min<LONG>(picture_bytes, out->GetSize());
    std::memcpy(target, stage.work.data(), static_cast<std::size_t>(copied));
    return out->SetActualDataLength(copied);
}

void CMyVideoConveFilter::Adjust(const PictureView& picture) {
    const int32_t brightness = brightness_.load(std::memory_order_relaxed);
    const int32_t saturation = saturation_.load(std::memory_order_relaxed);
    const int32_t hue = hue_.load(std::memory_order_relaxed);
    if (brightness != kNeutralBrightness) ApplyBrightness(picture, brightness);
    if (hue != kNeutralHue || saturation != kNeutralSaturation)
        ApplySaturationHue(picture, saturation, hue);

    std::shared_ptr<const WatermarkPicture> mark;
    int x = 0;
    int y = 0;
    float alpha = 0.0f;
    {
        std::lock_guard lock(watermark_mutex_);
        mark = watermark_;
        x = watermark_settings_.x;
        y = watermark_settings_.y;
        alpha = watermark_settings_.alpha;
    }
    if (mark) BlendWatermark(picture, *mark, x, y, alpha);
}

}  // namespace rizuvira::filters
