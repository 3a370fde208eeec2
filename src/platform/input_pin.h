// SPDX-License-Identifier: GPL-2.0-or-later
// CBaseInputPin: an input pin of the push model (IMemInputPin).
//
// Threads: Receive, ReceiveMultiple and EndOfStream arrive on the upstream filter's streaming
// thread; BeginFlush/EndFlush/NewSegment on whichever thread flushes or seeks (the application
// thread or the upstream's own); connection and state calls on the application thread.
// The flushing and run-time-error flags are atomic. The base Receive only checks (state,
// flushing, an attached type change); a derived pin calls it first and then handles the sample.
//
// Samples: Receive borrows the sample; a pin that keeps it past the call AddRefs it.
#pragma once

#include <atomic>

#include "platform/base_pin.h"

namespace rizuvira::platform {

class CBaseInputPin : public CBasePin, public IMemInputPin {
public:
    CBaseInputPin(const char* object_name, CBaseFilter* filter, CCritSec* lock, HRESULT* hr,
                  const char* pin_name);
    ~CBaseInputPin() override;

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;

    // IMemInputPin
    // The allocator the upstream pin should use; this pin makes a CMemAllocator if it has
    // none.
    HRESULT GetAllocator(IMemAllocator** allocator) override;
    HRESULT NotifyAllocator(IMemAllocator* allocator, BOOL read_only) override;
    HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
    HRESULT Receive(IMediaSample* sample) override;
    // Calls Receive for each sample until one does not return S_OK.
    HRESULT ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) override;
    HRESULT ReceiveCanBlock() override { return S_OK; }

    // IPin
    HRESULT BeginFlush() override;  // sets the flushing flag (Receive then answers S_FALSE)
    HRESULT EndFlush() override;

    HRESULT BreakConnect() override;
    HRESULT Inactive() override;  // clears the flags and decommits the allocator

    // S_OK while samples may be received; VFW_E_NOT_CONNECTED, VFW_E_WRONG_STATE (stopped),
    // S_FALSE (flushing) or VFW_E_RUNTIME_ERROR otherwise.
    HRESULT CheckStreaming();
    bool IsFlushing() const { return m_bFlushing.load(); }

protected:
    ComPtr<IMemAllocator> m_pAllocator;
    std::atomic<bool> m_bFlushing{false};
    std::atomic<bool> m_bRunTimeError{false};
};

}  // namespace rizuvira::platform
