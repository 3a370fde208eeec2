// SPDX-License-Identifier: GPL-2.0-or-later
#include "decoders/mpeg_video_decoder.h"

extern "C" {
#include <libavutil/imgutils.h>
}

#include <cmath>
#include <cstring>
#include <numeric>

namespace rizuvira::decoders {

namespace {

constexpr REFERENCE_TIME kFallbackFramePeriod = 333667;  // 29.97 fps
constexpr REFERENCE_TIME kSubtitleLookahead100ns = UNITS;
constexpr std::size_t kMaxPendingPictures = 60;

// Display aspect from the aspect code of a sequence header.
void AspectFromSequenceHeader(const std::vector<uint8_t>& header, bool mpeg2, int width, int height,
                              int* x, int* y) {
    *x = width;
    *y = height;
    if (header.size() < 8 || width <= 0 || height <= 0) return;
    const int code = header[7] >> 4;
    if (mpeg2) {
        if (code == 2) *x = 4, *y = 3;
        if (code == 3) *x = 16, *y = 9;
        if (code == 4) *x = 221, *y = 100;
        return;
    }
    // MPEG-1 gives the pixel's height / width.
    static constexpr double kPelAspect[16] = {1.0,    1.0,    0.6735, 0.7031, 0.7615, 0.8055,
                                              0.8437, 0.8935, 0.9157, 0.9815, 1.0255, 1.0695,
                                              1.0950, 1.1575, 1.2015, 1.0};
    *x = static_cast<int>(std::lround(width / kPelAspect[code]));
    *y = height;
}

// The decoder configuration record (avcC) that libavcodec takes for H.264 with 4-byte length
// prefixes, from the format block's parameter sets (each behind a 2-byte length). Empty when
// the block holds no sequence parameter set.
std::vector<uint8_t> AvcConfigurationRecord(const BYTE* sets, std::size_t size) {
    std::vector<std::vector<uint8_t>> sps, pps;
    for (std::size_t at = 0; at + 2 <= size;) {
        const std::size_t n = std::size_t{sets[at]} << 8 | sets[at + 1];
        at += 2;
        if (n == 0 || n > size - at) break;
        std::vector<uint8_t> nal(sets + at, sets + at + n);
        at += n;
        if ((nal[0] & 0x1F) == 7 && sps.size() < 31)
            sps.push_back(std::move(nal));
        else if ((nal[0] & 0x1F) == 8 && pps.size() < 255)
            pps.push_back(std::move(nal));
    }
    if (sps.empty() || sps[0].size() < 4) return {};
    std::vector<uint8_t> record{1,         sps[0][1], sps[0][2],
                                sps[0][3], 0xFF,      static_cast<uint8_t>(0xE0 | sps.size())};
    auto append = [&record](const std::vector<std::vector<uint8_t>>& list) {
        for (const std::vector<uint8_t>& nal : list) {
            record.push_back(static_cast<uint8_t>(nal.size() >> 8));
            record.push_back(static_cast<uint8_t>(nal.size()));
            record.insert(record.end(), nal.begin(), nal.end());
        }
    };
    append(sps);
    record.push_back(static_cast<uint8_t>(pps.size()));
    append(pps);
    return record;
}

CMediaType MakeOutputType(const VideoInputFormat& in, bool info2) {
    CMediaType type(MEDIATYPE_Video);
    type.subtype = MEDIASUBTYPE_YV12;
    const auto image_bytes = static_cast<DWORD>(Yv12Bytes(in.width, in.height));
    type.SetSampleSize(image_bytes);
    type.SetTemporalCompression(FALSE);
    const RECT frame{0, 0, in.width, in.height};
    const REFERENCE_TIME period =
        in.frame_period_100ns > 0 ? in.frame_period_100ns : kFallbackFramePeriod;
    BITMAPINFOHEADER bmi{};
    bmi.biSize = sizeof(BITMAPINFOHEADER);
    bmi.biWidth = in.width;
    bmi.biHeight = in.height;
    bmi.biPlanes = 1;
    bmi.biBitCount = 12;
    bmi.biCompression = MakeFourCC('Y', 'V', '1', '2');
    bmi.biSizeImage = image_bytes;
    if (info2) {
        type.formattype = FORMAT_VideoInfo2;
        auto* vih =
            reinterpret_cast<VIDEOINFOHEADER2*>(type.AllocFormatBuffer(sizeof(VIDEOINFOHEADER2)));
        if (!vih) return CMediaType();
        vih->rcSource = frame;
        vih->rcTarget = frame;
        vih->AvgTimePerFrame = period;
        vih->dwPictAspectRatioX = static_cast<DWORD>(in.aspect_x);
        vih->dwPictAspectRatioY = static_cast<DWORD>(in.aspect_y);
        vih->bmiHeader = bmi;
    } else {
        type.formattype = FORMAT_VideoInfo;
        auto* vih =
            reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
        if (!vih) return CMediaType();
        vih->rcSource = frame;
        vih->rcTarget = frame;
        vih->AvgTimePerFrame = period;
        vih->bmiHeader = bmi;
    }
    return type;
}

}  // namespace

bool ParseVideoInputType(const AM_MEDIA_TYPE& type, VideoInputFormat* format) {
    if (!format || type.majortype != MEDIATYPE_Video || !type.pbFormat) return false;
    VideoInputFormat f;
    bool mpeg2 = false;
    const BYTE* block = type.pbFormat;
    const std::size_t length = type.cbFormat;
    // An MPEG2VIDEOINFO block: the picture's size, shape and period, and where the
    // sequence header (or the parameter sets) follow.
    constexpr std::size_t mpeg2_fixed = offsetof(MPEG2VIDEOINFO, dwSequenceHeader);
    const auto read_mpeg2_info = [&](MPEG2VIDEOINFO* info) {
        if (type.formattype != FORMAT_MPEG2Video || length < mpeg2_fixed) return false;
        std::memcpy(info, block, mpeg2_fixed);
        if (info->cbSequenceHeader > length - mpeg2_fixed) return false;
        f.width = info->hdr.bmiHeader.biWidth;
        f.height = std::abs(info->hdr.bmiHeader.biHeight);
        f.aspect_x = static_cast<int>(info->hdr.dwPictAspectRatioX);
        f.aspect_y = static_cast<int>(info->hdr.dwPictAspectRatioY);
        f.frame_period_100ns = info->hdr.AvgTimePerFrame;
        return true;
    };
    MPEG2VIDEOINFO info2;
    if (type.subtype == MEDIASUBTYPE_MPEG2_VIDEO && type.formattype == FORMAT_MPEG2Video) {
        if (!read_mpeg2_info(&info2)) return false;
        f.codec_id = AV_CODEC_ID_MPEG2VIDEO;
        f.sequence_header.assign(block + mpeg2_fixed, block + mpeg2_fixed + info2.cbSequenceHeader);
        mpeg2 = true;
    } else if ((type.subtype == MEDIASUBTYPE_MPEG1Payload ||
                type.subtype == MEDIASUBTYPE_MPEG1Packet ||
                type.subtype == MEDIASUBTYPE_MPEG1Video) &&
               type.formattype == FORMAT_MPEGVideo) {
        constexpr std::size_t fixed = offsetof(MPEG1VIDEOINFO, bSequenceHeader);
        if (length < fixed) return false;
        MPEG1VIDEOINFO info;
        std::memcpy(&info, block, fixed);
        if (info.cbSequenceHeader > length - fixed) return false;
        f.codec_id = AV_CODEC_ID_MPEG1VIDEO;
        f.width = info.hdr.bmiHeader.biWidth;
        f.height = std::abs(info.hdr.bmiHeader.biHeight);
        f.frame_period_100ns = info.hdr.AvgTimePerFrame;
        f.sequence_header.assign(block + fixed, block + fixed + info.cbSequenceHeader);
    } else if ((type.subtype == MEDIASUBTYPE_AVC1 || type.subtype == MEDIASUBTYPE_H264) &&
               type.formattype == FORMAT_MPEG2Video) {
        if (!read_mpeg2_info(&info2)) return false;
        f.codec_id = AV_CODEC_ID_H264;
        f.sequence_header = AvcConfigurationRecord(block + mpeg2_fixed, info2.cbSequenceHeader);
        if (f.sequence_header.empty()) return false;
    } else {
        return false;
    }
    // The format block's picture size is the one that counts; the sequence header backs it up.
    if ((f.width <= 0 || f.height <= 0) && f.codec_id != AV_CODEC_ID_H264 &&
        f.sequence_header.size() >= 7) {
        f.width = f.sequence_header[4] << 4 | f.sequence_header[5] >> 4;
        f.height = (f.sequence_header[5] & 0x0F) << 8 | f.sequence_header[6];
    }
    if (f.width <= 0 || f.height <= 0 || f.width > 4096 || f.height > 4096) return false;
    if (f.aspect_x <= 0 || f.aspect_y <= 0)
        AspectFromSequenceHeader(f.sequence_header, mpeg2, f.width, f.height, &f.aspect_x,
                                 &f.aspect_y);
    const int divisor = std::gcd(f.aspect_x, f.aspect_y);
    if (divisor > 1) f.aspect_x /= divisor, f.aspect_y /= divisor;
    *format = std::move(f);
    return true;
}

// ---------------------------------------------------------------------------------------
// Subpicture input

CSubpictureInputPin::CSubpictureInputPin(CMpegVideoDecoder* filter, CCritSec* lock, HRESULT* hr)
    : CBaseInputPin("Subpicture input", filter, lock, hr, "Subpicture"), decoder_(filter) {}

HRESULT CSubpictureInputPin::CheckMediaType(const CMediaType* type) {
    if (!type) return E_POINTER;
    if ((type->majortype == MEDIATYPE_Video || type->majortype == MEDIATYPE_Subtitle) &&
        (type->subtype == MEDIASUBTYPE_DVD_SUBPICTURE || type->subtype == MEDIASUBTYPE_HDMVSUB))
        return S_OK;
    return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CSubpictureInputPin::SetMediaType(const CMediaType* type) {
    const HRESULT hr = CBaseInputPin::SetMediaType(type);
    if (SUCCEEDED(hr)) decoder_->overlay_.SetGraphics(type->subtype == MEDIASUBTYPE_HDMVSUB);
    return hr;
}

HRESULT CSubpictureInputPin::Receive(IMediaSample* sample) {
    HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    // The splitter moves its subpicture output to the chosen stream with a new type on the
    // first sample: a Blu-ray's graphics follow the "no subtitles" stand-in.
    if (CMediaType change; sample->GetMediaType(&change) == S_OK)
        decoder_->overlay_.SetGraphics(change.subtype == MEDIASUBTYPE_HDMVSUB);
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data) return S_OK;
    const LONG size = sample->GetActualDataLength();
    REFERENCE_TIME start = 0, stop = 0;
    const int64_t pts = SUCCEEDED(sample->GetTime(&start, &stop)) ? start : AV_NOPTS_VALUE;
    if (size > 0) decoder_->overlay_.AddPacket(data, static_cast<std::size_t>(size), pts);
    // A subpicture that does not decode is only a missing subtitle: never stop the stream.
    return S_OK;
}

HRESULT CSubpictureInputPin::EndOfStream() {
    return S_OK;  // the subtitles end; the pictures go on
}

HRESULT CSubpictureInputPin::EndFlush() {
    decoder_->overlay_.Clear();
    return CBaseInputPin::EndFlush();
}

HRESULT CSubpictureInputPin::Inactive() {
    decoder_->overlay_.Clear();
    return CBaseInputPin::Inactive();
}

// ---------------------------------------------------------------------------------------
// Filter

CMpegVideoDecoder::CMpegVideoDecoder(IUnknown* outer, HRESULT* hr)
    : CTransformFilter("MPEG video decoder", outer, CLSID_MpegVideoDecoder) {
    HRESULT pin_hr = S_OK;
    m_pInput = std::make_unique<CTransformInputPin>("Video input", this, &pin_hr, "Video");
    m_pOutput = std::make_unique<CTransformOutputPin>("Video output", this, &pin_hr, "Out");
    subpicture_pin_ = std::make_unique<CSubpictureInputPin>(this, &m_csFilter, &pin_hr);
    if (hr && FAILED(pin_hr)) *hr = pin_hr;
}

CMpegVideoDecoder::~CMpegVideoDecoder() = default;

HRESULT CMpegVideoDecoder::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IMyDecoderThreads::iid)
        return GetInterface(static_cast<IMyDecoderThreads*>(this), object);
    if (riid == IMySubpictureControl::iid)
        return GetInterface(static_cast<IMySubpictureControl*>(this), object);
    return CTransformFilter::NonDelegatingQueryInterface(riid, object);
}

