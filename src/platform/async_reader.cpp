// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/async_reader.h"

#include <limits>

#include "platform/media_sample.h"

namespace rizuvira::platform {

CAsyncOutputPin::CAsyncOutputPin(HRESULT* hr, CAsyncReader* reader, CAsyncIo* io, CCritSec* lock)
    : CBasePin("Async output pin", reader, lock, hr, "Output", PINDIR_OUTPUT),
      reader_(reader),
      io_(io) {}

HRESULT CAsyncOutputPin::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IAsyncReader::iid) {
        queried_for_async_reader_ = true;
        return GetInterface(static_cast<IAsyncReader*>(this), object);
    }
    return CBasePin::NonDelegatingQueryInterface(riid, object);
}

HRESULT CAsyncOutputPin::GetMediaType(int position, CMediaType* type) {
    if (!type) return E_POINTER;
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    return type->Set(*reader_->LoadType());
}

HRESULT CAsyncOutputPin::CheckMediaType(const CMediaType* type) {
    const CMediaType* offered = reader_->LoadType();
    if (offered->majortype == type->majortype &&
        (offered->subtype == MEDIASUBTYPE_NULL || offered->subtype == type->subtype))
        return S_OK;
    return S_FALSE;
}

HRESULT CAsyncOutputPin::CompleteConnect(IPin* receive_pin) {
    if (!queried_for_async_reader_) return VFW_E_NO_TRANSPORT;
    return CBasePin::CompleteConnect(receive_pin);
}

HRESULT CAsyncOutputPin::BreakConnect() {
    queried_for_async_reader_ = false;
    // Nothing may be read for the old peer any more: queued requests go to the finished list
    // and a read under way ends here, so the stream (often a member of the derived filter) is
    // idle from now on.
    io_->BeginFlush();
    io_->EndFlush();
    return CBasePin::BreakConnect();
}

HRESULT CAsyncOutputPin::RequestAllocator(IMemAllocator* preferred, ALLOCATOR_PROPERTIES* props,
                                          IMemAllocator** actual) {
    if (!props || !actual) return E_POINTER;
    *actual = nullptr;
    const LONG align = io_->Alignment();
    ALLOCATOR_PROPERTIES request = *props;
    if (request.cbAlign == 0 || request.cbAlign % align != 0) request.cbAlign = align;

    ALLOCATOR_PROPERTIES granted{};
    if (preferred) {
        const HRESULT hr = preferred->SetProperties(&request, &granted);
        if (SUCCEEDED(hr) && granted.cbAlign % align == 0) {
            *actual = ComPtr<IMemAllocator>(preferred).Detach();
            return S_OK;
        }
    }
    CMemAllocator* created = new (std::nothrow) CMemAllocator;
    if (!created) return E_OUTOFMEMORY;
    ComPtr<IMemAllocator> allocator(static_cast<IMemAllocator*>(created));
    HRESULT hr = allocator->SetProperties(&request, &granted);
    if (SUCCEEDED(hr) && granted.cbAlign % align == 0) {
        *actual = allocator.Detach();
        return S_OK;
    }
    return SUCCEEDED(hr) ? VFW_E_BADALIGN : hr;
}

HRESULT CAsyncOutputPin::ConvertSampleRange(IMediaSample* sample, LONGLONG* position, LONG* length,
                                            BYTE** buffer) {
    if (!sample) return E_POINTER;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    HRESULT hr = sample->GetTime(&start, &stop);
    if (FAILED(hr)) return hr;
    if (start < 0 || stop < start) return E_INVALIDARG;
    const LONGLONG first = start / UNITS;
    LONGLONG count = (stop - start) / UNITS;

    LONGLONG total = 0;
    LONGLONG available = 0;
    io_->Length(&total, &available);
    if (first + count > total) {
        // The end is aligned on the stream's alignment, so round the length up to it.
        const LONG align = io_->Alignment();
        const LONGLONG aligned_total = (total + align - 1) / align * align;
        if (first > aligned_total) return E_INVALIDARG;  // wholly past the end
        if (first + count > aligned_total) {
            count = aligned_total - first;
            const REFERENCE_TIME new_stop = (first + count) * UNITS;
            sample->SetTime(&start, &new_stop);
        }
    }
    // The read must fit the sample's buffer.
    if (count > sample->GetSize() || count > std::numeric_limits<LONG>::max()) return E_INVALIDARG;
    hr = sample->GetPointer(buffer);
    if (FAILED(hr)) return hr;
    *position = first;
    *length = static_cast<LONG>(count);
    return S_OK;
}

HRESULT CAsyncOutputPin::Request(IMediaSample* sample, DWORD_PTR user) {
    LONGLONG position = 0;
    LONG length = 0;
    BYTE* buffer = nullptr;
    const HRESULT hr = ConvertSampleRange(sample, &position, &length, &buffer);
    if (FAILED(hr)) return hr;
    return io_->Request(position, length, true, buffer, sample, user);
}

HRESULT CAsyncOutputPin::WaitForNext(DWORD timeout_ms, IMediaSample** sample, DWORD_PTR* user) {
    if (!sample || !user) return E_POINTER;
    LONG actual = 0;
    const HRESULT hr = io_->WaitForNext(timeout_ms, sample, user, &actual);
    if (*sample) (*sample)->SetActualDataLength(actual);
    return hr;
}

HRESULT CAsyncOutputPin::SyncReadAligned(IMediaSample* sample) {
    LONGLONG position = 0;
    LONG length = 0;
    BYTE* buffer = nullptr;
    HRESULT hr = ConvertSampleRange(sample, &position, &length, &buffer);
    if (FAILED(hr)) return hr;
    LONG actual = 0;
    hr = io_->SyncReadAligned(position, length, buffer, &actual);
    sample->SetActualDataLength(actual);
    return hr;
}

HRESULT CAsyncOutputPin::SyncRead(LONGLONG position, LONG length, BYTE* buffer) {
    return io_->SyncRead(position, length, buffer);
}

HRESULT CAsyncOutputPin::Length(LONGLONG* total, LONGLONG* available) {
    return io_->Length(total, available);
}

HRESULT CAsyncOutputPin::BeginFlush() {
    return io_->BeginFlush();
}

HRESULT CAsyncOutputPin::EndFlush() {
    return io_->EndFlush();
}

CAsyncReader::CAsyncReader(const char* object_name, IUnknown* outer, CAsyncStream* stream,
                           HRESULT* hr, const CLSID& clsid)
    : CBaseFilter(object_name, outer, &m_csFilter, clsid),
      m_Io(stream),
      m_OutputPin(hr, this, &m_Io, &m_csFilter) {}

CAsyncReader::~CAsyncReader() = default;

CBasePin* CAsyncReader::GetPin(int index) {
    return index == 0 ? &m_OutputPin : nullptr;
}

}  // namespace rizuvira::platform
