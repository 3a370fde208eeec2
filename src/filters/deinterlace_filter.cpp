// SPDX-License-Identifier: GPL-2.0-or-later
#include "filters/deinterlace_filter.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/dict.h>
#include <libavutil/imgutils.h>
}

#include <cstdlib>
#include <cstring>
#include <new>

namespace rizuvira::filters {

using rizuvira::core::av::FramePtr;

namespace {

constexpr AVRational kTimeBase100ns{1, 10000000};
constexpr REFERENCE_TIME kNtscPeriod = 333667;  // 1001 / 30000 s
constexpr REFERENCE_TIME kFilmPeriod = 417083;  // 1001 / 24000 s
// A jump of the input times longer than this starts the filters afresh.
constexpr REFERENCE_TIME kMaxJump = UNITS;
constexpr int32_t kModeOn = 1;
constexpr int32_t kModeOff = 2;

bool IsNtscRate(REFERENCE_TIME period) {
    return std::llabs(period - kNtscPeriod) < 1000;
}

int64_t MetadataCount(const AVFrame* frame, const char* key) {
    const AVDictionaryEntry* entry = av_dict_get(frame->metadata, key, nullptr, 0);
    return entry ? std::strtoll(entry->value, nullptr, 10) : 0;
}

}  // namespace

void CDeinterlaceFilter::FilterGraphFree::operator()(AVFilterGraph* graph) const {
    avfilter_graph_free(&graph);
}

CDeinterlaceFilter* CDeinterlaceFilter::CreateInstance(IUnknown* outer, HRESULT* hr) {
    return NewObject([outer] { return new CDeinterlaceFilter(outer); }, hr);
}

CDeinterlaceFilter::CDeinterlaceFilter(IUnknown* outer)
    : CTransformFilter("Deinterlacer", outer, CLSID_Deinterlacer) {}

CDeinterlaceFilter::~CDeinterlaceFilter() = default;

HRESULT CDeinterlaceFilter::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IMyDeinterlaceFilter::iid)
        return GetInterface(static_cast<IMyDeinterlaceFilter*>(this), object);
    return CTransformFilter::NonDelegatingQueryInterface(riid, object);
}

HRESULT CDeinterlaceFilter::SetMode(int32_t mode, BOOL film_rate_allowed, int32_t threads) {
    if (mode < 0 || mode > kModeOff || threads < 0) return E_INVALIDARG;
    mode_ = mode;
    film_rate_allowed_ = film_rate_allowed != FALSE;
    threads_ = threads;
    return S_OK;
}

