// SPDX-License-Identifier: GPL-2.0-or-later
// COM-style objects: IUnknown, the reference-counting base CUnknown and the smart pointer
// ComPtr that every holder of an object uses.
//
// Interfaces derive *virtually* from IUnknown, so an object that implements several
// interfaces has a single IUnknown and a single reference count. Each interface type carries
// its id as `static constexpr GUID iid`, which makes QueryInterface type-safe through
// ComPtr::As and QueryInterfaceAs.
//
// Reference counts are atomic; AddRef and Release may be called from any thread. A new
// CUnknown starts with a count of 0: the first ComPtr that takes it (ComPtr(p)) raises it to
// one, and the last Release deletes it.
//
// Aggregation: a CUnknown made with an outer object forwards QueryInterface, AddRef and
// Release to the outer one; the outer object owns it (deletes it, normally through a
// std::unique_ptr member) and reaches its own interfaces through NonDelegatingQueryInterface.
// Pins use a variant of this: their counts are the filter's count (see CBasePin).
#pragma once

#include <atomic>
#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

#include "platform/guid.h"
#include "platform/win_types.h"

namespace rizuvira::platform {

struct IUnknown {
    static constexpr GUID iid = "00000000-0000-0000-C000-000000000046"_guid;

    // On success *object holds one new reference to the interface `riid` names.
    virtual HRESULT QueryInterface(const GUID& riid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};

inline constexpr const GUID& IID_IUnknown = IUnknown::iid;

// Smart pointer over any IUnknown-derived type. Copy = AddRef, destruction = Release.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference on p (the caller keeps its own, if it had one).
    ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    template <class U>
    requires std::is_convertible_v<U*, T*> ComPtr(const ComPtr<U>& other)
        : ComPtr(static_cast<T*>(other.Get())) {}
    template <class U>
    requires std::is_convertible_v<U*, T*> ComPtr(ComPtr<U>&& other)
    noexcept : p_(other.Detach()) {}
    ~ComPtr() { Reset(); }

    ComPtr& operator=(const ComPtr& other) {
        ComPtr(other).Swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept {
        ComPtr(std::move(other)).Swap(*this);
        return *this;
    }
    ComPtr& operator=(T* p) {
        ComPtr(p).Swap(*this);
        return *this;
    }
    ComPtr& operator=(std::nullptr_t) {
        Reset();
        return *this;
    }

    // Takes over a reference the caller already owns (an out-parameter's, for instance).
    static ComPtr Adopt(T* p) {
        ComPtr result;
        result.p_ = p;
        return result;
    }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

    void Reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    // Gives up ownership of the reference without releasing it.
    T* Detach() { return std::exchange(p_, nullptr); }
    // For out-parameters: releases the current object and returns the slot to fill.
    T** ReleaseAndGetAddressOf() {
        Reset();
        return &p_;
    }
    // Hands out a new reference (for T** out-parameters of interface methods).
    T* CopyOut() const {
        if (p_) p_->AddRef();
        return p_;
    }
    void Swap(ComPtr& other) noexcept { std::swap(p_, other.p_); }

    // QueryInterface for U; `out` is null on failure.
    template <class U>
    HRESULT As(ComPtr<U>* out) const {
        if (!out) return E_POINTER;
        out->Reset();
        if (!p_) return E_POINTER;
        void* raw = nullptr;
        const HRESULT hr = p_->QueryInterface(U::iid, &raw);
        if (SUCCEEDED(hr)) *out = ComPtr<U>::Adopt(static_cast<U*>(raw));
        return hr;
    }
    template <class U>
    ComPtr<U> As() const {
        ComPtr<U> out;
        As(&out);
        return out;
    }

    friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.p_ == b.p_; }
    friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.p_ == nullptr; }

private:
    T* p_ = nullptr;
};

// QueryInterface on a raw pointer, typed by the interface.
template <class U, class T>
HRESULT QueryInterfaceAs(T* object, ComPtr<U>* out) {
    return ComPtr<T>(object).As(out);
}

// Fills a void** QueryInterface result with `p`, with one new reference.
template <class I>
HRESULT GetInterface(I* p, void** object) {
    if (!object) return E_POINTER;
    p->AddRef();
    *object = static_cast<void*>(p);
    return S_OK;
}

// Base of every object: the reference count and the non-delegating QueryInterface.
// Derived classes override NonDelegatingQueryInterface, answer their own interfaces with
// GetInterface(static_cast<IFoo*>(this), object) and pass the rest to their base.
class CUnknown : public virtual IUnknown {
public:
    explicit CUnknown(const char* object_name, IUnknown* outer = nullptr);
    CUnknown(const CUnknown&) = delete;
    CUnknown& operator=(const CUnknown&) = delete;
    ~CUnknown() override;

    HRESULT QueryInterface(const GUID& riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    virtual HRESULT NonDelegatingQueryInterface(const GUID& riid, void** object);
    virtual ULONG NonDelegatingAddRef();
    virtual ULONG NonDelegatingRelease();  // deletes the object at 0

    // The outer object when aggregated, else this object's own IUnknown.
    IUnknown* GetOwner() { return outer_ ? outer_ : static_cast<IUnknown*>(this); }
    const char* ObjectName() const { return object_name_; }

    // Number of CUnknown objects alive in the process (tests use it to find leaks).
    static long LiveObjectCount();

protected:
    ULONG CurrentReferenceCount() const { return refs_.load(); }

private:
    std::atomic<ULONG> refs_{0};
    IUnknown* const outer_;
    const char* const object_name_;
};

// Runs `make` (a `new` of some object) and returns what it made, with S_OK in *hr; null with
// E_OUTOFMEMORY when the allocation throws. For the CreateInstance of each object class.
template <class Make>
auto NewObject(Make make, HRESULT* hr) -> decltype(make()) {
    try {
        auto* object = make();
        if (hr) *hr = S_OK;
        return object;
    } catch (const std::bad_alloc&) {
        if (hr) *hr = E_OUTOFMEMORY;
        return nullptr;
    }
}

// Task memory: a block the callee allocates and the caller frees.
void* CoTaskMemAlloc(std::size_t size);
void CoTaskMemFree(void* block);

}  // namespace rizuvira::platform
