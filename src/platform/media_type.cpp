// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/media_type.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/com.h"

namespace rizuvira::platform {

void FreeMediaType(AM_MEDIA_TYPE& mt) {
    if (mt.pbFormat) CoTaskMemFree(mt.pbFormat);
    mt.pbFormat = nullptr;
    mt.cbFormat = 0;
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* dst, const AM_MEDIA_TYPE* src) {
    if (!dst || !src) return E_POINTER;
    if (dst == src) return S_OK;
    *dst = *src;
    dst->pbFormat = nullptr;
    dst->cbFormat = 0;
    if (src->cbFormat && src->pbFormat) {
        dst->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(src->cbFormat));
        if (!dst->pbFormat) return E_OUTOFMEMORY;
        std::memcpy(dst->pbFormat, src->pbFormat, src->cbFormat);
        dst->cbFormat = src->cbFormat;
    }
    return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* src) {
    auto* mt = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!mt) return nullptr;
    if (FAILED(CopyMediaType(mt, src))) {
        CoTaskMemFree(mt);
        return nullptr;
    }
    return mt;
}

void DeleteMediaType(AM_MEDIA_TYPE* mt) {
    if (!mt) return;
    FreeMediaType(*mt);
    CoTaskMemFree(mt);
}

CMediaType::CMediaType() : AM_MEDIA_TYPE{} {
    InitMediaType();
}

CMediaType::CMediaType(const GUID& major_type) : CMediaType() {
    majortype = major_type;
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& other) : AM_MEDIA_TYPE{} {
    InitMediaType();
    Set(other);
}

CMediaType::CMediaType(const CMediaType& other)
    : CMediaType(static_cast<const AM_MEDIA_TYPE&>(other)) {}

CMediaType::CMediaType(CMediaType&& other) noexcept : AM_MEDIA_TYPE(other) {
    other.pbFormat = nullptr;
    other.cbFormat = 0;
}

CMediaType::~CMediaType() {
    FreeMediaType(*this);
}

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& other) {
    Set(other);
    return *this;
}

CMediaType& CMediaType::operator=(const CMediaType& other) {
    Set(other);
    return *this;
}

CMediaType& CMediaType::operator=(CMediaType&& other) noexcept {
    if (this != &other) {
        FreeMediaType(*this);
        static_cast<AM_MEDIA_TYPE&>(*this) = other;
        other.pbFormat = nullptr;
        other.cbFormat = 0;
    }
    return *this;
}

HRESULT CMediaType::Set(const AM_MEDIA_TYPE& other) {
    if (&other == this) return S_OK;
    FreeMediaType(*this);
    const HRESULT hr = CopyMediaType(this, &other);
    if (FAILED(hr)) InitMediaType();
    return hr;
}

bool CMediaType::operator==(const AM_MEDIA_TYPE& other) const {
    if (majortype != other.majortype || subtype != other.subtype ||
        formattype != other.formattype || cbFormat != other.cbFormat)
        return false;
    return cbFormat == 0 || std::memcmp(pbFormat, other.pbFormat, cbFormat) == 0;
}

bool CMediaType::SetFormat(const BYTE* format, ULONG length) {
    if (!AllocFormatBuffer(length) && length) return false;
    if (length) std::memcpy(pbFormat, format, length);
    return true;
}

BYTE* CMediaType::AllocFormatBuffer(ULONG length) {
    if (length == 0) {
        ResetFormatBuffer();
        return nullptr;
    }
    if (cbFormat == length && pbFormat) {
        std::memset(pbFormat, 0, length);
        return pbFormat;
    }
    auto* block = static_cast<BYTE*>(CoTaskMemAlloc(length));
    if (!block) return nullptr;
    std::memset(block, 0, length);
    ResetFormatBuffer();
    pbFormat = block;
    cbFormat = length;
    return pbFormat;
}

BYTE* CMediaType::ReallocFormatBuffer(ULONG length) {
    if (length == 0) {
        ResetFormatBuffer();
        return nullptr;
    }
    auto* block = static_cast<BYTE*>(CoTaskMemAlloc(length));
    if (!block) return nullptr;
    std::memset(block, 0, length);
    if (pbFormat) std::memcpy(block, pbFormat, std::min(length, cbFormat));
    ResetFormatBuffer();
    pbFormat = block;
    cbFormat = length;
    return pbFormat;
}

void CMediaType::ResetFormatBuffer() {
    FreeMediaType(*this);
}

void CMediaType::SetSampleSize(ULONG size) {
    if (size == 0) {
        SetVariableSize();
    } else {
        bFixedSizeSamples = TRUE;
        lSampleSize = size;
    }
}

bool CMediaType::IsPartiallySpecified() const {
    return majortype == GUID_NULL || subtype == GUID_NULL || formattype == GUID_NULL;
}

bool CMediaType::MatchesPartial(const AM_MEDIA_TYPE* partial) const {
    if (partial->majortype != GUID_NULL && partial->majortype != majortype) return false;
    if (partial->subtype != GUID_NULL && partial->subtype != subtype) return false;
    if (partial->formattype != GUID_NULL) {
        if (partial->formattype != formattype) return false;
        if (partial->cbFormat != cbFormat) return false;
        if (cbFormat && std::memcmp(partial->pbFormat, pbFormat, cbFormat) != 0) return false;
    }
    return true;
}

void CMediaType::InitMediaType() {
    FreeMediaType(*this);
    majortype = GUID_NULL;
    subtype = GUID_NULL;
    formattype = GUID_NULL;
    bFixedSizeSamples = TRUE;
    bTemporalCompression = FALSE;
    lSampleSize = 1;
}

const BITMAPINFOHEADER* GetBitmapInfoHeader(const AM_MEDIA_TYPE& mt) {
    if (!mt.pbFormat) return nullptr;
    std::size_t offset = 0;
    if (mt.formattype == FORMAT_VideoInfo || mt.formattype == FORMAT_MPEGVideo)
        offset = offsetof(VIDEOINFOHEADER, bmiHeader);
    else if (mt.formattype == FORMAT_VideoInfo2 || mt.formattype == FORMAT_MPEG2Video)
        offset = offsetof(VIDEOINFOHEADER2, bmiHeader);
    else
        return nullptr;
    if (mt.cbFormat < offset + sizeof(BITMAPINFOHEADER)) return nullptr;
    return reinterpret_cast<const BITMAPINFOHEADER*>(mt.pbFormat + offset);
}

}  // namespace rizuvira::platform