CBasePin* CMpegVideoDecoder::GetPin(int index) {
    switch (index) {
        case 0:
            return m_pInput.get();
        case 1:
            return subpicture_pin_.get();
        case 2:
            return m_pOutput.get();
        default:
            return nullptr;
    }
}

HRESULT CMpegVideoDecoder::Stop() {
    CAutoLock lock(&m_csFilter);
    const HRESULT hr = CTransformFilter::Stop();
    // The transform base stops its own two pins only.
    if (subpicture_pin_->IsConnected()) subpicture_pin_->Inactive();
    return hr;
}

HRESULT CMpegVideoDecoder::CheckInputType(const CMediaType* type) {
    if (!type) return E_POINTER;
    VideoInputFormat format;
    return ParseVideoInputType(*type, &format) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CMpegVideoDecoder::SetMediaType(PIN_DIRECTION direction, const CMediaType* type) {
    if (direction == PINDIR_INPUT && type) {
        if (!ParseVideoInputType(*type, &input_)) return VFW_E_TYPE_NOT_ACCEPTED;
        stream_codec_ = input_.codec_id;  // a new connection: its type rules
    }
    return S_OK;
}

HRESULT CMpegVideoDecoder::CheckTransform(const CMediaType* in, const CMediaType* out) {
    if (!in || !out) return E_POINTER;
    VideoInputFormat format;
    if (!ParseVideoInputType(*in, &format)) return VFW_E_TYPE_NOT_ACCEPTED;
    // Pictures keep the connection's size (a type change on the input is scaled to it).
    if (m_pInput->IsConnected() && !ParseVideoInputType(m_pInput->CurrentMediaType(), &format))
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (out->majortype != MEDIATYPE_Video || out->subtype != MEDIASUBTYPE_YV12)
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (out->formattype != FORMAT_VideoInfo && out->formattype != FORMAT_VideoInfo2)
        return VFW_E_TYPE_NOT_ACCEPTED;
    const BITMAPINFOHEADER* bmi = GetBitmapInfoHeader(*out);
    if (!bmi || bmi->biWidth != format.width || bmi->biHeight != format.height)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CMpegVideoDecoder::GetMediaType(int position, CMediaType* type) {
    if (!type) return E_POINTER;
    if (position < 0) return E_INVALIDARG;
    if (position > 1) return VFW_S_NO_MORE_ITEMS;
    VideoInputFormat format;
    if (!ParseVideoInputType(m_pInput->CurrentMediaType(), &format)) return VFW_S_NO_MORE_ITEMS;
    *type = MakeOutputType(format, position == 0);
    return type->IsValid() ? S_OK : E_OUTOFMEMORY;
}

HRESULT CMpegVideoDecoder::DecideBufferSize(IMemAllocator* allocator,
                                            ALLOCATOR_PROPERTIES* request) {
    if (!allocator || !request) return E_POINTER;
    if (!m_pInput->IsConnected()) return E_UNEXPECTED;
    const BITMAPINFOHEADER* bmi = GetBitmapInfoHeader(m_pOutput->CurrentMediaType());
    if (!bmi) return E_UNEXPECTED;
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = std::max<LONG>(wanted.cBuffers, kOutputBuffers);
    // Room for libavcodec's padding, and planes aligned for it (SamplePictures).
    wanted.cbBuffer = std::max<LONG>(
        wanted.cbBuffer,
        static_cast<LONG>(Yv12Bytes(bmi->biWidth, bmi->biHeight) + AV_INPUT_BUFFER_PADDING_SIZE));
    wanted.cbAlign = std::max<LONG>(wanted.cbAlign, 64);
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr)) return hr;
    if (actual.cBuffers < wanted.cBuffers || actual.cbBuffer < wanted.cbBuffer) return E_FAIL;
    return S_OK;
}

