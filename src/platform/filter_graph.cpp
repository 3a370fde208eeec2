// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/filter_graph.h"

#include <algorithm>

#include "platform/filter_graph_impl.h"
#include "platform/registry.h"

namespace rizuvira::platform {

namespace {

constexpr int kMaxRenderDepth = 4;

}  // namespace

bool CFilterGraph::SameObject(IUnknown* a, IUnknown* b) {
    if (!a || !b) return a == b;
    ComPtr<IUnknown> ua;
    ComPtr<IUnknown> ub;
    if (FAILED(ComPtr<IUnknown>(a).As(&ua)) || FAILED(ComPtr<IUnknown>(b).As(&ub))) return false;
    return ua == ub;
}

std::vector<ComPtr<IPin>> CFilterGraph::PinsOf(IBaseFilter* filter) {
    std::vector<ComPtr<IPin>> pins;
    filter->EnumPins(&pins);
    return pins;
}

bool CFilterGraph::IsDirection(IPin* pin, PIN_DIRECTION wanted) {
    PIN_DIRECTION direction = PINDIR_INPUT;
    return SUCCEEDED(pin->QueryDirection(&direction)) && direction == wanted;
}

bool CFilterGraph::IsConnected(IPin* pin) {
    ComPtr<IPin> peer;
    return SUCCEEDED(pin->ConnectedTo(peer.ReleaseAndGetAddressOf())) && peer;
}

ComPtr<IBaseFilter> CFilterGraph::OwnerOf(IPin* pin) {
    PIN_INFO info;
    if (FAILED(pin->QueryPinInfo(&info))) return {};
    return info.pFilter;
}

bool CFilterGraph::IsRenderer(IBaseFilter* filter) {
    ComPtr<IAMFilterMiscFlags> flags;
    if (SUCCEEDED(QueryInterfaceAs(filter, &flags)) &&
        (flags->GetMiscFlags() & AM_FILTER_MISC_FLAGS_IS_RENDERER))
        return true;
    bool connected_input = false;
    for (const ComPtr<IPin>& pin : PinsOf(filter)) {
        if (!IsConnected(pin.Get())) continue;
        if (IsDirection(pin.Get(), PINDIR_OUTPUT)) return false;
        connected_input = true;
    }
    return connected_input;
}

bool CFilterGraph::HasConnectedInput(IBaseFilter* filter) {
    for (const ComPtr<IPin>& pin : PinsOf(filter))
        if (IsDirection(pin.Get(), PINDIR_INPUT) && IsConnected(pin.Get())) return true;
    return false;
}

CFilterGraph::~CFilterGraph() {
    // Filters may AddRef/Release the graph while they leave it: keep the count off zero.
    NonDelegatingAddRef();
    CAutoLock lock(&lock_);
    StopLocked();
    while (!filters_.empty()) RemoveFilter(filters_.back().filter.Get());
    clock_.Reset();
}

HRESULT CFilterGraph::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (riid == IFilterGraph::iid) return GetInterface(static_cast<IFilterGraph*>(this), object);
    if (riid == IGraphBuilder::iid) return GetInterface(static_cast<IGraphBuilder*>(this), object);
    if (riid == IMediaControl::iid) return GetInterface(static_cast<IMediaControl*>(this), object);
    if (riid == IMediaEvent::iid) return GetInterface(static_cast<IMediaEvent*>(this), object);
    if (riid == IMediaEventEx::iid) return GetInterface(static_cast<IMediaEventEx*>(this), object);
    if (riid == IMediaSeeking::iid) return GetInterface(static_cast<IMediaSeeking*>(this), object);
    if (riid == IMediaFilter::iid) return GetInterface(static_cast<IMediaFilter*>(this), object);
    if (riid == IMediaEventSink::iid)
        return GetInterface(static_cast<IMediaEventSink*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(riid, object);
}

// ---------------------------------------------------------------------------------------
// Building

bool CFilterGraph::ContainsLocked(IBaseFilter* filter) const {
    return std::any_of(filters_.begin(), filters_.end(),
                       [&](const Entry& e) { return e.filter.Get() == filter; });
}

std::string CFilterGraph::UniqueNameLocked(const std::string& wanted) const {
    const auto taken = [&](const std::string& name) {
        return std::any_of(filters_.begin(), filters_.end(),
                           [&](const Entry& e) { return e.name == name; });
    };
    const std::string base = wanted.empty() ? "Filter" : wanted;
    if (!wanted.empty() && !taken(wanted)) return wanted;
    for (int n = 1;; ++n) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, " %04d", n);
        if (!taken(base + suffix)) return base + suffix;
    }
}