HRESULT CDeinterlaceFilter::GetDecision(int32_t* decision) {
    if (!decision) return E_POINTER;
    *decision = decision_.load();
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Connection

HRESULT CDeinterlaceFilter::CheckInputType(const CMediaType* type) {
    if (!type) return E_POINTER;
    if (type->majortype != MEDIATYPE_Video || type->subtype != MEDIASUBTYPE_YV12)
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (type->formattype != FORMAT_VideoInfo && type->formattype != FORMAT_VideoInfo2)
        return VFW_E_TYPE_NOT_ACCEPTED;
    const BITMAPINFOHEADER* header = GetBitmapInfoHeader(*type);
    // Whole chroma samples only: the planes are read at width / 2 by height / 2.
    if (!header || header->biWidth <= 0 || header->biHeight <= 0 || header->biWidth % 2 != 0 ||
        header->biHeight % 2 != 0)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CDeinterlaceFilter::CheckTransform(const CMediaType* in, const CMediaType* out) {
    if (!in || !out) return E_POINTER;
    const BITMAPINFOHEADER* in_header = GetBitmapInfoHeader(*in);
    const BITMAPINFOHEADER* out_header = GetBitmapInfoHeader(*out);
    if (!in_header || !out_header || out->majortype != MEDIATYPE_Video ||
        out->subtype != MEDIASUBTYPE_YV12 || out_header->biWidth != in_header->biWidth ||
        out_header->biHeight != in_header->biHeight)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CDeinterlaceFilter::GetMediaType(int position, CMediaType* type) {
    if (!type) return E_POINTER;
    if (!m_pInput->IsConnected() || position != 0) return VFW_S_NO_MORE_ITEMS;
    return type->Set(m_pInput->CurrentMediaType());
}

HRESULT CDeinterlaceFilter::SetMediaType(PIN_DIRECTION direction, const CMediaType* type) {
    if (direction != PINDIR_INPUT || !type) return S_OK;
    const BITMAPINFOHEADER* header = GetBitmapInfoHeader(*type);
    const VIDEOINFOHEADER* info = type->FormatAs<VIDEOINFOHEADER>();
    if (!header) return VFW_E_TYPE_NOT_ACCEPTED;
    width_ = header->biWidth;
    height_ = header->biHeight;
    input_period_ = info ? info->AvgTimePerFrame : 0;
    return S_OK;
}

HRESULT CDeinterlaceFilter::DecideBufferSize(IMemAllocator* allocator,
                                             ALLOCATOR_PROPERTIES* request) {
    if (!allocator || !request) return E_POINTER;
    if (!m_pInput->IsConnected() || width_ <= 0 || height_ <= 0) return E_UNEXPECTED;
    request->cBuffers = 1;
    request->cbBuffer = width_ * height_ + 2 * (width_ / 2) * (height_ / 2);
    request->cbAlign = 1;
    request->cbPrefix = 0;
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr)) return hr;
    if (actual.cBuffers < request->cBuffers || actual.cbBuffer < request->cbBuffer) return E_FAIL;
    return S_OK;
}

HRESULT CDeinterlaceFilter::Transform(IMediaSample*, IMediaSample*) {
    return E_UNEXPECTED;
}

// ---------------------------------------------------------------------------------------
// Streaming

REFERENCE_TIME CDeinterlaceFilter::NominalPeriod() const {
    return input_period_ > 0 ? input_period_ : kNtscPeriod;
}

HRESULT CDeinterlaceFilter::ReadPicture(IMediaSample* sample, Picture* picture) {
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data) return E_FAIL;
    const int chroma_width = width_ / 2;
    const int chroma_height = height_ / 2;
    const LONG luma_bytes = width_ * height_;
    const LONG chroma_bytes = chroma_width * chroma_height;
    // A picture shorter than its type says would be read past its end.
    if (sample->GetActualDataLength() < luma_bytes + 2 * chroma_bytes) return E_FAIL;

    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    const HRESULT times = sample->GetTime(&start, &stop);
    if (FAILED(times)) start = have_last_stop_ ? last_stop_ : 0;
    if (times != S_OK || stop <= start) stop = start + NominalPeriod();

    FramePtr frame(av_frame_alloc());
    if (!frame) return E_OUTOFMEMORY;
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width_;
    frame->height = height_;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return E_OUTOFMEMORY;
    // YV12: Y, then Cr (V), then Cb (U).
    av_image_copy_plane(frame->data[0], frame->linesize[0], data, width_, width_, height_);
    av_image_copy_plane(frame->data[2], frame->linesize[2], data + luma_bytes, chroma_width,
                        chroma_width, chroma_height);
    av_image_copy_plane(frame->data[1], frame->linesize[1], data + luma_bytes + chroma_bytes,
                        chroma_width, chroma_width, chroma_height);
    frame->pts = start;

    picture->frame = std::move(frame);
    picture->stop = stop;
    picture->discontinuity = sample->IsDiscontinuity() == S_OK;
    picture->flags_known = false;
    picture->flags = 0;
    ComPtr<IMediaSample> holder(sample);
    if (ComPtr<IMediaSampleVideoFlags> flags = holder.As<IMediaSampleVideoFlags>())
        picture->flags_known = flags->GetVideoFlags(&picture->flags) == S_OK;
    return S_OK;
}

HRESULT CDeinterlaceFilter::Receive(IMediaSample* sample) {
    const int32_t mode = mode_.load();
    if (mode == kModeOff) return m_pOutput->Deliver(sample);
    if (mode == kModeOn && decision_.load() == kUndecided) decision_ = kDeinterlace;

    const int32_t decision = decision_.load();
    if (decision == kPassThrough && pending_.empty()) return m_pOutput->Deliver(sample);

    Picture picture;
    HRESULT hr = ReadPicture(sample, &picture);
    if (FAILED(hr)) return hr;
    if (decision != kUndecided) return Process(std::move(picture));

    // Auto mode, undecided. A progressive picture flagged as such at the start decides at
    // once; otherwise the pictures wait for the measurement.
    if (pending_.empty() && picture.flags_known && (picture.flags & AM_VIDEO_FLAG_WEAVE)) {
        decision_ = kPassThrough;
        return m_pOutput->Deliver(sample);
    }
    if (!pending_.empty()) {
        const Picture& last = pending_.back();
        const REFERENCE_TIME gap = picture.frame->pts - last.stop;
        if (gap > kMaxJump || gap < -kMaxJump) {
            decision_ = Decide();
            hr = SendHeld();
            if (FAILED(hr)) return hr;
            return Process(std::move(picture));
        }
    }
    pending_.push_back(std::move(picture));
    if (static_cast<int>(pending_.size()) < kDetectPictures) return S_OK;
    decision_ = Decide();
    return SendHeld();
}

