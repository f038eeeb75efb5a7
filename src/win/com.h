#pragma once
// COM without raw pointers: an owned interface reference, an owned BSTR, and
// the OLE initialisation of the GUI thread paired with its end.

#include <windows.h>

#include <ole2.h>
#include <oleauto.h>

#include <string>
#include <utility>

namespace fw::win {

// Holds one reference to an interface and releases it.
template <typename T> class ComPtr {
public:
    ComPtr() = default;
    // Takes over the reference the caller holds (a fresh object's first one).
    explicit ComPtr(T* adopted) : p_(adopted) {}
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr& o) : p_(o.p_) {
        if (p_) {
            p_->AddRef();
        }
    }
    ComPtr& operator=(const ComPtr& o) {
        ComPtr(o).swap(*this);
        return *this;
    }
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& o) noexcept {
        ComPtr(std::move(o)).swap(*this);
        return *this;
    }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void reset() {
        if (T* p = std::exchange(p_, nullptr)) {
            p->Release();
        }
    }
    void swap(ComPtr& o) noexcept { std::swap(p_, o.p_); }
    // For a call that hands out a reference: releases the one held first.
    T** put() {
        reset();
        return &p_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    // Asks the object for another of its interfaces.
    template <typename U> HRESULT As(REFIID iid, ComPtr<U>& out) const {
        return p_ ? p_->QueryInterface(iid, out.put_void()) : E_POINTER;
    }

private:
    T* p_ = nullptr;
};

// An owned BSTR.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const std::wstring& s)
        : b_(::SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
    // Takes over a string a callee handed out.
    static Bstr Adopt(BSTR b) {
        Bstr s;
        s.b_ = b;
        return s;
    }
    ~Bstr() { ::SysFreeString(b_); }
    Bstr(Bstr&& o) noexcept : b_(std::exchange(o.b_, nullptr)) {}
    Bstr& operator=(Bstr&&) = delete;
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return b_; }
    std::wstring Text() const { return b_ ? std::wstring(b_, ::SysStringLen(b_)) : std::wstring(); }

private:
    BSTR b_ = nullptr;
};

// OLE for this thread (a single-threaded apartment, as controls with windows
// need) from construction to destruction; declared before any window that
// hosts a control, so it ends after them.
class OleScope {
public:
    OleScope() : hr_(::OleInitialize(nullptr)) {}
    ~OleScope() {
        if (SUCCEEDED(hr_)) {
            ::OleUninitialize();
        }
    }
    OleScope(const OleScope&) = delete;
    OleScope& operator=(const OleScope&) = delete;
    bool Ok() const { return SUCCEEDED(hr_); }

private:
    HRESULT hr_;
};

} // namespace fw::win
