// SPDX-License-Identifier: GPL-2.0-or-later
// CPosPassThru: IMediaSeeking answered by the filter upstream of an input pin.
//
// A renderer, sink or transform exposes IMediaSeeking through one of these: every call goes
// to the IMediaSeeking of the pin connected to `input_pin` (E_NOTIMPL when that pin is not
// connected or cannot seek), so a seek travels up to the filter that can perform it (the
// splitter).
//
// Ownership: normally aggregated: made on first request with the filter (or pin) as outer
// object and owned by it (std::unique_ptr member); its reference count is the owner's.
// `input_pin` is a plain pointer to a pin of the same filter, which outlives this object.
// Threads: any; each call looks the upstream pin up afresh.
#pragma once

#include "platform/interfaces.h"
#include "platform/seeking.h"

namespace rizuvira::platform {

class CPosPassThru : public CUnknown, public IMediaSeeking {
public:
    CPosPassThru(const char* object_name, IUnknown* outer, HRESULT* hr, IPin* input_pin);

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;

    HRESULT GetCapabilities(DWORD* capabilities) override;
    HRESULT CheckCapabilities(DWORD* capabilities) override;
    HRESULT IsFormatSupported(const GUID* format) override;
    HRESULT QueryPreferredFormat(GUID* format) override;
    HRESULT GetTimeFormat(GUID* format) override;
    HRESULT IsUsingTimeFormat(const GUID* format) override;
    HRESULT SetTimeFormat(const GUID* format) override;
    HRESULT GetDuration(LONGLONG* duration) override;
    HRESULT GetStopPosition(LONGLONG* stop) override;
    HRESULT GetCurrentPosition(LONGLONG* current) override;
    HRESULT ConvertTimeFormat(LONGLONG* target, const GUID* target_format, LONGLONG source,
                              const GUID* source_format) override;
    HRESULT SetPositions(LONGLONG* current, DWORD current_flags, LONGLONG* stop,
                         DWORD stop_flags) override;
    HRESULT GetPositions(LONGLONG* current, LONGLONG* stop) override;
    HRESULT GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    HRESULT SetRate(double rate) override;
    HRESULT GetRate(double* rate) override;
    HRESULT GetPreroll(LONGLONG* preroll) override;

protected:
    // The upstream pin's IMediaSeeking; E_NOTIMPL when there is none.
    HRESULT GetPeerSeeking(ComPtr<IMediaSeeking>* seeking);

private:
    IPin* const input_pin_;
};

}  // namespace rizuvira::platform
