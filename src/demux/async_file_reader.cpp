#include "demux/async_file_reader.h"

#include "platform/file_stream.h"

namespace rizuvira::demux {

HRESULT CAsyncFileReader::Open(const std::string& path) {
    owner_.Reset();
    reader_.Reset();
    HRESULT hr = S_OK;
    auto* source = new CAsyncFileSource(nullptr, &hr);
    ComPtr<IBaseFilter> filter(source);
    if (FAILED(hr)) return hr;
    hr = source->Load(path, nullptr);
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
