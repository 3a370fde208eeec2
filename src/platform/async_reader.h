// SPDX-License-Identifier: GPL-2.0-or-later
// The pull model: IAsyncReader (a downstream filter reads byte ranges from the source on its
// own thread), IFileSourceFilter, and the source filter base CAsyncReader with its single
// output pin CAsyncOutputPin ("Output").
//
// Byte ranges travel in samples: a sample's start and stop times are byte positions times
// 10,000,000 (UNITS). Request clips a range that passes the stream's end (rounded up to the
// alignment) and moves the sample's stop time to match.
//
// A derived source filter (the DVD reader) supplies the CAsyncStream and the media type its pin
// offers (m_mt, set while stopped and unconnected, under m_csFilter), and adds its own
// interfaces in NonDelegatingQueryInterface. The stream may be a member of the derived class:
// breaking the pin's connection (which must happen before the filter can be destroyed, since a
// peer holds a reference) flushes the request engine and waits for a read under way, so the
// stream is idle before the derived class goes away.
//
// Threads: IAsyncReader calls come from the downstream filter's threads; the request engine
// (CAsyncIo) has its own worker thread. Connection runs on the application thread.
#pragma once

#include <string>

#include "platform/async_io.h"
#include "platform/base_filter.h"
#include "platform/base_pin.h"

namespace rizuvira::platform {

struct IAsyncReader : virtual IUnknown {
    static constexpr GUID iid = "56A868AA-0AD4-11CE-B03A-0020AF0BA770"_guid;

    // Chooses the allocator the caller's samples come from: `preferred` if it takes the
    // properties with an acceptable alignment, else a new memory allocator; VFW_E_BADALIGN when
    // neither fits. A requested alignment of 0 or one not a multiple of the stream's becomes the
    // stream's.
    virtual HRESULT RequestAllocator(IMemAllocator* preferred, ALLOCATOR_PROPERTIES* props,
                                     IMemAllocator** actual) = 0;
    // Queues a read into the sample; takes over the caller's reference to it (kept by the
    // caller if Request fails).
    virtual HRESULT Request(IMediaSample* sample, DWORD_PTR user) = 0;
    // Hands back the next finished sample (with its reference) and its user value; the sample's
    // data length is the bytes read. VFW_E_TIMEOUT, VFW_E_WRONG_STATE (flushing, nothing left),
    // E_FAIL for a short read that does not end at the stream's length.
    virtual HRESULT WaitForNext(DWORD timeout_ms, IMediaSample** sample, DWORD_PTR* user) = 0;
    // Request + wait, on the caller's thread.
    virtual HRESULT SyncReadAligned(IMediaSample* sample) = 0;
    // S_OK for the whole length, S_FALSE for a short read.
    virtual HRESULT SyncRead(LONGLONG position, LONG length, BYTE* buffer) = 0;
    virtual HRESULT Length(LONGLONG* total, LONGLONG* available) = 0;
    // Queued requests come back unperformed; WaitForNext then answers VFW_E_WRONG_STATE.
    virtual HRESULT BeginFlush() = 0;
    virtual HRESULT EndFlush() = 0;
};

struct IFileSourceFilter : virtual IUnknown {
    static constexpr GUID iid = "56A868A6-0AD4-11CE-B03A-0020AF0BA770"_guid;

    virtual HRESULT Load(const std::string& file_name, const AM_MEDIA_TYPE* type) = 0;
    // `type` may be null (not wanted).
    virtual HRESULT GetCurFile(std::string* file_name, CMediaType* type) = 0;
};

inline constexpr const GUID& IID_IAsyncReader = IAsyncReader::iid;
inline constexpr const GUID& IID_IFileSourceFilter = IFileSourceFilter::iid;

class CAsyncReader;

// The output pin. It completes a connection only with a peer that asked it for IAsyncReader
// (else VFW_E_NO_TRANSPORT). IPin's BeginFlush/EndFlush and IAsyncReader's are the same
// functions: they flush the request engine.
class CAsyncOutputPin : public CBasePin, public IAsyncReader {
public:
    CAsyncOutputPin(HRESULT* hr, CAsyncReader* reader, CAsyncIo* io, CCritSec* lock);

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;

    // One type: the reader's. E_INVALIDARG below 0, VFW_S_NO_MORE_ITEMS above.
    HRESULT GetMediaType(int position, CMediaType* type) override;
    // Accepts equal major types when the offered subtype is null or equal to the proposed one.
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT CompleteConnect(IPin* receive_pin) override;
    HRESULT BreakConnect() override;

    // IAsyncReader
    HRESULT RequestAllocator(IMemAllocator* preferred, ALLOCATOR_PROPERTIES* props,
                             IMemAllocator** actual) override;
    HRESULT Request(IMediaSample* sample, DWORD_PTR user) override;
    HRESULT WaitForNext(DWORD timeout_ms, IMediaSample** sample, DWORD_PTR* user) override;
    HRESULT SyncReadAligned(IMediaSample* sample) override;
    HRESULT SyncRead(LONGLONG position, LONG length, BYTE* buffer) override;
    HRESULT Length(LONGLONG* total, LONGLONG* available) override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

private:
    // The byte range of a sample, clipped to the stream (see the file comment).
    HRESULT ConvertSampleRange(IMediaSample* sample, LONGLONG* position, LONG* length,
                               BYTE** buffer);

    CAsyncReader* const reader_;
    CAsyncIo* const io_;
    bool queried_for_async_reader_ = false;
};

class CAsyncReader : public CBaseFilter {
public:
    // `stream` must outlive the filter's I/O (a member of the derived class is fine: it is
    // used only once the filter is built).
    CAsyncReader(const char* object_name, IUnknown* outer, CAsyncStream* stream, HRESULT* hr,
                 const CLSID& clsid);
    ~CAsyncReader() override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override;

    // The type the output pin offers.
    const CMediaType* LoadType() const { return &m_mt; }

protected:
    CCritSec m_csFilter;
    CAsyncIo m_Io;
    CAsyncOutputPin m_OutputPin;
    CMediaType m_mt;
};

}  // namespace rizuvira::platform