HRESULT CMpegVideoDecoder::Transform(IMediaSample*, IMediaSample*) {
    return E_UNEXPECTED;  // Receive delivers 0..n pictures per sample itself
}

HRESULT CMpegVideoDecoder::StartStreaming() {
    if (!ParseVideoInputType(m_pInput->CurrentMediaType(), &input_)) return VFW_E_TYPE_NOT_ACCEPTED;
    // After a type change the stream keeps the announced codec across a restart.
    if (stream_codec_ == AV_CODEC_ID_NONE) stream_codec_ = input_.codec_id;
    const HRESULT hr = OpenSession(stream_codec_ == input_.codec_id ? input_.sequence_header
                                                                    : std::vector<uint8_t>{});
    if (FAILED(hr)) return hr;
    ResetTiming();
    return S_OK;
}

HRESULT CMpegVideoDecoder::OpenSession(const std::vector<uint8_t>& sequence_header) {
    CodecOptions options;
    options.codec_id = stream_codec_;
    options.threads = threads_.load() > 0 ? threads_.load() : ProcessorCount();
    options.extradata = sequence_header;
    // The splitter delivers H.264 as whole access units.
    options.whole_frames = stream_codec_ == AV_CODEC_ID_H264;
    // A subtitle is drawn into a copy, and pictures wait for it in pending_: those are not
    // decoded into samples.
    if (SamplePictures::Suits(stream_codec_, input_.width, input_.height) &&
        !subpicture_pin_->IsConnected()) {
        options.configure = [this](AVCodecContext* context) {
            pictures_.Attach(context, m_pOutput.get(), input_.width, input_.height);
        };
    }
    return session_.Open(options);
}

