// SPDX-License-Identifier: GPL-2.0-or-later
// A plain file as a pull-model byte source: CFileStream (a CAsyncStream over a file
// descriptor) and CAsyncFileSource (a CAsyncReader filter with IFileSourceFilter that offers a
// loaded file as MEDIATYPE_Stream with the subtype given to Load, or any).
//
// Threads: CFileStream's reads run under its own lock (LockStream), taken by the request
// engine; Open/Close only while no reads are under way. CAsyncFileSource::Load runs on the
// application thread while the filter is stopped and unconnected.
#pragma once

#include <atomic>
#include <string>

#include "platform/async_reader.h"
#include "platform/sync.h"

namespace rizuvira::platform {

class CFileStream final : public CAsyncStream {
public:
    CFileStream() = default;
    ~CFileStream() override;
    CFileStream(const CFileStream&) = delete;
    CFileStream& operator=(const CFileStream&) = delete;

    // E_FAIL when the file cannot be opened or is not a regular file.
    HRESULT Open(const std::string& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    HRESULT MoveToByte(LONGLONG position) override;
    HRESULT ReadBytes(BYTE* destination, DWORD count, DWORD* actual) override;
    LONGLONG TotalSize(LONGLONG* available = nullptr) override;
    DWORD RequiredAlignment() override { return 1; }
    void LockStream() override { lock_.Lock(); }
    void UnlockStream() override { lock_.Unlock(); }

private:
    CCritSec lock_;
    int fd_ = -1;
    std::atomic<LONGLONG> size_{0};  // read without the lock by TotalSize
    LONGLONG position_ = 0;
};

inline constexpr GUID CLSID_AsyncFileSource = "B5A21902-628F-424D-BE7C-A322CCF077B0"_guid;

class CAsyncFileSource final : public CAsyncReader, public IFileSourceFilter {
public:
    CAsyncFileSource(IUnknown* outer, HRESULT* hr);
    ~CAsyncFileSource() override;

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;

    // `type`: its subtype becomes the offered subtype (null type: any).
    HRESULT Load(const std::string& file_name, const AM_MEDIA_TYPE* type) override;
    HRESULT GetCurFile(std::string* file_name, CMediaType* type) override;

private:
    CFileStream stream_;
    std::string file_name_;
};

}  // namespace rizuvira::platform
