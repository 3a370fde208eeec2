// SPDX-License-Identifier: GPL-2.0-or-later
// A Blu-ray title as a pull-model byte source: the clips of its playlist joined into one
// transport stream (bluray::PlaylistStream), offered like a file so that the splitter reads
// a title by its playlist path (IFileSourceFilter.Load, GetCurFile).
//
// Threads: Load on the application thread while the filter is stopped and unconnected;
// reads run under the stream's lock, taken by the request engine.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "bluray/playlist_stream.h"
#include "platform/async_reader.h"
#include "platform/sync.h"

namespace rizuvira::demux {

// Whether `path` names a Blu-ray title (ROOT/BDMV/PLAYLIST/NNNNN.mpls) rather than a file.
bool IsPlaylistPath(const std::string& path);

class CPlaylistByteStream final : public CAsyncStream {
public:
    // E_FAIL when the title's disc, playlist or clips cannot be opened.
    HRESULT Open(const std::string& path);
    const bluray::PlaylistStream& playlist() const { return playlist_; }

    HRESULT MoveToByte(LONGLONG position) override;
    HRESULT ReadBytes(BYTE* destination, DWORD count, DWORD* actual) override;
    LONGLONG TotalSize(LONGLONG* available = nullptr) override;
    DWORD RequiredAlignment() override { return 1; }
    void LockStream() override { lock_.Lock(); }
    void UnlockStream() override { lock_.Unlock(); }

private:
    CCritSec lock_;
    bluray::PlaylistStream playlist_;  // guarded by lock_ once open
    std::atomic<LONGLONG> size_{0};    // read without the lock by TotalSize
    LONGLONG position_ = 0;
};

inline constexpr GUID CLSID_PlaylistSource = "B63F5E53-7A9E-4F00-86BF-94722390EE46"_guid;

class CPlaylistSource final : public CAsyncReader, public IFileSourceFilter {
public:
    CPlaylistSource(IUnknown* outer, HRESULT* hr);
    ~CPlaylistSource() override;

    HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object) override;
    HRESULT Load(const std::string& file_name, const AM_MEDIA_TYPE* type) override;
    HRESULT GetCurFile(std::string* file_name, CMediaType* type) override;

    // The clip information of the title's first clip (empty before Load).
    const std::vector<uint8_t>& first_clip_info() const {
        return stream_.playlist().first_clip_info();
    }

private:
    CPlaylistByteStream stream_;
    std::string file_name_;
};

}  // namespace rizuvira::demux
