// SPDX-License-Identifier: GPL-2.0-or-later
// CBaseRenderer: what the video and the audio renderer do alike. One input pin; each sample
// waits for its time on the graph's clock before the derived renderer shows or plays it; end
// of stream becomes one EC_COMPLETE per stream once the graph runs; seeking passes upstream.
//
// Times: samples carry times on the title's time line and each segment (a play or a seek)
// starts at its position on that line (NewSegment); a sample's stream time is its time minus
// the segment's start (StreamTimes).
//
// States: while paused, WaitForRenderTime waits until the graph runs, stops or flushes; while
// running, until the sample's stream time on the clock (at once without a clock or for an
// untimed sample). A stop or a flush ends every wait at once. Run posts EC_COMPLETE at once
// when the stream has ended already, or when the input is not connected (nothing will come).
//
// A derived renderer supplies the pin's type check (CheckRenderType) and the handling of a
// received sample (RenderSample), and adds to the state changes and stream control through
// the On... hooks, each called where its comment says.
//
// Threads: RenderSample, OnEndOfStream and the waits run on the upstream streaming thread;
// state changes on the application thread; flushes on whichever thread flushes.
// `eos_mutex_` guards the end-of-stream flags.
#pragma once

#include <memory>
#include <mutex>

#include "platform/base_filter.h"
#include "platform/input_pin.h"
#include "platform/pos_pass_thru.h"
#include "platform/sync.h"

namespace rizuvira::decoders {

class CBaseRenderer;

class CRendererInputPin final : public CBaseInputPin {
public:
    CRendererInputPin(CBaseRenderer* renderer, CCritSec* lock, HRESULT* hr, const char* object_name,
                      const char* pin_name);

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

private:
    CBaseRenderer* const renderer_;
};

class CBaseRenderer : public CBaseFilter, public IAMFilterMiscFlags {
public:
    // `pin_object_name` and `pin_name` name the input pin.
    CBaseRenderer(const char* object_name, IUnknown* outer, const CLSID& clsid, HRESULT* hr,
                  const char* pin_object_name, const char* pin_name);
    ~CBaseRenderer() override;

    // IAMFilterMiscFlags and IMediaSeeking (passed upstream) besides the filter's own.
    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override;

    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME start) override;

    ULONG GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

protected:
    // S_OK for a type the renderer takes, VFW_E_TYPE_NOT_ACCEPTED otherwise.
    virtual HRESULT CheckRenderType(const CMediaType& type) = 0;
    // A sample the base pin let through (connected, not stopped, not flushing).
    virtual HRESULT RenderSample(IMediaSample* sample) = 0;

    // Hooks: OnStop after the filter stopped, before the waits are released; OnPause after
    // the filter paused (`from_stopped`: it was stopped and the pause succeeded), OnRun after
    // it runs, both before the waits are woken; OnBeginFlush after the pin started flushing,
    // OnEndFlush before it ends; OnEndOfStream before the end is recorded.
    virtual void OnStop() {}
    virtual void OnPause(bool /*from_stopped*/) {}
    virtual void OnRun() {}
    virtual void OnBeginFlush() {}
    virtual void OnEndFlush() {}
    virtual void OnEndOfStream() {}

    // The sample's start and stop in stream time, and (when asked) its start on the title's
    // time line; false for a sample without times (the times are then 0 on the title's line).
    bool StreamTimes(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                     REFERENCE_TIME* title_start = nullptr);
    // Waits as the states above say; false when the wait ended by a flush or a stop (the
    // sample is then dropped).
    bool WaitForRenderTime(bool timed, REFERENCE_TIME start_100ns);

    CRendererInputPin* InputPin() { return pin_.get(); }

private:
    friend class CRendererInputPin;

    void SignalEndOfStream();
    void ClearEndOfStream();

    CCritSec lock_;
    std::unique_ptr<CRendererInputPin> pin_;
    std::unique_ptr<CPosPassThru> position_;  // made on request
    CAMEvent wake_;                           // auto-reset: clock advise, state change or flush

    std::mutex eos_mutex_;
    bool end_of_stream_ = false;  // since the last stop or flush
    bool complete_sent_ = false;
};

}  // namespace rizuvira::decoders