HRESULT CDeinterlaceFilter::EndOfStream() {
    if (decision_.load() == kUndecided && !pending_.empty()) {
        decision_ = Decide();
        SendHeld();
    }
    Drain();
    return CTransformFilter::EndOfStream();
}

HRESULT CDeinterlaceFilter::EndFlush() {
    {
        CAutoLock lock(&m_csReceive);
        ResetStreaming();
    }
    return CTransformFilter::EndFlush();
}

HRESULT CDeinterlaceFilter::StopStreaming() {
    ResetStreaming();
    decision_ = kUndecided;
    return S_OK;
}

void CDeinterlaceFilter::ResetStreaming() {
    pending_.clear();
    held_.reset();
    graph_.reset();
    source_ = nullptr;
    sink_ = nullptr;
    have_last_stop_ = false;
    next_discontinuity_ = false;
    held_discontinuity_ = false;
}

CDeinterlaceFilter::Decision CDeinterlaceFilter::Decide() {
    const int count = static_cast<int>(pending_.size());
    int flagged = 0;
    int progressive_flagged = 0;
    for (const Picture& picture : pending_) {
        if (!picture.flags_known) continue;
        ++flagged;
        if (picture.flags & AM_VIDEO_FLAG_WEAVE) ++progressive_flagged;
    }
    if (count == 0) return kPassThrough;
    if (flagged == count && progressive_flagged * 10 >= count * 9) return kPassThrough;
    // Too few pictures to measure: the flags (interlaced, or none) decide.
    if (count < 5) return kDeinterlace;

    // idet over copies of the held pictures.
    FilterGraphPtr graph(avfilter_graph_alloc());
    if (!graph) return kDeinterlace;
    char args[160];
    std::snprintf(args, sizeof args,
                  "video_size=%dx%d:pix_fmt=%d:time_base=1/10000000:pixel_aspect=1/1", width_,
                  height_, AV_PIX_FMT_YUV420P);
    AVFilterContext* source = nullptr;
    AVFilterContext* measure = nullptr;
    AVFilterContext* sink = nullptr;
    if (avfilter_graph_create_filter(&source, avfilter_get_by_name("buffer"), "in", args, nullptr,
                                     graph.get()) < 0 ||
        avfilter_graph_create_filter(&measure, avfilter_get_by_name("idet"), "idet", nullptr,
                                     nullptr, graph.get()) < 0 ||
        avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr,
                                     nullptr, graph.get()) < 0 ||
        avfilter_link(source, 0, measure, 0) < 0 || avfilter_link(measure, 0, sink, 0) < 0 ||
        avfilter_graph_config(graph.get(), nullptr) < 0)
        return kDeinterlace;
    for (const Picture& picture : pending_) {
        FramePtr copy(av_frame_clone(picture.frame.get()));
        if (!copy || av_buffersrc_add_frame(source, copy.get()) < 0) return kDeinterlace;
    }
    if (av_buffersrc_add_frame(source, nullptr) < 0) return kDeinterlace;
    int64_t tff = 0, bff = 0, progressive = 0, repeated = 0;
    for (FramePtr frame(av_frame_alloc()); frame && av_buffersink_get_frame(sink, frame.get()) >= 0;
         av_frame_unref(frame.get())) {
        // The counts add up over the stream: the last picture's are the totals.
        tff = MetadataCount(frame.get(), "lavfi.idet.multiple.tff");
        bff = MetadataCount(frame.get(), "lavfi.idet.multiple.bff");
        progressive = MetadataCount(frame.get(), "lavfi.idet.multiple.progressive");
        repeated = MetadataCount(frame.get(), "lavfi.idet.repeated.top") +
                   MetadataCount(frame.get(), "lavfi.idet.repeated.bottom");
    }
    if (repeated * 4 >= count) {
        return film_rate_allowed_.load() && IsNtscRate(NominalPeriod()) ? kInverseTelecine
                                                                        : kFieldMatch;
    }
    if (tff + bff > progressive) return kDeinterlace;
    // Nothing moved enough to tell: the flags said interlaced, so deinterlace (a still
    // picture loses nothing to it).
    if (tff + bff + progressive == 0) return kDeinterlace;
    return kPassThrough;
}

