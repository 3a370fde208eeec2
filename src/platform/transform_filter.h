// SPDX-License-Identifier: GPL-2.0-or-later
// CTransformFilter: a filter with one input pin ("XForm In") and one output pin
// ("XForm Out") that turns each input sample into one output sample.
//
// A derived filter supplies CheckInputType, CheckTransform, DecideBufferSize, GetMediaType
// and Transform, and may override SetMediaType, CheckConnect, BreakConnect, CompleteConnect,
// StartStreaming and StopStreaming (each told which pin it concerns).
//
// The base Receive gets an output sample from the output pin's allocator, copies the input
// sample's start/stop times, media times, sync point, preroll and discontinuity onto it (a
// discontinuity is also set after a dropped sample), calls Transform(in, out) and delivers the
// output. Transform returning S_FALSE drops the sample (nothing is delivered, S_OK goes
// upstream); a failure goes upstream as it is.
//
// Locks and threads: m_csFilter is the filter lock (state changes, connection, flushing);
// m_csReceive serialises the streaming calls (Receive, EndOfStream) with Stop, which takes it
// after decommitting the allocators so that a blocked Receive returns first, then calls
// StopStreaming. StartStreaming runs on Pause from Stopped, under both locks.
//
// The output pin answers IMediaSeeking by passing it upstream (CPosPassThru on the input pin).
#pragma once

#include <atomic>
#include <memory>

#include "platform/base_filter.h"
#include "platform/input_pin.h"
#include "platform/output_pin.h"
#include "platform/pos_pass_thru.h"

namespace rizuvira::platform {

class CTransformFilter;

class CTransformInputPin : public CBaseInputPin {
public:
    CTransformInputPin(const char* object_name, CTransformFilter* filter, HRESULT* hr,
                       const char* pin_name);

    HRESULT CheckConnect(IPin* pin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* receive_pin) override;
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT SetMediaType(const CMediaType* type) override;

    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

protected:
    CTransformFilter* const m_pTransformFilter;
};

class CTransformOutputPin : public CBaseOutputPin {
public:
    CTransformOutputPin(const char* object_name, CTransformFilter* filter, HRESULT* hr,
                        const char* pin_name);
    ~CTransformOutputPin() override;

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;

    HRESULT CheckConnect(IPin* pin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* receive_pin) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT SetMediaType(const CMediaType* type) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;

protected:
    CTransformFilter* const m_pTransformFilter;
    std::unique_ptr<CPosPassThru> m_pPosition;  // made on the first IMediaSeeking request
};

class CTransformFilter : public CBaseFilter {
public:
    CTransformFilter(const char* object_name, IUnknown* outer, const CLSID& clsid);
    ~CTransformFilter() override;

    int GetPinCount() override { return 2; }
    CBasePin* GetPin(int index) override;

    HRESULT Stop() override;
    HRESULT Pause() override;

    // What a derived filter supplies.
    virtual HRESULT Transform(IMediaSample* in, IMediaSample* out) = 0;
    virtual HRESULT CheckInputType(const CMediaType* type) = 0;
    virtual HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) = 0;
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
    virtual HRESULT GetMediaType(int position, CMediaType* type) = 0;

    // Optional hooks.
    virtual HRESULT SetMediaType(PIN_DIRECTION, const CMediaType*) { return S_OK; }
    virtual HRESULT CheckConnect(PIN_DIRECTION, IPin*) { return S_OK; }
    virtual HRESULT BreakConnect(PIN_DIRECTION) { return S_OK; }
    virtual HRESULT CompleteConnect(PIN_DIRECTION, IPin*) { return S_OK; }
    virtual HRESULT StartStreaming() { return S_OK; }
    virtual HRESULT StopStreaming() { return S_OK; }

    // Streaming; called by the input pin (Receive and EndOfStream under m_csReceive).
    virtual HRESULT Receive(IMediaSample* sample);
    virtual HRESULT EndOfStream();
    virtual HRESULT BeginFlush();
    virtual HRESULT EndFlush();
    virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    CTransformInputPin* InputPin() const { return m_pInput.get(); }
    CTransformOutputPin* OutputPin() const { return m_pOutput.get(); }

protected:
    // The output sample for `in`, with its properties copied (see above).
    virtual HRESULT InitializeOutputSample(IMediaSample* in, ComPtr<IMediaSample>* out);

    friend class CTransformInputPin;
    friend class CTransformOutputPin;

    CCritSec m_csFilter;
    CCritSec m_csReceive;
    // Made by the constructor; a derived constructor may replace them with its own pin types.
    std::unique_ptr<CTransformInputPin> m_pInput;
    std::unique_ptr<CTransformOutputPin> m_pOutput;
    bool m_bEOSDelivered = false;
    std::atomic<bool> m_bSampleSkipped{false};  // set by Receive, cleared by Pause
};

}  // namespace rizuvira::platform