HRESULT CFilterGraph::AddFilter(IBaseFilter* filter, const std::string& name) {
    if (!filter) return E_POINTER;
    CAutoLock lock(&lock_);
    if (ContainsLocked(filter)) return E_INVALIDARG;
    const std::string unique = UniqueNameLocked(name);
    const HRESULT hr = filter->JoinFilterGraph(static_cast<IFilterGraph*>(this), unique);
    if (FAILED(hr)) return hr;
    filters_.push_back({filter, unique});
    if (!clock_set_explicitly_) clock_.Reset();  // chosen again at the next pause
    return unique == name ? S_OK : VFW_S_DUPLICATE_NAME;
}

HRESULT CFilterGraph::RemoveFilter(IBaseFilter* filter) {
    if (!filter) return E_POINTER;
    CAutoLock lock(&lock_);
    auto it = std::find_if(filters_.begin(), filters_.end(),
                           [&](const Entry& e) { return e.filter.Get() == filter; });
    if (it == filters_.end()) return VFW_E_NOT_FOUND;
    const ComPtr<IBaseFilter> keep = it->filter;
    FILTER_STATE state = State_Stopped;
    if (SUCCEEDED(filter->GetState(0, &state)) && state != State_Stopped) filter->Stop();
    for (const ComPtr<IPin>& pin : PinsOf(filter)) {
        ComPtr<IPin> peer;
        if (SUCCEEDED(pin->ConnectedTo(peer.ReleaseAndGetAddressOf())) && peer) {
            peer->Disconnect();
            pin->Disconnect();
        }
    }
    // A filter that is the graph's clock would otherwise hold itself.
    if (clock_ && SameObject(clock_.Get(), filter)) {
        clock_.Reset();
        clock_set_explicitly_ = false;
    }
    filter->SetSyncSource(nullptr);
    filter->JoinFilterGraph(nullptr, std::string());
    filters_.erase(std::find_if(filters_.begin(), filters_.end(),
                                [&](const Entry& e) { return e.filter.Get() == filter; }));
    return S_OK;
}

HRESULT CFilterGraph::EnumFilters(std::vector<ComPtr<IBaseFilter>>* filters) {
    if (!filters) return E_POINTER;
    CAutoLock lock(&lock_);
    filters->clear();
    for (const Entry& e : filters_) filters->push_back(e.filter);
    return S_OK;
}

