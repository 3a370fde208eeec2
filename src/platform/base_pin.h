// SPDX-License-Identifier: GPL-2.0-or-later
// CBasePin: connection, type negotiation and segment bookkeeping shared by all pins.
//
// Ownership: the filter owns its pins. A pin's AddRef/Release are the filter's, so a reference
// to a pin keeps its filter alive. A connected pin holds a reference to its peer (and so to
// the peer's filter); the graph disconnects pins when filters leave it.
//
// Locks and threads: connection calls (Connect, ReceiveConnection, Disconnect) run on the
// application thread while the filter is stopped, under the filter lock `m_pLock`. Streaming
// threads read the connection (GetConnected, m_mt) but never change it.
//
// Connect(receive_pin, type): a fully specified type is tried alone. Otherwise (null or
// partial type) this pin's own types (GetMediaType 0, 1, ...) are tried first, then the
// receiving pin's (EnumMediaTypes), each filtered by the partial type; when all are refused the
// result is VFW_E_NO_ACCEPTABLE_TYPES (or a more telling failure met). One attempt is:
// CheckConnect, CheckMediaType (anything but S_OK refuses), SetMediaType,
// receive_pin->ReceiveConnection, CompleteConnect; a failed attempt calls BreakConnect.
#pragma once

#include <atomic>
#include <string>

#include "platform/base_filter.h"
#include "platform/interfaces.h"
#include "platform/sync.h"

namespace rizuvira::platform {

class CBasePin : public CUnknown, public IPin, public IQualityControl {
public:
    CBasePin(const char* object_name, CBaseFilter* filter, CCritSec* lock, HRESULT* hr,
             const char* pin_name, PIN_DIRECTION direction);
    ~CBasePin() override;

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;
    ULONG NonDelegatingAddRef() override;
    ULONG NonDelegatingRelease() override;

    // IPin
    HRESULT Connect(IPin* receive_pin, const AM_MEDIA_TYPE* type) override;
    HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
    HRESULT Disconnect() override;
    HRESULT ConnectedTo(IPin** pin) override;
    HRESULT ConnectionMediaType(CMediaType* type) override;
    HRESULT QueryPinInfo(PIN_INFO* info) override;
    HRESULT QueryDirection(PIN_DIRECTION* direction) override;
    HRESULT QueryId(std::string* id) override;
    HRESULT QueryAccept(const AM_MEDIA_TYPE* type) override;
    HRESULT EnumMediaTypes(std::vector<CMediaType>* types) override;
    HRESULT EndOfStream() override { return S_OK; }
    // Records the segment's start (CurrentStartTime).
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    // IQualityControl: quality messages are accepted and dropped unless a pin overrides
    // Notify. The sink is kept as a plain pointer (no reference).
    HRESULT Notify(IBaseFilter* sender, Quality quality) override;
    HRESULT SetSink(IQualityControl* sink) override;

    // Overridables of the connection.
    // S_OK accepts; anything else (S_FALSE included) refuses.
    virtual HRESULT CheckMediaType(const CMediaType* type) = 0;
    // Records the connection's type in m_mt.
    virtual HRESULT SetMediaType(const CMediaType* type);
    // Checks the peer before a type is tried (the base checks the direction).
    virtual HRESULT CheckConnect(IPin* pin);
    // Undoes CheckConnect/CompleteConnect (also called after a failed attempt).
    virtual HRESULT BreakConnect();
    virtual HRESULT CompleteConnect(IPin* receive_pin);
    // The pin's preferred types: S_OK, VFW_S_NO_MORE_ITEMS past the last, E_INVALIDARG below 0.
    virtual HRESULT GetMediaType(int position, CMediaType* type);

    // Called by the filter: Active on leaving Stopped, Inactive on entering it, Run on Run.
    virtual HRESULT Active() { return S_OK; }
    virtual HRESULT Inactive() { return S_OK; }
    virtual HRESULT Run(REFERENCE_TIME) { return S_OK; }

    bool IsConnected() const { return static_cast<bool>(m_Connected); }
    IPin* GetConnected() const { return m_Connected.Get(); }
    bool IsStopped() const { return m_pFilter->IsStopped(); }
    const CMediaType& CurrentMediaType() const { return m_mt; }
    REFERENCE_TIME CurrentStartTime() const { return m_tStart; }
    const std::string& Name() const { return m_pName; }
    CBaseFilter* Filter() const { return m_pFilter; }

protected:
    HRESULT AgreeMediaType(IPin* receive_pin, const CMediaType* type);
    HRESULT AttemptConnection(IPin* receive_pin, const CMediaType* type);
    HRESULT DisconnectInternal();

    CBaseFilter* const m_pFilter;
    CCritSec* const m_pLock;
    const std::string m_pName;
    const PIN_DIRECTION m_dir;
    ComPtr<IPin> m_Connected;
    CMediaType m_mt;
    // The current segment's start: written by NewSegment (the seeking thread), read by streaming
    // threads.
    std::atomic<REFERENCE_TIME> m_tStart{0};
    IQualityControl* m_pQSink = nullptr;
};

}  // namespace rizuvira::platform
