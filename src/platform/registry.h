// SPDX-License-Identifier: GPL-2.0-or-later
// The component registry: class ids mapped to factories (CoCreateInstance's role).
//
// The outside decoders and renderers register here; the graph manager's intelligent connect
// and Render try registered filters in order of merit. The system's own filters are made by
// their factories directly and need not register.
//
// Registration: call ComponentRegistry::Instance().Register(...) from an explicit
// register-all function of the layer (preferred: objects of a static library that nothing
// references are left out by the linker, and a static registration object in them with it),
// or define a static ComponentRegistration in a file the program links for certain.
//
// Threads: all functions are safe from any thread (one lock guards the table); factories run
// outside that lock.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/com.h"

namespace rizuvira::platform {

// Merit: the graph tries higher merits first and never tries MERIT_DO_NOT_USE or lower.
inline constexpr DWORD MERIT_PREFERRED = 0x800000;
inline constexpr DWORD MERIT_NORMAL = 0x600000;
inline constexpr DWORD MERIT_UNLIKELY = 0x400000;
inline constexpr DWORD MERIT_DO_NOT_USE = 0x200000;

// Makes a new object with one reference in *object. `outer` is the aggregating object or null;
// a factory that cannot aggregate returns CLASS_E_NOAGGREGATION for a non-null outer.
using ComponentFactory = std::function<HRESULT(IUnknown* outer, IUnknown** object)>;

struct ComponentInfo {
    CLSID clsid{};
    std::string name;
    DWORD merit = MERIT_DO_NOT_USE;
    ComponentFactory factory;
};

class ComponentRegistry {
public:
    static ComponentRegistry& Instance();

    // Replaces an earlier registration of the same class id.
    HRESULT Register(ComponentInfo info);
    HRESULT Unregister(const CLSID& clsid);  // S_FALSE when it was not registered
    // Registered components, highest merit first (ties in registration order).
    std::vector<ComponentInfo> Components();
    HRESULT Create(const CLSID& clsid, IUnknown* outer, IUnknown** object);

private:
    ComponentRegistry();
    std::mutex mutex_;
    std::vector<ComponentInfo> components_;
};

// Helper for registration at static initialisation.
struct ComponentRegistration {
    ComponentRegistration(const CLSID& clsid, std::string name, DWORD merit,
                          ComponentFactory factory) {
        ComponentRegistry::Instance().Register({clsid, std::move(name), merit, std::move(factory)});
    }
};

// Factory for a class T with a constructor T(IUnknown* outer, HRESULT* hr) (the base classes'
// convention); the object is returned through its IUnknown.
template <class T>
HRESULT CreateComponentInstance(IUnknown* outer, IUnknown** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    HRESULT hr = S_OK;
    T* created = new (std::nothrow) T(outer, &hr);
    if (!created) return E_OUTOFMEMORY;
    ComPtr<IUnknown> holder(static_cast<IUnknown*>(created));
    if (FAILED(hr)) return hr;
    *object = holder.Detach();
    return S_OK;
}

// Creates the registered component `clsid` and asks it for `riid`.
HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, const IID& riid, void** object);

template <class T>
HRESULT CoCreateInstance(const CLSID& clsid, ComPtr<T>* out) {
    if (!out) return E_POINTER;
    void* raw = nullptr;
    const HRESULT hr = CoCreateInstance(clsid, nullptr, T::iid, &raw);
    *out = SUCCEEDED(hr) ? ComPtr<T>::Adopt(static_cast<T*>(raw)) : ComPtr<T>();
    return hr;
}

}  // namespace rizuvira::platform
