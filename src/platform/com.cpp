// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/com.h"

#include <cstdlib>

namespace rizuvira::platform {

namespace {
std::atomic<long> g_live_objects{0};
}

CUnknown::CUnknown(const char* object_name, IUnknown* outer)
    : outer_(outer), object_name_(object_name ? object_name : "") {
    g_live_objects.fetch_add(1, std::memory_order_relaxed);
}

CUnknown::~CUnknown() {
    g_live_objects.fetch_sub(1, std::memory_order_relaxed);
}

long CUnknown::LiveObjectCount() {
    return g_live_objects.load();
}

HRESULT CUnknown::QueryInterface(const GUID& riid, void** object) {
    if (outer_) return outer_->QueryInterface(riid, object);
    return NonDelegatingQueryInterface(riid, object);
}

ULONG CUnknown::AddRef() {
    return outer_ ? outer_->AddRef() : NonDelegatingAddRef();
}

ULONG CUnknown::Release() {
    return outer_ ? outer_->Release() : NonDelegatingRelease();
}

HRESULT CUnknown::NonDelegatingQueryInterface(const GUID& riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid == IUnknown::iid) {
        NonDelegatingAddRef();
        *object = static_cast<void*>(static_cast<IUnknown*>(this));
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG CUnknown::NonDelegatingAddRef() {
    return refs_.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG CUnknown::NonDelegatingRelease() {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

void* CoTaskMemAlloc(std::size_t size) {
    return std::malloc(size ? size : 1);
}

void CoTaskMemFree(void* block) {
    std::free(block);
}

}  // namespace rizuvira::platform
