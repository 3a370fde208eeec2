// SPDX-License-Identifier: GPL-2.0-or-later
// Seeking and stream selection interfaces.
//
// IMediaSeeking: positions in the current time format (this pipeline works in
// TIME_FORMAT_MEDIA_TIME, 100 ns). The graph forwards it to its renderers, which pass it
// upstream through CPosPassThru to the filter that can seek (the splitter).
// IAMStreamSelect: the streams a filter can deliver and which are enabled.
#pragma once

#include <string>

#include "platform/com.h"
#include "platform/media_type.h"

namespace rizuvira::platform {

// Capabilities.
inline constexpr DWORD AM_SEEKING_CanSeekAbsolute = 0x1;
inline constexpr DWORD AM_SEEKING_CanSeekForwards = 0x2;
inline constexpr DWORD AM_SEEKING_CanSeekBackwards = 0x4;
inline constexpr DWORD AM_SEEKING_CanGetCurrentPos = 0x8;
inline constexpr DWORD AM_SEEKING_CanGetStopPos = 0x10;
inline constexpr DWORD AM_SEEKING_CanGetDuration = 0x20;
inline constexpr DWORD AM_SEEKING_CanPlayBackwards = 0x40;
inline constexpr DWORD AM_SEEKING_CanDoSegments = 0x80;
inline constexpr DWORD AM_SEEKING_Source = 0x100;

// SetPositions flags: positioning in the low two bits, modifiers above.
inline constexpr DWORD AM_SEEKING_NoPositioning = 0x0;
inline constexpr DWORD AM_SEEKING_AbsolutePositioning = 0x1;
inline constexpr DWORD AM_SEEKING_RelativePositioning = 0x2;
inline constexpr DWORD AM_SEEKING_IncrementalPositioning = 0x3;
inline constexpr DWORD AM_SEEKING_PositioningBitsMask = 0x3;
inline constexpr DWORD AM_SEEKING_SeekToKeyFrame = 0x4;
inline constexpr DWORD AM_SEEKING_ReturnTime = 0x8;
inline constexpr DWORD AM_SEEKING_Segment = 0x10;
inline constexpr DWORD AM_SEEKING_NoFlush = 0x20;

struct IMediaSeeking : virtual IUnknown {
    static constexpr GUID iid = "36B73880-C2C8-11CF-8B46-00805F6CEF60"_guid;

    virtual HRESULT GetCapabilities(DWORD* capabilities) = 0;
    // Clears the bits of *capabilities the object lacks; S_FALSE when some were cleared.
    virtual HRESULT CheckCapabilities(DWORD* capabilities) = 0;
    virtual HRESULT IsFormatSupported(const GUID* format) = 0;
    virtual HRESULT QueryPreferredFormat(GUID* format) = 0;
    virtual HRESULT GetTimeFormat(GUID* format) = 0;
    virtual HRESULT IsUsingTimeFormat(const GUID* format) = 0;
    virtual HRESULT SetTimeFormat(const GUID* format) = 0;
    virtual HRESULT GetDuration(LONGLONG* duration) = 0;
    virtual HRESULT GetStopPosition(LONGLONG* stop) = 0;
    virtual HRESULT GetCurrentPosition(LONGLONG* current) = 0;
    virtual HRESULT ConvertTimeFormat(LONGLONG* target, const GUID* target_format, LONGLONG source,
                                      const GUID* source_format) = 0;
    // Either pointer may be null with AM_SEEKING_NoPositioning.
    virtual HRESULT SetPositions(LONGLONG* current, DWORD current_flags, LONGLONG* stop,
                                 DWORD stop_flags) = 0;
    virtual HRESULT GetPositions(LONGLONG* current, LONGLONG* stop) = 0;
    virtual HRESULT GetAvailable(LONGLONG* earliest, LONGLONG* latest) = 0;
    virtual HRESULT SetRate(double rate) = 0;
    virtual HRESULT GetRate(double* rate) = 0;
    virtual HRESULT GetPreroll(LONGLONG* preroll) = 0;
};

// Info flags.
inline constexpr DWORD AMSTREAMSELECTINFO_ENABLED = 0x1;
inline constexpr DWORD AMSTREAMSELECTINFO_EXCLUSIVE = 0x2;
// Enable flags.
inline constexpr DWORD AMSTREAMSELECTENABLE_ENABLE = 0x1;
inline constexpr DWORD AMSTREAMSELECTENABLE_ENABLEALL = 0x2;

struct IAMStreamSelect : virtual IUnknown {
    static constexpr GUID iid = "C1960960-17F5-11D1-ABE1-00A0C905F375"_guid;

    virtual HRESULT Count(DWORD* streams) = 0;
    // Every out-pointer may be null (not wanted). `object` and `unknown` receive new
    // references (or null).
    virtual HRESULT Info(LONG index, CMediaType* type, DWORD* flags, LCID* lcid, DWORD* group,
                         std::string* name, IUnknown** object, IUnknown** unknown) = 0;
    virtual HRESULT Enable(LONG index, DWORD flags) = 0;
};

inline constexpr const GUID& IID_IMediaSeeking = IMediaSeeking::iid;
// The older automation form of seeking. No object of this pipeline offers it (asking for it
// answers E_NOINTERFACE); the id exists so that filters can refuse or route it by name.
inline constexpr GUID IID_IMediaPosition = "56A868B2-0AD4-11CE-B03A-0020AF0BA770"_guid;
inline constexpr const GUID& IID_IAMStreamSelect = IAMStreamSelect::iid;

}  // namespace rizuvira::platform
