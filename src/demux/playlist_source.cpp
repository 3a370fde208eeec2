// SPDX-License-Identifier: GPL-2.0-or-later
#include "demux/playlist_source.h"

#include <filesystem>

namespace rizuvira::demux {

bool IsPlaylistPath(const std::string& path) {
    std::filesystem::path root;
    uint32_t playlist = 0;
    return bluray::SplitPlaylistPath(path, &root, &playlist);
}

HRESULT CPlaylistByteStream::Open(const std::string& path) {
    CAutoLock lock(&lock_);
    std::string error;
    if (!playlist_.Open(path, &error)) return E_FAIL;
    size_ = playlist_.Size();
    position_ = 0;
    return S_OK;
}

HRESULT CPlaylistByteStream::MoveToByte(LONGLONG position) {
    position_ = position;
    return S_OK;
}

HRESULT CPlaylistByteStream::ReadBytes(BYTE* destination, DWORD count, DWORD* actual) {
    *actual = 0;
    if (count == 0) return S_OK;
    const int64_t got = playlist_.ReadAt(position_, destination, count);
    if (got <= 0) return E_FAIL;
    position_ += got;
    *actual = static_cast<DWORD>(got);
    return S_OK;
}

LONGLONG CPlaylistByteStream::TotalSize(LONGLONG* available) {
    const LONGLONG size = size_;
    if (available) *available = size;
    return size;
}

CPlaylistSource::CPlaylistSource(IUnknown* outer, HRESULT* hr)
    : CAsyncReader("Blu-ray playlist source", outer, &stream_, hr, CLSID_PlaylistSource) {}

CPlaylistSource::~CPlaylistSource() = default;

HRESULT CPlaylistSource::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IFileSourceFilter::iid)
        return GetInterface(static_cast<IFileSourceFilter*>(this), object);
    return CAsyncReader::NonDelegatingQueryInterface(riid, object);
}

HRESULT CPlaylistSource::Load(const std::string& file_name, const AM_MEDIA_TYPE* type) {
    CAutoLock lock(&m_csFilter);
    if (!IsStopped() || m_OutputPin.IsConnected() || !file_name_.empty()) return VFW_E_WRONG_STATE;
    const HRESULT hr = stream_.Open(file_name);
    if (FAILED(hr)) return hr;
    file_name_ = file_name;
    m_mt.InitMediaType();
    m_mt.SetType(&MEDIATYPE_Stream);
    m_mt.SetSubtype(type ? &type->subtype : &MEDIASUBTYPE_NULL);
    return S_OK;
}

HRESULT CPlaylistSource::GetCurFile(std::string* file_name, CMediaType* type) {
    if (!file_name) return E_POINTER;
    CAutoLock lock(&m_csFilter);
    *file_name = file_name_;
    if (type) type->Set(m_mt);
    return S_OK;
}

}  // namespace rizuvira::demux
