// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/media_sample.h"

#include <cstdint>

namespace rizuvira::platform {

namespace {
std::atomic<long> g_outstanding_samples{0};
}

CMediaSample::CMediaSample(CMemAllocator* allocator, BYTE* buffer, LONG size)
    : allocator_(allocator), buffer_(buffer), size_(size), actual_length_(size) {}

LONG CMediaSample::AllocatorBuffers(IMediaSample* sample) {
    auto* own = dynamic_cast<CMediaSample*>(sample);
    if (!own || !own->allocator_) return 0;
    ALLOCATOR_PROPERTIES properties{};
    return SUCCEEDED(own->allocator_->GetProperties(&properties)) ? properties.cBuffers : 0;
}

long CMediaSample::OutstandingCount() {
    return g_outstanding_samples.load();
}

HRESULT CMediaSample::QueryInterface(const GUID& riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid == IUnknown::iid || riid == IMediaSample::iid)
        return GetInterface(static_cast<IMediaSample*>(this), object);
    if (riid == IMediaSampleVideoFlags::iid)
        return GetInterface(static_cast<IMediaSampleVideoFlags*>(this), object);
    return E_NOINTERFACE;
}

HRESULT CMediaSample::GetVideoFlags(DWORD* flags) {
    if (!flags) return E_POINTER;
    *flags = video_flags_valid_ ? video_flags_ : 0;
    return video_flags_valid_ ? S_OK : S_FALSE;
}

HRESULT CMediaSample::SetVideoFlags(DWORD flags) {
    video_flags_ = flags;
    video_flags_valid_ = true;
    return S_OK;
}

ULONG CMediaSample::AddRef() {
    return refs_.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG CMediaSample::Release() {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) {
        // May destroy the allocator and with it this sample: touch nothing afterwards.
        CMemAllocator* allocator = allocator_;
        allocator->ReleaseBuffer(this);
    }
    return left;
}

HRESULT CMediaSample::GetPointer(BYTE** buffer) {
    if (!buffer) return E_POINTER;
    *buffer = buffer_;
    return S_OK;
}

HRESULT CMediaSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) {
    if (!start || !stop) return E_POINTER;
    if (!times_valid_) return VFW_E_SAMPLE_TIME_NOT_SET;
    *start = start_;
    if (stop_valid_) {
        *stop = stop_;
        return S_OK;
    }
    *stop = start_ + 1;
    return VFW_S_NO_STOP_TIME;
}

HRESULT CMediaSample::SetTime(const REFERENCE_TIME* start, const REFERENCE_TIME* stop) {
    if (!start) {
        times_valid_ = stop_valid_ = false;
        return S_OK;
    }
    times_valid_ = true;
    start_ = *start;
    stop_valid_ = stop != nullptr;
    stop_ = stop ? *stop : 0;
    return S_OK;
}

HRESULT CMediaSample::SetSyncPoint(BOOL sync_point) {
    sync_point_ = sync_point != FALSE;
    return S_OK;
}

HRESULT CMediaSample::SetPreroll(BOOL preroll) {
    preroll_ = preroll != FALSE;
    return S_OK;
}

HRESULT CMediaSample::SetActualDataLength(LONG length) {
    if (length < 0 || length > size_) return VFW_E_BUFFER_OVERFLOW;
    actual_length_ = length;
    return S_OK;
}

HRESULT CMediaSample::GetMediaType(CMediaType* type) {
    if (!type) return E_POINTER;
    if (!type_) {
        type->InitMediaType();
        return S_FALSE;
    }
    return type->Set(*type_);
}

HRESULT CMediaSample::SetMediaType(const AM_MEDIA_TYPE* type) {
    if (!type) {
        type_.reset();
        return S_OK;
    }
    CMediaType copy;
    const HRESULT hr = copy.Set(*type);
    if (FAILED(hr)) return hr;
    type_ = std::move(copy);
    return S_OK;
}

HRESULT CMediaSample::SetDiscontinuity(BOOL discontinuity) {
    discontinuity_ = discontinuity != FALSE;
    return S_OK;
}

HRESULT CMediaSample::GetMediaTime(LONGLONG* start, LONGLONG* stop) {
    if (!start || !stop) return E_POINTER;
    if (!media_times_valid_) return VFW_E_MEDIA_TIME_NOT_SET;
    *start = media_start_;
    *stop = media_stop_;
    return S_OK;
}

HRESULT CMediaSample::SetMediaTime(const LONGLONG* start, const LONGLONG* stop) {
    if (!start || !stop) {
        media_times_valid_ = false;
        return S_OK;
    }
    media_times_valid_ = true;
    media_start_ = *start;
    media_stop_ = *stop;
    return S_OK;
}

void CMediaSample::ResetProperties() {
    actual_length_ = size_;
    times_valid_ = stop_valid_ = media_times_valid_ = false;
    sync_point_ = preroll_ = discontinuity_ = false;
    video_flags_valid_ = false;
    video_flags_ = 0;
    type_.reset();
}

