// SPDX-License-Identifier: GPL-2.0-or-later
#include "demux/async_file_reader.h"

#include "demux/playlist_source.h"
#include "platform/file_stream.h"

namespace rizuvira::demux {

HRESULT CAsyncFileReader::Open(const std::string& path) {
    owner_.Reset();
    reader_.Reset();
    HRESULT hr = S_OK;
    // A Blu-ray title is named by its playlist: its clips are read as one stream.
    CAsyncReader* source = nullptr;
    if (IsPlaylistPath(path)) {
        auto* playlist = new CPlaylistSource(nullptr, &hr);
        source = playlist;
        if (SUCCEEDED(hr)) hr = playlist->Load(path, nullptr);
    } else {
        auto* file = new CAsyncFileSource(nullptr, &hr);
        source = file;
        if (SUCCEEDED(hr)) hr = file->Load(path, nullptr);
    }
    ComPtr<IBaseFilter> filter(source);
    if (FAILED(hr)) return hr;
    ComPtr<IPin> pin(source->GetPin(0));
    ComPtr<IAsyncReader> reader;
    hr = pin.As(&reader);
    if (FAILED(hr)) return hr;
    hr = filter.As(&owner_);
    if (FAILED(hr)) return hr;
    reader_ = reader;
    return S_OK;
}

}  // namespace rizuvira::demux
