// SPDX-License-Identifier: GPL-2.0-or-later
#include "dvd/dvd_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/uuids.h"

namespace rizuvira::dvd {
namespace {

// Short traces for whoever debugs a disc; they carry no behaviour.
void Trace(const char* text) {
    static const bool enabled = std::getenv("RIZUVIRA_DEBUG") != nullptr;
    if (enabled) std::fputs(text, stderr);
}

}  // namespace

// --- CDVDStream ---------------------------------------------------------------

CDVDStream::~CDVDStream() {
    ReleaseHandle();
}

void CDVDStream::ReleaseHandle() {
    if (owns_handle_ && handle_) MyDVDClose(handle_);
    owns_handle_ = false;
    handle_ = 0;
}

HRESULT CDVDStream::SetDvdHandle(int32_t handle, bool owns) {
    CAutoLock lock(&lock_);
    if (!buffer_) buffer_.reset(new (std::nothrow) uint8_t[kDvdReadBytes]);
    if (!disc_) disc_.reset(new (std::nothrow) TitleTable);
    if (!buffer_ || !disc_) return E_FAIL;
    if (handle != handle_) ReleaseHandle();
    handle_ = handle;
    MyDVDGetInfo(handle_, disc_.get());
    SetArea(0, -1);
    owns_handle_ = owns;
    return S_OK;
}

HRESULT CDVDStream::SetArea(int32_t title, int32_t chapter) {
    CAutoLock lock(&lock_);
    if (!buffer_ || !disc_) return E_UNEXPECTED;
    if (title < 0 || title >= kDvdMaxTitles || chapter < -1 || chapter >= kDvdMaxChapters)
        return E_INVALIDARG;
    std::memset(buffer_.get(), 0, kDvdReadBytes);
    read_offset_ = 0;
    bytes_left_ = 0;
    title_ = title;
    chapter_ = chapter;
    MyDVDSetArea(handle_, title, chapter < 0 ? 0 : chapter);
    if (chapter < 0 || read_to_title_end_)
        MyDvdSetStopPos(handle_, title + 1, 0);
    else
        MyDvdSetStopPos(handle_, title, chapter + 1);
    position_ = 0;
    // The whole title's size, also for a chapter: the stop position ends the
    // reading earlier and the length then shrinks to where it ended.
    const DvdTitleInfo& info = disc_->titles[title];
    LONGLONG sectors = 0;
    for (int k = 0; k < std::min(info.chapters, kDvdMaxChapters); ++k)
        sectors += info.chapter_sectors[k];
    length_ = sectors * kDvdSectorBytes;
    return S_OK;
}

void CDVDStream::SetReadErrorHandler(std::function<void()> handler) {
    CAutoLock lock(&lock_);
    on_read_error_ = std::move(handler);
}

bool CDVDStream::FindTime(double ms, DvdCellSpan* span) {
    CAutoLock lock(&lock_);
    return handle_ != 0 && MyDvdFindTime(handle_, ms, span);
}

void CDVDStream::SetReadToTitleEnd(bool on) {
    CAutoLock lock(&lock_);
    read_to_title_end_ = on;
}

int64_t CDVDStream::AreaDurationMs() {
    CAutoLock lock(&lock_);
    if (!disc_) return 0;
    if (chapter_ >= 0) {
        const double chapter_ms = MyDvdGetChapterDuration(handle_, title_, chapter_);
        if (chapter_ms >= 0) return static_cast<int64_t>(chapter_ms);
    }
    return static_cast<int64_t>(disc_->titles[title_].duration_ms);
}

HRESULT CDVDStream::MoveToByte(LONGLONG position) {
    CAutoLock lock(&lock_);
    if (position >= position_ && position <= position_ + bytes_left_) {
        const int step = static_cast<int>(position - position_);
        bytes_left_ -= step;
        read_offset_ += step;
        position_ = position;
        return S_OK;
    }
    const int64_t reached = MyDVDSeek(handle_, position, 0);
    if (reached < 0) return E_FAIL;
    position_ = reached;
    bytes_left_ = 0;
    read_offset_ = 0;
    // The library lands at or before the asked byte; read up to it, in pieces
    // no larger than the scratch area.
    HRESULT hr = S_OK;
    if (position > reached) {
        LONGLONG skip = position - reached;
        while (skip > 0 && SUCCEEDED(hr)) {
            const DWORD piece = static_cast<DWORD>(std::min<LONGLONG>(skip, kScratchBytes));
            DWORD got = 0;
            hr = ReadBytes(scratch_, piece, &got);
            if (SUCCEEDED(hr) && got < piece) hr = E_FAIL;
            skip -= got;
        }
    }
    return hr;
}

HRESULT CDVDStream::ReadBytes(BYTE* destination, DWORD count, DWORD* actual) {
    CAutoLock lock(&lock_);
    if (actual) *actual = 0;
    if (bytes_left_ < 0 || !buffer_) return E_FAIL;
    DWORD delivered = 0;
    while (delivered < count) {
        if (bytes_left_ > 0) {
            const int n = static_cast<int>(
                std::min<DWORD>(static_cast<DWORD>(bytes_left_), count - delivered));
            std::memcpy(destination + delivered, buffer_.get() + read_offset_,
                        static_cast<size_t>(n));
            read_offset_ += n;
            bytes_left_ -= n;
            position_ += n;
            delivered += static_cast<DWORD>(n);
            continue;
        }
        const int got = MyDVDRead(handle_, buffer_.get(), kDvdReadBytes);
        read_offset_ = 0;
        bytes_left_ = std::min(got, kDvdReadBytes);
        if (got <= 0) {
            length_ = position_;  // the stream ends here
            Trace("MyDVDRead error\n");
            if (got < 0 && on_read_error_) on_read_error_();
            break;
        }
    }
    if (actual) *actual = delivered;
    return delivered > 0 || count == 0 ? S_OK : E_FAIL;
}

LONGLONG CDVDStream::TotalSize(LONGLONG* available) {
    const LONGLONG length = length_.load();
    if (available) *available = length;
    return length;
}

// --- CDVDReader ---------------------------------------------------------------

CDVDReader::CDVDReader(IUnknown* outer, HRESULT* hr)
    : CAsyncReader("DVD reader", outer, &stream_, hr, CLSID_DVDReader) {
    stream_.SetReadErrorHandler(
        [this] { NotifyEvent(EC_STREAM_ERROR_STILLPLAYING, DVDREADER_E_READ, 0); });
}

CDVDReader::~CDVDReader() = default;

HRESULT CDVDReader::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IFileSourceFilter::iid)
        return GetInterface(static_cast<IFileSourceFilter*>(this), object);
    if (riid == IMyDVDReader::iid) return GetInterface(static_cast<IMyDVDReader*>(this), object);
    if (riid == IMyDVDReadOn::iid) return GetInterface(static_cast<IMyDVDReadOn*>(this), object);
    if (riid == IMyDVDTimeMap::iid) return GetInterface(static_cast<IMyDVDTimeMap*>(this), object);
    return CAsyncReader::NonDelegatingQueryInterface(riid, object);
}