CMemAllocator::CMemAllocator() : CUnknown("CMemAllocator") {}

CMemAllocator::~CMemAllocator() {
    std::lock_guard lock(mutex_);
    FreeBuffersLocked();
}

HRESULT CMemAllocator::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IMemAllocator::iid) return GetInterface(static_cast<IMemAllocator*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(riid, object);
}

HRESULT CMemAllocator::SetProperties(const ALLOCATOR_PROPERTIES* request,
                                     ALLOCATOR_PROPERTIES* actual) {
    if (!request || !actual) return E_POINTER;
    std::lock_guard lock(mutex_);
    if (committed_) return VFW_E_ALREADY_COMMITTED;
    if (outstanding_ > 0) return VFW_E_BUFFERS_OUTSTANDING;
    const LONG align = request->cbAlign;
    if (align <= 0 || (align & (align - 1)) != 0) return VFW_E_BADALIGN;
    if (request->cBuffers < 0 || request->cbBuffer < 0 || request->cbPrefix < 0)
        return E_INVALIDARG;
    const std::int64_t whole = std::int64_t{request->cbBuffer} + request->cbPrefix;
    const std::int64_t rounded = (whole + align - 1) / align * align;
    if (rounded > INT32_MAX) return E_OUTOFMEMORY;
    // New properties: the old buffers (none are out) are no longer the right shape.
    FreeBuffersLocked();
    props_ = *request;
    props_.cbBuffer = static_cast<LONG>(rounded - request->cbPrefix);
    *actual = props_;
    return S_OK;
}

HRESULT CMemAllocator::GetProperties(ALLOCATOR_PROPERTIES* props) {
    if (!props) return E_POINTER;
    std::lock_guard lock(mutex_);
    *props = props_;
    return S_OK;
}

HRESULT CMemAllocator::Commit() {
    std::lock_guard lock(mutex_);
    if (committed_) return S_OK;
    if (props_.cBuffers <= 0 || props_.cbBuffer <= 0) return VFW_E_SIZENOTSET;
    if (samples_.empty()) {
        const std::size_t align = static_cast<std::size_t>(props_.cbAlign);
        const std::size_t prefix = static_cast<std::size_t>(props_.cbPrefix);
        for (LONG i = 0; i < props_.cBuffers; ++i) {
            std::unique_ptr<BYTE[]> block(new (std::nothrow)
                                              BYTE[prefix + props_.cbBuffer + align]);
            if (!block) {
                FreeBuffersLocked();
                return E_OUTOFMEMORY;
            }
            // The data (behind the prefix) starts on an aligned address.
            const auto raw = reinterpret_cast<std::uintptr_t>(block.get()) + prefix;
            BYTE* data = reinterpret_cast<BYTE*>((raw + align - 1) / align * align);
            samples_.push_back(std::make_unique<CMediaSample>(this, data, props_.cbBuffer));
            free_.push_back(samples_.back().get());
            blocks_.push_back(std::move(block));
        }
    }
    committed_ = true;
    return S_OK;
}

HRESULT CMemAllocator::Decommit() {
    {
        std::lock_guard lock(mutex_);
        if (!committed_) return S_OK;
        committed_ = false;
        if (outstanding_ == 0) FreeBuffersLocked();
    }
    buffer_freed_.notify_all();
    return S_OK;
}

HRESULT CMemAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME*, REFERENCE_TIME*,
                                 DWORD flags) {
    if (!sample) return E_POINTER;
    *sample = nullptr;
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (!committed_) return VFW_E_NOT_COMMITTED;
            if (!free_.empty()) break;
            if (flags & AM_GBF_NOWAIT) return VFW_E_TIMEOUT;
            buffer_freed_.wait(lock);
        }
        CMediaSample* s = free_.back();
        free_.pop_back();
        ++outstanding_;
        g_outstanding_samples.fetch_add(1, std::memory_order_relaxed);
        s->refs_.store(1, std::memory_order_relaxed);
        *sample = s;
    }
    NonDelegatingAddRef();  // held by the sample until it comes back
    return S_OK;
}

HRESULT CMemAllocator::ReleaseBuffer(IMediaSample* sample) {
    auto* s = static_cast<CMediaSample*>(sample);
    {
        std::lock_guard lock(mutex_);
        s->ResetProperties();
        free_.push_back(s);
        --outstanding_;
        g_outstanding_samples.fetch_sub(1, std::memory_order_relaxed);
        if (!committed_ && outstanding_ == 0) FreeBuffersLocked();
    }
    buffer_freed_.notify_one();
    NonDelegatingRelease();  // may delete this allocator
    return S_OK;
}

LONG CMemAllocator::FreeCount() {
    std::lock_guard lock(mutex_);
    return static_cast<LONG>(free_.size());
}

void CMemAllocator::FreeBuffersLocked() {
    free_.clear();
    samples_.clear();
    blocks_.clear();
}

}  // namespace rizuvira::platform
