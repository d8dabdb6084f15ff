#pragma once
// ComPtr<T>: holds one reference on an interface pointer and releases it.
#include <type_traits>
#include <utility>

#include "pressmark/platform/interfaces.h"

namespace pressmark::platform {

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Shares `p`: takes a reference of its own (AddRef).
    explicit ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    template <class U>
        requires std::is_convertible_v<U*, T*>
    ComPtr(ComPtr<U> other) : p_(other.detach()) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComPtr() { reset(); }

    // Adopts a reference the caller already owns (no AddRef).
    static ComPtr attach(T* owned) {
        ComPtr c;
        c.p_ = owned;
        return c;
    }
    // Gives the reference to the caller, who must Release it.
    T* detach() noexcept { return std::exchange(p_, nullptr); }
    void reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    // Releases the held pointer and answers the address for an [out] T**.
    T** put() {
        reset();
        return &p_;
    }
    // The same for an [out] void** (QueryInterface, CreateInstance).
    void** putVoid() { return reinterpret_cast<void**>(put()); }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    T& operator*() const noexcept { return *p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    // Hands out a new reference through an [out] pointer (for methods that
    // return an interface): E_POINTER when `out` is null.
    template <class U>
    HRESULT copyTo(U** out) const {
        if (!out) return E_POINTER;
        *out = p_;
        if (p_) p_->AddRef();
        return S_OK;
    }

    // QueryInterface for U (by U::iid); an empty ComPtr when not supported.
    template <class U>
    ComPtr<U> query() const {
        ComPtr<U> result;
        if (p_) p_->QueryInterface(U::iid, result.putVoid());
        return result;
    }
    // QueryInterface for an interface known by IID only (a dispinterface
    // served through IDispatch, for example). Answers the HRESULT.
    template <class U>
    HRESULT queryAs(REFIID iid, ComPtr<U>* out) const {
        if (!p_) return E_POINTER;
        return p_->QueryInterface(iid, out->putVoid());
    }

    friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.p_ == b.p_; }
    friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.p_ == nullptr; }

private:
    T* p_ = nullptr;
};

}  // namespace pressmark::platform