void CDVDReader::OfferProgramStream() {
    CAutoLock lock(&m_csFilter);
    m_mt.InitMediaType();
    m_mt.SetType(&MEDIATYPE_Stream);
    m_mt.SetSubtype(&MEDIASUBTYPE_NULL);
}

HRESULT CDVDReader::SetDvdHandle(int32_t handle) {
    const HRESULT hr = stream_.SetDvdHandle(handle, false);
    if (FAILED(hr)) return hr;
    {
        CAutoLock lock(&m_csFilter);
        file_name_ = "DVD";
    }
    OfferProgramStream();
    return S_OK;
}

HRESULT CDVDReader::SetArea(int32_t title, int32_t chapter) {
    return stream_.SetArea(title, chapter);
}

HRESULT CDVDReader::FindTime(double ms, DvdCellSpan* span) {
    return stream_.FindTime(ms, span) ? S_OK : E_FAIL;
}

HRESULT CDVDReader::SetReadToTitleEnd(bool on) {
    stream_.SetReadToTitleEnd(on);
    return S_OK;
}

HRESULT CDVDReader::GetDuration(int64_t* duration_ms) {
    if (!duration_ms) return E_POINTER;
    *duration_ms = stream_.AreaDurationMs();
    return S_OK;
}

HRESULT CDVDReader::Load(const std::string& file_name, const AM_MEDIA_TYPE*) {
    const int32_t handle = MyDVDOpen(file_name.c_str());
    if (handle == 0) return E_FAIL;
    const HRESULT hr = stream_.SetDvdHandle(handle, true);
    if (FAILED(hr)) {
        MyDVDClose(handle);
        return hr;
    }
    {
        CAutoLock lock(&m_csFilter);
        file_name_ = file_name;
    }
    OfferProgramStream();
    return S_OK;
}

HRESULT CDVDReader::GetCurFile(std::string* file_name, CMediaType*) {
    if (!file_name) return E_POINTER;
    CAutoLock lock(&m_csFilter);
    *file_name = file_name_;
    return S_OK;
}

}  // namespace rizuvira::dvd
