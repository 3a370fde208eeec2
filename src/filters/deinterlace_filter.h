// SPDX-License-Identifier: GPL-2.0-or-later
// CDeinterlaceFilter: the deinterlacing stage between the video decoder and the video
// converter. YV12 pictures in, YV12 pictures of the same size out, through a libavfilter
// graph:
//  - deinterlace: bwdif, one picture out per picture in (send_frame);
//  - inverse telecine: fieldmatch, bwdif for the pictures still combed, decimate: 4 pictures
//    out of 5, at 24000/1001 per second;
//  - field match: fieldmatch and bwdif without decimate, for telecined pictures when the
//    output keeps 29.97 pictures per second;
//  - pass-through: the pictures go on untouched, with their own times.
//
// Mode "on" always deinterlaces. Mode "auto" holds the first pictures back (kDetectPictures,
// or fewer when the stream ends or jumps first) and decides from them: pictures whose coding
// flags (IMediaSampleVideoFlags) say progressive pass through; otherwise idet measures them:
// repeated fields in at least a quarter of them mean telecined film, more interlaced than
// progressive pictures mean interlaced video. Mode "off" passes every picture through.
//
// Times: a picture leaves with the start time the filters give it (moved so that the first
// one starts where the input started) and stops where the next one starts; the last one before the
// end of stream (or a jump of the input times, after which the filters start afresh) stops where
// the input stopped. The end of stream drains the filters before it goes downstream.
//
// Threads: SetMode before the graph pauses (application thread); Decision from any thread.
// Receive, EndOfStream, EndFlush and StopStreaming run under m_csReceive, which guards every
// streaming field below.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "core/av_handles.h"
#include "platform/transform_filter.h"

struct AVFilterGraph;
struct AVFilterContext;

namespace rizuvira::filters {

inline constexpr GUID CLSID_Deinterlacer = "6C1E2F7A-8D43-4B0E-9A65-2F3D7B1C9E40"_guid;

struct IMyDeinterlaceFilter : virtual IUnknown {
    static constexpr GUID iid = "0B9D4E63-71A2-4C8F-B5E1-93C4D2A6F817"_guid;

    enum Decision : int32_t {
        kUndecided = 0,
        kPassThrough = 1,
        kDeinterlace = 2,
        kInverseTelecine = 3,
        kFieldMatch = 4,
    };

    // `mode`: 0 auto, 1 on, 2 off (core::DeinterlaceMode). `film_rate_allowed`: telecined
    // film may come out at 23.976 pictures per second. `threads`: the filters' threads (0:
    // libavfilter's choice).
    virtual HRESULT SetMode(int32_t mode, BOOL film_rate_allowed, int32_t threads) = 0;
    // What the filter does with the stream (kUndecided until the first decision).
    virtual HRESULT GetDecision(int32_t* decision) = 0;
};

class CDeinterlaceFilter final : public CTransformFilter, public IMyDeinterlaceFilter {
public:
    // A new filter with no references (take it with a ComPtr); null with E_OUTOFMEMORY in *hr
    // when it cannot be made.
    static CDeinterlaceFilter* CreateInstance(IUnknown* outer, HRESULT* hr);

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;

    // IMyDeinterlaceFilter
    HRESULT SetMode(int32_t mode, BOOL film_rate_allowed, int32_t threads) override;
    HRESULT GetDecision(int32_t* decision) override;

    // CTransformFilter
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT EndFlush() override;
    HRESULT StopStreaming() override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;  // not used
    HRESULT CheckInputType(const CMediaType* type) override;
    HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* type) override;

    // Pictures held back by auto mode before it decides.
    static constexpr int kDetectPictures = 48;

private:
    explicit CDeinterlaceFilter(IUnknown* outer);
    ~CDeinterlaceFilter() override;

    struct Picture {
        rizuvira::core::av::FramePtr frame;  // YUV420P, pts in 100 ns
        REFERENCE_TIME stop = 0;
        bool discontinuity = false;
        bool flags_known = false;
        DWORD flags = 0;
    };
    struct FilterGraphFree {
        void operator()(AVFilterGraph* graph) const;
    };
    using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphFree>;

    HRESULT ReadPicture(IMediaSample* sample, Picture* picture);
    // Auto mode: the decision for the held pictures.
    Decision Decide();
    // Sends `picture` along the chosen way.
    HRESULT Process(Picture picture);
    HRESULT SendHeld();
    // Drains the filters, delivers what they held and drops them.
    HRESULT Drain();
    HRESULT BuildFilters(Decision decision, int32_t forced_mode);
    HRESULT PullFilters();
    HRESULT DeliverFrame(const AVFrame* frame, REFERENCE_TIME start, REFERENCE_TIME stop,
                         bool discontinuity);
    void ResetStreaming();
    REFERENCE_TIME NominalPeriod() const;

    std::atomic<int32_t> mode_{0};
    std::atomic<bool> film_rate_allowed_{false};
    std::atomic<int32_t> threads_{0};
    std::atomic<int32_t> decision_{kUndecided};

    // Set at connection (m_csFilter).
    int width_ = 0;
    int height_ = 0;
    REFERENCE_TIME input_period_ = 0;  // AvgTimePerFrame of the input type (0: unknown)

    // Streaming state (m_csReceive).
    std::deque<Picture> pending_;  // auto mode, before the decision
    FilterGraphPtr graph_;
    AVFilterContext* source_ = nullptr;  // owned by graph_
    AVFilterContext* sink_ = nullptr;    // owned by graph_
    REFERENCE_TIME output_period_ = 0;
    // The last picture out of the filters, waiting for the next one's start as its stop.
    rizuvira::core::av::FramePtr held_;
    bool held_discontinuity_ = false;
    bool next_discontinuity_ = false;  // for the first picture the filters give out
    REFERENCE_TIME last_stop_ = 0;     // the input's, since the filters were built
    bool have_last_stop_ = false;
    REFERENCE_TIME first_input_start_ = 0;  // since the filters were built
    // Added to the filters' times so that their first picture starts at first_input_start_.
    REFERENCE_TIME output_offset_ = 0;
    bool have_output_offset_ = false;
};

}  // namespace rizuvira::filters