HRESULT CFilterGraph::FindFilterByName(const std::string& name, IBaseFilter** filter) {
    if (!filter) return E_POINTER;
    *filter = nullptr;
    CAutoLock lock(&lock_);
    for (const Entry& e : filters_) {
        if (e.name == name) {
            *filter = e.filter.CopyOut();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT CFilterGraph::ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* type) {
    if (!out || !in) return E_POINTER;
    CAutoLock lock(&lock_);
    if (!IsDirection(out, PINDIR_OUTPUT) || !IsDirection(in, PINDIR_INPUT))
        return VFW_E_INVALID_DIRECTION;
    const ComPtr<IBaseFilter> out_filter = OwnerOf(out);
    const ComPtr<IBaseFilter> in_filter = OwnerOf(in);
    if (!ContainsLocked(out_filter.Get()) || !ContainsLocked(in_filter.Get()))
        return VFW_E_NOT_IN_GRAPH;
    return out->Connect(in, type);
}

HRESULT CFilterGraph::Disconnect(IPin* pin) {
    if (!pin) return E_POINTER;
    CAutoLock lock(&lock_);
    return pin->Disconnect();
}

HRESULT CFilterGraph::Connect(IPin* out, IPin* in) {
    if (!out || !in) return E_POINTER;
    CAutoLock lock(&lock_);
    HRESULT hr = ConnectDirect(out, in, nullptr);
    if (SUCCEEDED(hr)) return hr;
    if (hr == VFW_E_NOT_IN_GRAPH || hr == VFW_E_ALREADY_CONNECTED || hr == VFW_E_NOT_STOPPED ||
        hr == VFW_E_INVALID_DIRECTION)
        return hr;
    hr = ConnectVia(out, in, 2);
    return SUCCEEDED(hr) ? hr : VFW_E_CANNOT_CONNECT;
}

HRESULT CFilterGraph::ConnectVia(IPin* out, IPin* in, int depth) {
    if (depth <= 0) return VFW_E_CANNOT_CONNECT;
    for (const ComponentInfo& info : ComponentRegistry::Instance().Components()) {
        if (info.merit <= MERIT_DO_NOT_USE) continue;
        ComPtr<IBaseFilter> filter;
        if (FAILED(CoCreateInstance(info.clsid, &filter))) continue;
        if (FAILED(AddFilter(filter.Get(), info.name))) continue;
        for (const ComPtr<IPin>& middle_in : PinsOf(filter.Get())) {
            if (!IsDirection(middle_in.Get(), PINDIR_INPUT) || IsConnected(middle_in.Get()))
                continue;
            if (FAILED(out->Connect(middle_in.Get(), nullptr))) continue;
            for (const ComPtr<IPin>& middle_out : PinsOf(filter.Get())) {
                if (!IsDirection(middle_out.Get(), PINDIR_OUTPUT) || IsConnected(middle_out.Get()))
                    continue;
                if (SUCCEEDED(middle_out->Connect(in, nullptr))) return S_OK;
                if (SUCCEEDED(ConnectVia(middle_out.Get(), in, depth - 1))) return S_OK;
            }
            middle_in->Disconnect();
            out->Disconnect();
        }
        RemoveFilter(filter.Get());
    }
    return VFW_E_CANNOT_CONNECT;
}

HRESULT CFilterGraph::Render(IPin* out) {
    if (!out) return E_POINTER;
    CAutoLock lock(&lock_);
    if (!IsDirection(out, PINDIR_OUTPUT)) return VFW_E_INVALID_DIRECTION;
    if (IsConnected(out)) return VFW_E_ALREADY_CONNECTED;
    if (!ContainsLocked(OwnerOf(out).Get())) return VFW_E_NOT_IN_GRAPH;
    std::vector<ComPtr<IBaseFilter>> added;
    return RenderPin(out, kMaxRenderDepth, &added);
}

void CFilterGraph::RemoveAdded(std::vector<ComPtr<IBaseFilter>>* added, std::size_t keep) {
    while (added->size() > keep) {
        RemoveFilter(added->back().Get());
        added->pop_back();
    }
}

HRESULT CFilterGraph::RenderOutputs(IBaseFilter* filter, int depth,
                                    std::vector<ComPtr<IBaseFilter>>* added) {
    for (const ComPtr<IPin>& pin : PinsOf(filter)) {
        if (!IsDirection(pin.Get(), PINDIR_OUTPUT) || IsConnected(pin.Get())) continue;
        const HRESULT hr = RenderPin(pin.Get(), depth, added);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT CFilterGraph::RenderPin(IPin* out, int depth, std::vector<ComPtr<IBaseFilter>>* added) {
    if (depth <= 0) return VFW_E_CANNOT_RENDER;
    const ComPtr<IBaseFilter> own = OwnerOf(out);

    // Filters already in the graph with a free input pin.
    std::vector<ComPtr<IBaseFilter>> present;
    for (const Entry& e : filters_)
        if (e.filter != own) present.push_back(e.filter);
    for (const ComPtr<IBaseFilter>& filter : present) {
        for (const ComPtr<IPin>& in : PinsOf(filter.Get())) {
            if (!IsDirection(in.Get(), PINDIR_INPUT) || IsConnected(in.Get())) continue;
            if (FAILED(out->Connect(in.Get(), nullptr))) continue;
            const std::size_t mark = added->size();
            if (SUCCEEDED(RenderOutputs(filter.Get(), depth - 1, added))) return S_OK;
            RemoveAdded(added, mark);
            in->Disconnect();
            out->Disconnect();
        }
    }

    // Registered filters, best merit first.
    for (const ComponentInfo& info : ComponentRegistry::Instance().Components()) {
        if (info.merit <= MERIT_DO_NOT_USE) continue;
        ComPtr<IBaseFilter> filter;
        if (FAILED(CoCreateInstance(info.clsid, &filter))) continue;
        if (FAILED(AddFilter(filter.Get(), info.name))) continue;
        const std::size_t mark = added->size();
        added->push_back(filter);
        for (const ComPtr<IPin>& in : PinsOf(filter.Get())) {
            if (!IsDirection(in.Get(), PINDIR_INPUT) || IsConnected(in.Get())) continue;
            if (FAILED(out->Connect(in.Get(), nullptr))) continue;
            if (SUCCEEDED(RenderOutputs(filter.Get(), depth - 1, added))) return S_OK;
            RemoveAdded(added, mark + 1);
            in->Disconnect();
            out->Disconnect();
        }
        RemoveAdded(added, mark);
    }
    return VFW_E_CANNOT_RENDER;
}

HRESULT CreateFilterGraph(IUnknown** graph) {
    if (!graph) return E_POINTER;
    CFilterGraph* created = new (std::nothrow) CFilterGraph;
    if (!created) return E_OUTOFMEMORY;
    *graph = ComPtr<IUnknown>(static_cast<IUnknown*>(static_cast<IFilterGraph*>(created))).Detach();
    return S_OK;
}

}  // namespace rizuvira::platform