HRESULT CDeinterlaceFilter::SendHeld() {
    std::deque<Picture> held;
    held.swap(pending_);
    for (Picture& picture : held) {
        const HRESULT hr = Process(std::move(picture));
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT CDeinterlaceFilter::Process(Picture picture) {
    const int32_t decision = decision_.load();
    if (decision == kPassThrough) {
        const REFERENCE_TIME start = picture.frame->pts;
        return DeliverFrame(picture.frame.get(), start, picture.stop, picture.discontinuity);
    }
    if (graph_ && have_last_stop_) {
        const REFERENCE_TIME gap = picture.frame->pts - last_stop_;
        if (gap > kMaxJump || gap < -kMaxJump || picture.discontinuity) {
            const HRESULT hr = Drain();
            if (FAILED(hr)) return hr;
        }
    }
    if (!graph_) {
        const HRESULT hr = BuildFilters(static_cast<Decision>(decision), mode_.load());
        if (FAILED(hr)) return hr;
    }
    AVFrame* frame = picture.frame.get();
    // Without coding flags a picture is taken as interlaced, top field first.
    frame->interlaced_frame = picture.flags_known ? !(picture.flags & AM_VIDEO_FLAG_WEAVE) : 1;
    frame->top_field_first =
        picture.flags_known ? (picture.flags & AM_VIDEO_FLAG_FIELD1FIRST) != 0 : 1;
    if (picture.discontinuity) next_discontinuity_ = true;
    if (!have_last_stop_) first_input_start_ = frame->pts;
    last_stop_ = picture.stop;
    have_last_stop_ = true;
    if (av_buffersrc_add_frame(source_, frame) < 0) return E_FAIL;
    return PullFilters();
}

HRESULT CDeinterlaceFilter::BuildFilters(Decision decision, int32_t forced_mode) {
    const char* chain = nullptr;
    output_period_ = NominalPeriod();
    switch (decision) {
        case kDeinterlace:
            chain = forced_mode == kModeOn ? "bwdif=mode=send_frame:parity=auto:deint=all"
                                           : "bwdif=mode=send_frame:parity=auto:deint=interlaced";
            break;
        case kInverseTelecine:
            // fieldmatch marks what it could not match as interlaced, for bwdif.
            chain =
                "fieldmatch=order=auto:combmatch=full,"
                "bwdif=mode=send_frame:parity=auto:deint=interlaced,decimate";
            output_period_ = kFilmPeriod;
            break;
        case kFieldMatch:
            chain =
                "fieldmatch=order=auto:combmatch=full,"
                "bwdif=mode=send_frame:parity=auto:deint=interlaced";
            break;
        default:
            return E_UNEXPECTED;
    }
    FilterGraphPtr graph(avfilter_graph_alloc());
    if (!graph) return E_OUTOFMEMORY;
    if (threads_.load() > 0) graph->nb_threads = threads_.load();
    const AVRational rate =
        IsNtscRate(NominalPeriod())
            ? AVRational{30000, 1001}
            : av_d2q(static_cast<double>(UNITS) / static_cast<double>(NominalPeriod()), 100000);
    char args[192];
    std::snprintf(
        args, sizeof args,
        "video_size=%dx%d:pix_fmt=%d:time_base=1/10000000:pixel_aspect=1/1:frame_rate=%d/%d",
        width_, height_, AV_PIX_FMT_YUV420P, rate.num, rate.den);
    AVFilterContext* source = nullptr;
    AVFilterContext* sink = nullptr;
    if (avfilter_graph_create_filter(&source, avfilter_get_by_name("buffer"), "in", args, nullptr,
                                     graph.get()) < 0 ||
        avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr,
                                     nullptr, graph.get()) < 0)
        return E_FAIL;
    AVFilterInOut* outputs = avfilter_inout_alloc();
    AVFilterInOut* inputs = avfilter_inout_alloc();
    if (!outputs || !inputs) {
        avfilter_inout_free(&outputs);
        avfilter_inout_free(&inputs);
        return E_OUTOFMEMORY;
    }
    outputs->name = av_strdup("in");
    outputs->filter_ctx = source;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = sink;
    const std::string description = std::string(chain) + ",format=yuv420p";
    const int parsed =
        avfilter_graph_parse_ptr(graph.get(), description.c_str(), &inputs, &outputs, nullptr);
    avfilter_inout_free(&outputs);
    avfilter_inout_free(&inputs);
    if (parsed < 0 || avfilter_graph_config(graph.get(), nullptr) < 0) return E_FAIL;
    graph_ = std::move(graph);
    source_ = source;
    sink_ = sink;
    have_output_offset_ = false;
    return S_OK;
}

HRESULT CDeinterlaceFilter::PullFilters() {
    const AVRational time_base = av_buffersink_get_time_base(sink_);
    for (;;) {
        FramePtr frame(av_frame_alloc());
        if (!frame) return E_OUTOFMEMORY;
        const int got = av_buffersink_get_frame(sink_, frame.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return S_OK;
        if (got < 0) return E_FAIL;
        frame->pts = frame->pts == AV_NOPTS_VALUE
                         ? (held_ ? held_->pts + output_period_ : first_input_start_)
                         : av_rescale_q(frame->pts, time_base, kTimeBase100ns);
        // decimate counts its times from the first picture it keeps, which may be the second
        // one in: the pictures start where the input started.
        if (!have_output_offset_) {
            output_offset_ = first_input_start_ - frame->pts;
            have_output_offset_ = true;
        }
        frame->pts += output_offset_;
        if (held_) {
            const REFERENCE_TIME start = held_->pts;
            const REFERENCE_TIME stop = frame->pts > start ? frame->pts : start + output_period_;
            const HRESULT hr = DeliverFrame(held_.get(), start, stop, held_discontinuity_);
            if (FAILED(hr)) return hr;
        }
        held_ = std::move(frame);
        held_discontinuity_ = next_discontinuity_;
        next_discontinuity_ = false;
    }
}

HRESULT CDeinterlaceFilter::Drain() {
    HRESULT hr = S_OK;
    if (graph_) {
        // The end of the input makes the filters give out what they hold.
        hr = av_buffersrc_add_frame(source_, nullptr) < 0 ? E_FAIL : PullFilters();
    }
    if (held_ && SUCCEEDED(hr)) {
        const REFERENCE_TIME start = held_->pts;
        const REFERENCE_TIME stop =
            have_last_stop_ && last_stop_ > start ? last_stop_ : start + output_period_;
        hr = DeliverFrame(held_.get(), start, stop, held_discontinuity_);
    }
    held_.reset();
    graph_.reset();
    source_ = nullptr;
    sink_ = nullptr;
    have_last_stop_ = false;
    return hr;
}

HRESULT CDeinterlaceFilter::DeliverFrame(const AVFrame* frame, REFERENCE_TIME start,
                                         REFERENCE_TIME stop, bool discontinuity) {
    if (frame->width != width_ || frame->height != height_) return E_UNEXPECTED;
    ComPtr<IMediaSample> out;
    HRESULT hr = m_pOutput->GetDeliveryBuffer(out.ReleaseAndGetAddressOf(), &start, &stop, 0);
    if (FAILED(hr)) return hr;
    BYTE* data = nullptr;
    out->GetPointer(&data);
    const int chroma_width = width_ / 2;
    const int chroma_height = height_ / 2;
    const LONG luma_bytes = width_ * height_;
    const LONG chroma_bytes = chroma_width * chroma_height;
    if (!data || out->GetSize() < luma_bytes + 2 * chroma_bytes) return E_FAIL;
    av_image_copy_plane(data, width_, frame->data[0], frame->linesize[0], width_, height_);
    av_image_copy_plane(data + luma_bytes, chroma_width, frame->data[2], frame->linesize[2],
                        chroma_width, chroma_height);
    av_image_copy_plane(data + luma_bytes + chroma_bytes, chroma_width, frame->data[1],
                        frame->linesize[1], chroma_width, chroma_height);
    out->SetActualDataLength(luma_bytes + 2 * chroma_bytes);
    out->SetTime(&start, &stop);
    out->SetSyncPoint(TRUE);
    out->SetDiscontinuity(discontinuity ? TRUE : FALSE);
    out->SetPreroll(FALSE);
    if (ComPtr<IMediaSampleVideoFlags> flags = out.As<IMediaSampleVideoFlags>())
        flags->SetVideoFlags(frame->interlaced_frame
                                 ? (frame->top_field_first ? AM_VIDEO_FLAG_FIELD1FIRST : 0)
                                 : AM_VIDEO_FLAG_WEAVE);
    return m_pOutput->Deliver(out.Get());
}

}  // namespace rizuvira::filters