HRESULT CMpegVideoDecoder::StopStreaming() {
    pending_.clear();
    untimed_.clear();
    session_.Close();
    scaler_.reset();
    scaled_.reset();
    overlay_.Clear();
    return S_OK;
}

void CMpegVideoDecoder::ResetTiming() {
    pending_.clear();
    untimed_.clear();
    have_anchor_ = false;
    input_clock_100ns_ = INT64_MIN;
    anchor_100ns_ = 0;
    fields_since_anchor_ = 0;
    discontinuity_ = true;
}

HRESULT CMpegVideoDecoder::Receive(IMediaSample* sample) {
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data) return E_POINTER;
    CMediaType change;
    if (sample->GetMediaType(&change) == S_OK) {
        // A type change: the pictures keep the connection's size (a different size is scaled
        // to it); only a change between MPEG-1 and MPEG-2 needs another decoder.
        VideoInputFormat format;
        if (!ParseVideoInputType(change, &format)) return VFW_E_INVALIDMEDIATYPE;
        if (format.codec_id != stream_codec_) {
            session_.Drain([this](AVFrame* frame) { return OnDecodedFrame(frame); });
            stream_codec_ = format.codec_id;
            const HRESULT hr = OpenSession(format.sequence_header);
            if (FAILED(hr)) return hr;
        }
    }
    const LONG size = sample->GetActualDataLength();
    REFERENCE_TIME start = 0, stop = 0;
    const int64_t pts = SUCCEEDED(sample->GetTime(&start, &stop)) ? start : AV_NOPTS_VALUE;
    if (sample->IsDiscontinuity() == S_OK) discontinuity_ = true;
    if (size <= 0) return S_OK;
    if (pts != AV_NOPTS_VALUE) input_clock_100ns_ = std::max(input_clock_100ns_, pts);
    const HRESULT hr = session_.Decode(data, static_cast<std::size_t>(size), pts,
                                       [this](AVFrame* frame) { return OnDecodedFrame(frame); });
    if (FAILED(hr)) return hr;
    return DeliverPending(false);
}

