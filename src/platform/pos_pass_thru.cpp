// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/pos_pass_thru.h"

namespace rizuvira::platform {

CPosPassThru::CPosPassThru(const char* object_name, IUnknown* outer, HRESULT* hr, IPin* input_pin)
    : CUnknown(object_name, outer), input_pin_(input_pin) {
    if (!input_pin && hr) *hr = E_POINTER;
}

HRESULT CPosPassThru::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IMediaSeeking::iid) return GetInterface(static_cast<IMediaSeeking*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(riid, object);
}

HRESULT CPosPassThru::GetPeerSeeking(ComPtr<IMediaSeeking>* seeking) {
    seeking->Reset();
    if (!input_pin_) return E_NOTIMPL;
    ComPtr<IPin> peer;
    if (FAILED(input_pin_->ConnectedTo(peer.ReleaseAndGetAddressOf())) || !peer) return E_NOTIMPL;
    if (FAILED(peer.As(seeking))) return E_NOTIMPL;
    return S_OK;
}

#define FORWARD_SEEKING(call)                          \
    do {                                               \
        ComPtr<IMediaSeeking> peer;                    \
        const HRESULT peer_hr = GetPeerSeeking(&peer); \
        if (FAILED(peer_hr)) return peer_hr;           \
        return peer->call;                             \
    } while (0)

HRESULT CPosPassThru::GetCapabilities(DWORD* c) {
    FORWARD_SEEKING(GetCapabilities(c));
}
HRESULT CPosPassThru::CheckCapabilities(DWORD* c) {
    FORWARD_SEEKING(CheckCapabilities(c));
}
HRESULT CPosPassThru::IsFormatSupported(const GUID* f) {
    FORWARD_SEEKING(IsFormatSupported(f));
}
HRESULT CPosPassThru::QueryPreferredFormat(GUID* f) {
    FORWARD_SEEKING(QueryPreferredFormat(f));
}
HRESULT CPosPassThru::GetTimeFormat(GUID* f) {
    FORWARD_SEEKING(GetTimeFormat(f));
}
HRESULT CPosPassThru::IsUsingTimeFormat(const GUID* f) {
    FORWARD_SEEKING(IsUsingTimeFormat(f));
}
HRESULT CPosPassThru::SetTimeFormat(const GUID* f) {
    FORWARD_SEEKING(SetTimeFormat(f));
}
HRESULT CPosPassThru::GetDuration(LONGLONG* d) {
    FORWARD_SEEKING(GetDuration(d));
}
HRESULT CPosPassThru::GetStopPosition(LONGLONG* s) {
    FORWARD_SEEKING(GetStopPosition(s));
}
HRESULT CPosPassThru::GetCurrentPosition(LONGLONG* c) {
    FORWARD_SEEKING(GetCurrentPosition(c));
}
HRESULT CPosPassThru::ConvertTimeFormat(LONGLONG* target, const GUID* target_format,
                                        LONGLONG source, const GUID* source_format) {
    FORWARD_SEEKING(ConvertTimeFormat(target, target_format, source, source_format));
}
HRESULT CPosPassThru::SetPositions(LONGLONG* current, DWORD current_flags, LONGLONG* stop,
                                   DWORD stop_flags) {
    FORWARD_SEEKING(SetPositions(current, current_flags, stop, stop_flags));
}
HRESULT CPosPassThru::GetPositions(LONGLONG* c, LONGLONG* s) {
    FORWARD_SEEKING(GetPositions(c, s));
}
HRESULT CPosPassThru::GetAvailable(LONGLONG* e, LONGLONG* l) {
    FORWARD_SEEKING(GetAvailable(e, l));
}
HRESULT CPosPassThru::SetRate(double r) {
    FORWARD_SEEKING(SetRate(r));
}
HRESULT CPosPassThru::GetRate(double* r) {
    FORWARD_SEEKING(GetRate(r));
}
HRESULT CPosPassThru::GetPreroll(LONGLONG* p) {
    FORWARD_SEEKING(GetPreroll(p));
}

#undef FORWARD_SEEKING

}  // namespace rizuvira::platform
