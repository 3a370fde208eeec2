// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/registry.h"

#include <algorithm>

#include "platform/filter_graph.h"
#include "platform/media_sample.h"
#include "platform/uuids.h"

namespace rizuvira::platform {

ComponentRegistry& ComponentRegistry::Instance() {
    static ComponentRegistry registry;
    return registry;
}

ComponentRegistry::ComponentRegistry() {
    // The platform's own components.
    components_.push_back({CLSID_FilterGraph, "Filter Graph", MERIT_DO_NOT_USE,
                           [](IUnknown* outer, IUnknown** object) -> HRESULT {
                               if (outer) return CLASS_E_NOAGGREGATION;
                               return CreateFilterGraph(object);
                           }});
    components_.push_back({CLSID_MemoryAllocator, "Memory Allocator", MERIT_DO_NOT_USE,
                           [](IUnknown* outer, IUnknown** object) -> HRESULT {
                               if (outer) return CLASS_E_NOAGGREGATION;
                               ComPtr<IMemAllocator> allocator(new CMemAllocator);
                               *object = static_cast<IUnknown*>(allocator.Detach());
                               return S_OK;
                           }});
}

HRESULT ComponentRegistry::Register(ComponentInfo info) {
    if (!info.factory) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    auto it = std::find_if(components_.begin(), components_.end(),
                           [&](const ComponentInfo& c) { return c.clsid == info.clsid; });
    if (it != components_.end())
        *it = std::move(info);
    else
        components_.push_back(std::move(info));
    return S_OK;
}

HRESULT ComponentRegistry::Unregister(const CLSID& clsid) {
    std::lock_guard lock(mutex_);
    const auto removed =
        std::erase_if(components_, [&](const ComponentInfo& c) { return c.clsid == clsid; });
    return removed ? S_OK : S_FALSE;
}

std::vector<ComponentInfo> ComponentRegistry::Components() {
    std::vector<ComponentInfo> result;
    {
        std::lock_guard lock(mutex_);
        result = components_;
    }
    std::stable_sort(
        result.begin(), result.end(),
        [](const ComponentInfo& a, const ComponentInfo& b) { return a.merit > b.merit; });
    return result;
}

HRESULT ComponentRegistry::Create(const CLSID& clsid, IUnknown* outer, IUnknown** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    ComponentFactory factory;
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(components_.begin(), components_.end(),
                               [&](const ComponentInfo& c) { return c.clsid == clsid; });
        if (it == components_.end()) return REGDB_E_CLASSNOTREG;
        factory = it->factory;
    }
    return factory(outer, object);
}

HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, const IID& riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    IUnknown* raw = nullptr;
    HRESULT hr = ComponentRegistry::Instance().Create(clsid, outer, &raw);
    if (FAILED(hr)) return hr;
    ComPtr<IUnknown> created = ComPtr<IUnknown>::Adopt(raw);
    if (!created) return E_UNEXPECTED;
    return created->QueryInterface(riid, object);
}

}  // namespace rizuvira::platform
