// SPDX-License-Identifier: GPL-2.0-or-later
// CBaseOutputPin: an output pin of the push model.
//
// On connection it finds the peer's IMemInputPin (else VFW_E_NO_TRANSPORT) and decides the
// allocator: the peer's if DecideBufferSize succeeds on it, else a CMemAllocator of its own;
// the peer is told with NotifyAllocator. Active commits the allocator, Inactive decommits it
// (which releases a thread blocked in GetDeliveryBuffer with VFW_E_NOT_COMMITTED).
//
// Threads: GetDeliveryBuffer, Deliver and DeliverEndOfStream run on this filter's streaming
// thread; DeliverBeginFlush/EndFlush/NewSegment on the thread that flushes or seeks.
// Deliver borrows the sample: the caller still releases its reference afterwards.
#pragma once

#include "platform/base_pin.h"

namespace rizuvira::platform {

class CBaseOutputPin : public CBasePin {
public:
    CBaseOutputPin(const char* object_name, CBaseFilter* filter, CCritSec* lock, HRESULT* hr,
                   const char* pin_name);
    ~CBaseOutputPin() override;

    HRESULT CheckConnect(IPin* pin) override;
    HRESULT CompleteConnect(IPin* receive_pin) override;  // decides the allocator
    HRESULT BreakConnect() override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    // An output pin receives no stream control: E_UNEXPECTED.
    HRESULT EndOfStream() override { return E_UNEXPECTED; }
    HRESULT BeginFlush() override { return E_UNEXPECTED; }
    HRESULT EndFlush() override { return E_UNEXPECTED; }

    virtual HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator);
    // Sets the allocator's properties; `request` holds the peer's requirements (alignment at
    // least 1).
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
    virtual HRESULT InitAllocator(IMemAllocator** allocator);  // a new CMemAllocator

    // A sample from the connection's allocator (blocks while none is free).
    virtual HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                      REFERENCE_TIME* stop, DWORD flags);
    virtual HRESULT Deliver(IMediaSample* sample);
    virtual HRESULT DeliverEndOfStream();
    virtual HRESULT DeliverBeginFlush();
    virtual HRESULT DeliverEndFlush();
    virtual HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    IMemAllocator* Allocator() const { return m_pAllocator.Get(); }

protected:
    ComPtr<IMemAllocator> m_pAllocator;
    ComPtr<IMemInputPin> m_pInputPin;
};

}  // namespace rizuvira::platform