HRESULT CMpegVideoDecoder::DeliverPending(bool all) {
    while (!pending_.empty()) {
        PendingPicture& next = pending_.front();
        if (!all && pending_.size() < kMaxPendingPictures &&
            next.start_100ns + kSubtitleLookahead100ns > input_clock_100ns_)
            break;
        PendingPicture picture = std::move(next);
        pending_.pop_front();
        const HRESULT hr =
            DeliverPicture(picture.frame.get(), picture.start_100ns, picture.stop_100ns);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

REFERENCE_TIME CMpegVideoDecoder::FieldsToTime(int64_t fields) const {
    const AVRational rate = session_.context() ? session_.context()->framerate : AVRational{0, 1};
    if (rate.num > 0 && rate.den > 0) return fields * UNITS * rate.den / (2 * int64_t{rate.num});
    const REFERENCE_TIME period =
        input_.frame_period_100ns > 0 ? input_.frame_period_100ns : kFallbackFramePeriod;
    return fields * period / 2;
}

HRESULT CMpegVideoDecoder::OnDecodedFrame(AVFrame* frame) {
    if (m_pInput->IsFlushing()) return S_OK;
    const int fields = 2 + std::max(frame->repeat_pict, 0);
    if (frame->pts == AV_NOPTS_VALUE && !have_anchor_) {
        // No time stamp yet since the start or the last flush: hold the picture and date it
        // backwards from the first stamp that comes.
        if (untimed_.size() < kMaxPendingPictures) {
            core::av::FramePtr held(av_frame_clone(frame));
            if (!held) return E_OUTOFMEMORY;
            untimed_.push_back({std::move(held), fields});
            return S_OK;
        }
        const HRESULT hr = ReleaseUntimed();  // the stream carries no times: count from zero
        if (FAILED(hr)) return hr;
    }
    if (frame->pts != AV_NOPTS_VALUE) {
        if (!have_anchor_) {
            int64_t remaining = 0;
            for (const UntimedPicture& u : untimed_) remaining += u.fields;
            // One at a time, each let go once passed on: a held picture may be a sample.
            while (!untimed_.empty()) {
                const UntimedPicture u = std::move(untimed_.front());
                untimed_.pop_front();
                const REFERENCE_TIME start = frame->pts - FieldsToTime(remaining);
                remaining -= u.fields;
                const HRESULT hr =
                    QueueOrDeliver(u.frame.get(), start, frame->pts - FieldsToTime(remaining));
                if (FAILED(hr)) {
                    untimed_.clear();
                    return hr;
                }
            }
        }
        // Times count fields from the last picture that carried a time stamp, so that a run of
        // untimed pictures does not drift by the rounding of one frame period each.
        have_anchor_ = true;
        anchor_100ns_ = frame->pts;
        fields_since_anchor_ = 0;
    }
    const REFERENCE_TIME start = anchor_100ns_ + FieldsToTime(fields_since_anchor_);
    fields_since_anchor_ += fields;
    return QueueOrDeliver(frame, start, anchor_100ns_ + FieldsToTime(fields_since_anchor_));
}

HRESULT CMpegVideoDecoder::ReleaseUntimed() {
    have_anchor_ = true;  // from the anchor (0 after a reset) onwards
    while (!untimed_.empty()) {
        const UntimedPicture u = std::move(untimed_.front());
        untimed_.pop_front();
        const REFERENCE_TIME start = anchor_100ns_ + FieldsToTime(fields_since_anchor_);
        fields_since_anchor_ += u.fields;
        const HRESULT hr = QueueOrDeliver(u.frame.get(), start,
                                          anchor_100ns_ + FieldsToTime(fields_since_anchor_));
        if (FAILED(hr)) {
            untimed_.clear();
            return hr;
        }
    }
    return S_OK;
}

HRESULT CMpegVideoDecoder::QueueOrDeliver(AVFrame* frame, REFERENCE_TIME start,
                                          REFERENCE_TIME stop) {
    if (!subpicture_pin_->IsConnected()) return DeliverPicture(frame, start, stop);
    // With subtitles, a picture waits until the input has moved a little past its time: a
    // subpicture is multiplexed up to about half a second after the pictures it belongs to.
    core::av::FramePtr held(av_frame_clone(frame));
    if (!held) return E_OUTOFMEMORY;
    pending_.push_back({std::move(held), start, stop});
    return S_OK;
}

HRESULT CMpegVideoDecoder::DeliverPicture(AVFrame* frame, REFERENCE_TIME start,
                                          REFERENCE_TIME stop) {
    if (m_pInput->IsFlushing()) return S_OK;

    const int width = input_.width, height = input_.height;
    const AVFrame* source = frame;
    const bool planar420 =
        frame->format == AV_PIX_FMT_YUV420P || frame->format == AV_PIX_FMT_YUVJ420P;
    if (!planar420 || frame->width != width || frame->height != height) {
        // A picture of another size or sampling than the connection's: convert it rather
        // than write past the buffer.
        scaler_.reset(sws_getCachedContext(scaler_.release(), frame->width, frame->height,
                                           static_cast<AVPixelFormat>(frame->format), width, height,
                                           AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr,
                                           nullptr));
        if (!scaler_) return S_OK;
        if (!scaled_ || scaled_->width != width || scaled_->height != height) {
            scaled_.reset(av_frame_alloc());
            if (!scaled_) return E_OUTOFMEMORY;
            scaled_->format = AV_PIX_FMT_YUV420P;
            scaled_->width = width;
            scaled_->height = height;
            if (av_frame_get_buffer(scaled_.get(), 0) < 0) return E_OUTOFMEMORY;
        }
        sws_scale(scaler_.get(), frame->data, frame->linesize, 0, frame->height, scaled_->data,
                  scaled_->linesize);
        source = scaled_.get();
    }

    REFERENCE_TIME hint_start = start, hint_stop = stop;
    const auto bytes = static_cast<LONG>(Yv12Bytes(width, height));
    ComPtr<IMediaSample> out;
    HRESULT hr = S_OK;
    const bool drawn_into = subpicture_pin_->IsConnected();
    if (IMediaSample* decoded_into =
            source == frame && !drawn_into ? pictures_.SampleOf(frame) : nullptr) {
        out = decoded_into;  // already laid out as the output
    } else {
        hr = m_pOutput->GetDeliveryBuffer(out.ReleaseAndGetAddressOf(), &hint_start, &hint_stop, 0);
        if (FAILED(hr)) return m_pInput->IsFlushing() ? S_OK : hr;
        BYTE* buffer = nullptr;
        out->GetPointer(&buffer);
        const int chroma_width = Yv12ChromaWidth(width), chroma_height = Yv12ChromaHeight(height);
        if (!buffer || out->GetSize() < bytes) return E_FAIL;
        Yv12View view{buffer,
                      buffer + width * height,
                      buffer + width * height + chroma_width * chroma_height,
                      width,
                      height,
                      width,
                      chroma_width};
        av_image_copy_plane(view.y, width, source->data[0], source->linesize[0], width, height);
        av_image_copy_plane(view.v, chroma_width, source->data[2], source->linesize[2],
                            chroma_width, chroma_height);
        av_image_copy_plane(view.u, chroma_width, source->data[1], source->linesize[1],
                            chroma_width, chroma_height);
        if (drawn_into) overlay_.Draw(view, start);
    }

    out->SetActualDataLength(bytes);
    out->SetTime(&hint_start, &hint_stop);
    out->SetSyncPoint(frame->key_frame ? TRUE : FALSE);
    out->SetDiscontinuity(discontinuity_ ? TRUE : FALSE);
    out->SetPreroll(FALSE);
    // The picture's coding flags, for a deinterlacer downstream.
    if (ComPtr<IMediaSampleVideoFlags> flags = out.As<IMediaSampleVideoFlags>())
        flags->SetVideoFlags((frame->interlaced_frame ? 0 : AM_VIDEO_FLAG_WEAVE) |
                             (frame->top_field_first ? AM_VIDEO_FLAG_FIELD1FIRST : 0) |
                             (frame->repeat_pict > 0 ? AM_VIDEO_FLAG_REPEAT_FIELD : 0));
    discontinuity_ = false;
    hr = m_pOutput->Deliver(out.Get());
    if (m_pInput->IsFlushing()) return S_OK;
    return FAILED(hr) ? hr : S_OK;
}

HRESULT CMpegVideoDecoder::EndOfStream() {
    if (session_.IsOpen()) session_.Drain([this](AVFrame* frame) { return OnDecodedFrame(frame); });
    ReleaseUntimed();
    DeliverPending(true);
    return CTransformFilter::EndOfStream();
}

HRESULT CMpegVideoDecoder::EndFlush() {
    {
        CAutoLock lock(&m_csReceive);
        session_.Reset();
        ResetTiming();
    }
    return CTransformFilter::EndFlush();
}

HRESULT CMpegVideoDecoder::SetThreadCount(int threads) {
    if (threads < 0) return E_INVALIDARG;
    threads_ = threads;
    return S_OK;
}

HRESULT CMpegVideoDecoder::SetPalette(const uint32_t palette_ycrcb[16]) {
    if (!palette_ycrcb) return E_POINTER;
    overlay_.SetPalette(palette_ycrcb);
    return S_OK;
}

}  // namespace rizuvira::decoders
