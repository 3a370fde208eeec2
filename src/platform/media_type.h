// SPDX-License-Identifier: GPL-2.0-or-later
// Media types: what flows on a connection. AM_MEDIA_TYPE is the plain record; CMediaType is
// the same record with value semantics: it owns its format block (task memory), copies it
// on copy and frees it on destruction. Interfaces take `const AM_MEDIA_TYPE*`, so a
// CMediaType passes anywhere; they hand types out as CMediaType values.
#pragma once

#include <cstddef>

#include "platform/format_types.h"
#include "platform/guid.h"
#include "platform/uuids.h"
#include "platform/win_types.h"

namespace rizuvira::platform {

struct AM_MEDIA_TYPE {
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    ULONG cbFormat;
    BYTE* pbFormat;  // cbFormat bytes of task memory, or null
};

// Frees the format block of `mt` and empties it (the record itself stays).
void FreeMediaType(AM_MEDIA_TYPE& mt);
// Deep copy; `dst` must not own a block (free it first). E_OUTOFMEMORY on failure.
HRESULT CopyMediaType(AM_MEDIA_TYPE* dst, const AM_MEDIA_TYPE* src);
// A deep copy in task memory, freed with DeleteMediaType; null when out of memory.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* src);
void DeleteMediaType(AM_MEDIA_TYPE* mt);

class CMediaType : public AM_MEDIA_TYPE {
public:
    CMediaType();
    explicit CMediaType(const GUID& major_type);
    CMediaType(const AM_MEDIA_TYPE& other);  // NOLINT: deep copy, implicit on purpose
    CMediaType(const CMediaType& other);
    CMediaType(CMediaType&& other) noexcept;
    ~CMediaType();
    CMediaType& operator=(const AM_MEDIA_TYPE& other);
    CMediaType& operator=(const CMediaType& other);
    CMediaType& operator=(CMediaType&& other) noexcept;

    // Deep copy; E_OUTOFMEMORY leaves this type empty.
    HRESULT Set(const AM_MEDIA_TYPE& other);

    // Equal in major type, subtype, format type and format bytes.
    bool operator==(const AM_MEDIA_TYPE& other) const;

    bool IsValid() const { return majortype != GUID_NULL; }
    const GUID* Type() const { return &majortype; }
    BYTE* Format() const { return pbFormat; }
    ULONG FormatLength() const { return cbFormat; }

    void SetType(const GUID* type) { majortype = *type; }
    void SetSubtype(const GUID* type) { subtype = *type; }
    void SetFormatType(const GUID* type) { formattype = *type; }
    // Replaces the format block with a copy of `length` bytes; false when out of memory.
    bool SetFormat(const BYTE* format, ULONG length);
    // Makes a zeroed block of `length` bytes (keeps the old one when it is that size already).
    BYTE* AllocFormatBuffer(ULONG length);
    // Resizes the block, keeping its leading bytes; new bytes are zero.
    BYTE* ReallocFormatBuffer(ULONG length);
    void ResetFormatBuffer();

    // A sample size of 0 means variable-size samples.
    void SetSampleSize(ULONG size);
    void SetVariableSize() { bFixedSizeSamples = FALSE; }
    void SetTemporalCompression(BOOL compressed) { bTemporalCompression = compressed; }
    bool IsFixedSize() const { return bFixedSizeSamples != FALSE; }

    // Partially specified: a wildcard (null) in major type, subtype or format type.
    bool IsPartiallySpecified() const;
    // True when every non-null part of `partial` equals this type's.
    bool MatchesPartial(const AM_MEDIA_TYPE* partial) const;

    void InitMediaType();

    // The format block as T, or null when the block is shorter than T.
    template <class T>
    const T* FormatAs() const {
        return pbFormat && cbFormat >= sizeof(T) ? reinterpret_cast<const T*>(pbFormat) : nullptr;
    }
    template <class T>
    T* FormatAs() {
        return pbFormat && cbFormat >= sizeof(T) ? reinterpret_cast<T*>(pbFormat) : nullptr;
    }
};

// The bitmap header inside a VideoInfo, VideoInfo2, MPEGVideo or MPEG2Video format block;
// null for any other format or a block too short to hold it.
const BITMAPINFOHEADER* GetBitmapInfoHeader(const AM_MEDIA_TYPE& mt);

}  // namespace rizuvira::platform
