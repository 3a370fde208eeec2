// SPDX-License-Identifier: GPL-2.0-or-later
// Media samples and the memory allocator.
//
// Ownership: CMemAllocator owns its CMediaSample objects and their buffers. GetBuffer hands
// out a sample with one reference; whoever holds it (a ComPtr, normally) passes it on or
// releases it. When the last reference goes, the sample clears its properties and returns to
// the free list, waking one thread blocked in GetBuffer. A sample that is out holds a
// reference on its allocator, so the allocator lives until every sample is back.
//
// Threads: GetBuffer, ReleaseBuffer, Commit and Decommit may be called from any thread; the
// allocator's lock guards its lists. A sample's own properties belong to its current holder
// (one thread at a time).
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/interfaces.h"

namespace rizuvira::platform {

class CMemAllocator;

class CMediaSample final : public IMediaSample, public IMediaSampleVideoFlags {
public:
    CMediaSample(CMemAllocator* allocator, BYTE* buffer, LONG size);
    ~CMediaSample() override = default;
    CMediaSample(const CMediaSample&) = delete;
    CMediaSample& operator=(const CMediaSample&) = delete;

    HRESULT QueryInterface(const GUID& riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT GetPointer(BYTE** buffer) override;
    LONG GetSize() override { return size_; }
    HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    HRESULT SetTime(const REFERENCE_TIME* start, const REFERENCE_TIME* stop) override;
    HRESULT IsSyncPoint() override { return sync_point_ ? S_OK : S_FALSE; }
    HRESULT SetSyncPoint(BOOL sync_point) override;
    HRESULT IsPreroll() override { return preroll_ ? S_OK : S_FALSE; }
    HRESULT SetPreroll(BOOL preroll) override;
    // A sample comes out of GetBuffer with its whole buffer as data length.
    LONG GetActualDataLength() override { return actual_length_; }
    HRESULT SetActualDataLength(LONG length) override;
    HRESULT GetMediaType(CMediaType* type) override;
    HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT IsDiscontinuity() override { return discontinuity_ ? S_OK : S_FALSE; }
    HRESULT SetDiscontinuity(BOOL discontinuity) override;
    HRESULT GetMediaTime(LONGLONG* start, LONGLONG* stop) override;
    HRESULT SetMediaTime(const LONGLONG* start, const LONGLONG* stop) override;
    HRESULT GetVideoFlags(DWORD* flags) override;
    HRESULT SetVideoFlags(DWORD flags) override;

    // Samples handed out by any allocator and not yet returned (tests use it to find leaks).
    static long OutstandingCount();
    // How many samples the allocator of `sample` holds in all; 0 for a sample of another kind.
    // A filter that keeps a sample past Receive checks that its upstream has others to fill.
    static LONG AllocatorBuffers(IMediaSample* sample);

private:
    friend class CMemAllocator;
    void ResetProperties();

    std::atomic<ULONG> refs_{0};
    CMemAllocator* const allocator_;
    BYTE* const buffer_;
    const LONG size_;
    LONG actual_length_;
    bool times_valid_ = false;
    bool stop_valid_ = false;
    REFERENCE_TIME start_ = 0;
    REFERENCE_TIME stop_ = 0;
    bool media_times_valid_ = false;
    LONGLONG media_start_ = 0;
    LONGLONG media_stop_ = 0;
    bool sync_point_ = false;
    bool preroll_ = false;
    bool discontinuity_ = false;
    bool video_flags_valid_ = false;
    DWORD video_flags_ = 0;
    std::optional<CMediaType> type_;
};

class CMemAllocator final : public CUnknown, public IMemAllocator {
public:
    CMemAllocator();
    ~CMemAllocator() override;

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;

    // Rounds cbBuffer up so that prefix + buffer is a multiple of the alignment.
    // VFW_E_ALREADY_COMMITTED while committed, VFW_E_BUFFERS_OUTSTANDING while samples are out,
    // VFW_E_BADALIGN unless the alignment is a power of two.
    HRESULT SetProperties(const ALLOCATOR_PROPERTIES* request,
                          ALLOCATOR_PROPERTIES* actual) override;
    HRESULT GetProperties(ALLOCATOR_PROPERTIES* props) override;
    HRESULT Commit() override;  // VFW_E_SIZENOTSET before SetProperties
    HRESULT Decommit() override;
    HRESULT GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                      DWORD flags) override;
    HRESULT ReleaseBuffer(IMediaSample* sample) override;

    LONG FreeCount();

private:
    void FreeBuffersLocked();

    std::mutex mutex_;
    std::condition_variable buffer_freed_;
    ALLOCATOR_PROPERTIES props_{};
    bool committed_ = false;
    long outstanding_ = 0;
    std::vector<std::unique_ptr<BYTE[]>> blocks_;
    std::vector<std::unique_ptr<CMediaSample>> samples_;
    std::vector<CMediaSample*> free_;
};

}  // namespace rizuvira::platform
