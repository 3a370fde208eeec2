// SPDX-License-Identifier: GPL-2.0-or-later
// CMyTeeFilter: splits one decoded YV12 stream into two. The editor preview graph puts it behind
// the video decoder: output 0 feeds the unaltered left picture, output 1 the adjusted right one.
//
// Nothing is copied: every input sample object goes, with one added reference per connected
// output, into that output's COutputQueue, whose own thread hands it downstream and releases
// it. Downstream filters therefore see the upstream's buffers and must treat them as
// read-only; the upstream buffer returns to its allocator once both branches let go of it.
//
// Pins (GetPin): 0 input "Input", 1 "Output0", 2 "Output1". The input takes only video / YV12 /
// FORMAT_VideoInfo (a VIDEOINFOHEADER, not version 2) with a positive height; the outputs
// accept and offer exactly the input's type (format bytes included), so the input connects
// first. A reconnected input does not reconnect the outputs. The outputs refuse the seeking
// interfaces: seeking of a graph holding a tee reaches the source through another branch.
//
// Threads and locks: the filter lock (this object, a CCritSec) guards state changes, pin
// activation and type setting. Receive, EndOfStream, flush and NewSegment come on the
// upstream's threads and take no filter lock: they only forward to the queues, which exist
// from activation (pause or run) to deactivation (stop) of a connected output; each output
// guards its queue pointer with a reader-writer lock so a late stream call never meets a
// deleted queue.
#pragma once

#include <memory>
#include <shared_mutex>

#include "platform/base_filter.h"
#include "platform/input_pin.h"
#include "platform/output_pin.h"
#include "platform/output_queue.h"
#include "platform/sync.h"

namespace rizuvira::filters {

inline constexpr CLSID CLSID_MyTee = "116A8145-0946-11CF-ACB1-444553540000"_guid;

class CMyTeeFilter;

class CMyTeeInputPin final : public CBaseInputPin {
public:
    CMyTeeInputPin(CMyTeeFilter* filter, CCritSec* lock, HRESULT* hr);

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT SetMediaType(const CMediaType* type) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

private:
    CMyTeeFilter* const tee_;
};

class CMyTeeOutputPin final : public CBaseOutputPin {
public:
    CMyTeeOutputPin(CMyTeeFilter* filter, CCritSec* lock, HRESULT* hr, const char* name);
    ~CMyTeeOutputPin() override;

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    // Queue the sample (one reference taken here); S_OK and nothing sent without a queue.
    HRESULT Deliver(IMediaSample* sample) override;
    HRESULT DeliverEndOfStream() override;
    HRESULT DeliverBeginFlush() override;
    HRESULT DeliverEndFlush() override;
    HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    // Quality messages stop here.
    HRESULT Notify(IBaseFilter*, Quality) override { return S_OK; }

    bool HasQueue() const { return queue_ != nullptr; }

private:
    CMyTeeFilter* const tee_;
    // Stream calls hold queue_mutex_ shared while they use the queue; Active and Inactive
    // hold it exclusively to make or delete it.
    std::shared_mutex queue_mutex_;
    std::unique_ptr<COutputQueue> queue_;  // while active and connected
};

class CMyTeeFilter final : public CCritSec, public CBaseFilter {
public:
    // A new filter with no references (take it with a ComPtr); null with E_OUTOFMEMORY in *hr.
    static CMyTeeFilter* CreateInstance(IUnknown* outer, HRESULT* hr);

    int GetPinCount() override { return 3; }
    CBasePin* GetPin(int index) override;

    // The type set on the input (empty until it connects). Read under the filter lock or
    // while the input's connection cannot change.
    const CMediaType& StreamType() const { return stream_type_; }

private:
    friend class CMyTeeInputPin;
    friend class CMyTeeOutputPin;
    CMyTeeFilter(IUnknown* outer, HRESULT* hr);

    std::unique_ptr<CMyTeeInputPin> input_;
    std::unique_ptr<CMyTeeOutputPin> output0_;
    std::unique_ptr<CMyTeeOutputPin> output1_;
    CMediaType stream_type_;
};

}  // namespace rizuvira::filters
