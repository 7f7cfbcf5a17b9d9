// Owners of Win32 resources, one class per kind, each releasing what it holds when it goes:
// COM and OLE on this thread, kernel handles, registry keys, image lists, GDI objects, icons,
// device contexts and the objects selected into them, searches, modules, LocalAlloc memory,
// VARIANTs, COM references and AVIFile's files and streams. Every resource the programs and tools
// release is held by one of these.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <oleauto.h>
#include <unknwn.h>

#include <utility>

struct IAVIFile;
struct IAVIStream;

namespace camtools {

// The base of the owners that hold their resource in place: neither copied nor moved.
class NoCopy {
protected:
    NoCopy() = default;
    NoCopy(const NoCopy&) = delete;
    NoCopy& operator=(const NoCopy&) = delete;
};

// COM on this thread, apartment-threaded, for as long as the scope lives. A thread whose
// apartment is already initialised gets S_FALSE and still balances it; a failed
// initialisation (another threading model) is not balanced.
class ComScope : NoCopy {
public:
    ComScope() : result_(CoInitialize(nullptr)) {}
    ~ComScope() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    HRESULT Result() const { return result_; }

private:
    HRESULT result_;
};

// OLE on this thread, initialised by Initialize() and uninitialised when the scope goes.
class OleScope : NoCopy {
public:
    OleScope() = default;
    ~OleScope() {
        if (initialized_) OleUninitialize();
    }
    bool Initialize() { return initialized_ = SUCCEEDED(OleInitialize(nullptr)); }

private:
    bool initialized_ = false;
};

// One owned value of a kind described by Traits: its type, its empty value, whether a value
// is held, and how it is closed.
template <typename Traits>
class Scoped {
public:
    using Type = typename Traits::Type;

    Scoped() = default;
    explicit Scoped(Type value) : value_(value) {}  // takes ownership
    ~Scoped() { Close(); }
    Scoped(Scoped&& other) noexcept : value_(other.Detach()) {}
    Scoped& operator=(Scoped&& other) noexcept {
        if (this != &other) Reset(other.Detach());
        return *this;
    }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;

    Type Get() const { return value_; }
    explicit operator bool() const { return Traits::Held(value_); }
    // For out-parameters: closes what is held first.
    Type* Out() {
        Close();
        return &value_;
    }
    Type Detach() { return std::exchange(value_, Traits::Empty()); }
    void Reset(Type value = Traits::Empty()) {
        Close();
        value_ = value;
    }
    // Closes what is held now; false when the platform reports that closing it failed (a
    // file's last writes may be lost then). Nothing held counts as closed.
    bool Close() {
        if (!Traits::Held(value_)) return true;
        return Traits::Close(std::exchange(value_, Traits::Empty()));
    }

private:
    Type value_ = Traits::Empty();
};

// The kinds whose empty value is null; each adds how it is closed.
template <typename T>
struct NullEmptyTraits {
    using Type = T;
    static Type Empty() { return nullptr; }
    static bool Held(Type value) { return value != nullptr; }
};

struct HandleTraits : NullEmptyTraits<HANDLE> {
    // CreateFile gives INVALID_HANDLE_VALUE on failure, most other calls null.
    static bool Held(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static bool Close(Type h) { return CloseHandle(h) != FALSE; }
};
struct RegKeyTraits : NullEmptyTraits<HKEY> {
    static bool Close(Type key) { return RegCloseKey(key) == ERROR_SUCCESS; }
};
struct ImageListTraits : NullEmptyTraits<HIMAGELIST> {
    static bool Close(Type list) { return ImageList_Destroy(list) != FALSE; }
};
template <typename Object>
struct GdiTraits : NullEmptyTraits<Object> {
    static bool Close(Object object) { return DeleteObject(object) != FALSE; }
};
struct IconTraits : NullEmptyTraits<HICON> {
    static bool Close(Type icon) { return DestroyIcon(icon) != FALSE; }
};
// A memory device context made by CreateCompatibleDC.
struct MemoryDcTraits : NullEmptyTraits<HDC> {
    static bool Close(Type dc) { return DeleteDC(dc) != FALSE; }
};
// A search begun by FindFirstFile, which gives INVALID_HANDLE_VALUE on failure.
struct FindTraits : HandleTraits {
    static Type Empty() { return INVALID_HANDLE_VALUE; }
    static bool Close(Type find) { return FindClose(find) != FALSE; }
};
// A module loaded by LoadLibrary.
struct ModuleTraits : NullEmptyTraits<HMODULE> {
    static bool Close(Type module) { return FreeLibrary(module) != FALSE; }
};
// Memory the system allocated with LocalAlloc for the caller (FormatMessage's buffer).
template <typename Pointer>
struct LocalMemoryTraits : NullEmptyTraits<Pointer> {
    static bool Close(Pointer memory) { return LocalFree(memory) == nullptr; }
};

using ScopedHandle = Scoped<HandleTraits>;
using ScopedFind = Scoped<FindTraits>;
using ScopedModule = Scoped<ModuleTraits>;
template <typename Pointer>
using ScopedLocalMemory = Scoped<LocalMemoryTraits<Pointer>>;
using ScopedRegKey = Scoped<RegKeyTraits>;
using ScopedImageList = Scoped<ImageListTraits>;
template <typename Object>
using ScopedGdiObject = Scoped<GdiTraits<Object>>;
using ScopedIcon = Scoped<IconTraits>;
using ScopedMemoryDc = Scoped<MemoryDcTraits>;

// The device context of a window (null: the screen) from GetDC, released to that window.
class WindowDc : NoCopy {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    HDC Get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// An object selected into a device context for as long as the scope lives; the one it
// replaced goes back when it ends. A null object selects nothing.
class SelectedObject : NoCopy {
public:
    SelectedObject(HDC dc, HGDIOBJ object)
        : dc_(dc), old_(dc && object ? SelectObject(dc, object) : nullptr) {}
    ~SelectedObject() {
        if (old_ && old_ != HGDI_ERROR) SelectObject(dc_, old_);
    }

private:
    HDC dc_;
    HGDIOBJ old_;
};

// A VARIANT, initialised empty and cleared when it goes. Its bytes start zeroed, so that
// clearing one whose type was set for a call that then failed frees nothing.
class ScopedVariant : NoCopy {
public:
    ScopedVariant() { VariantInit(&value_); }
    ~ScopedVariant() { VariantClear(&value_); }
    VARIANT* Get() { return &value_; }
    const VARIANT& operator*() const { return value_; }
    // For out-parameters: clears what is held first.
    VARIANT* Out() {
        VariantClear(&value_);
        return &value_;
    }

private:
    VARIANT value_ = {};
};

// A counted COM reference. Two ways in, spelled differently as in the usual COM smart
// pointers: the constructor from a raw pointer shares it and adds a reference of its own;
// Attach adopts a reference the caller already holds (what a factory or QueryInterface
// handed out) without adding one.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComPtr() { Reset(); }

    void Attach(T* p) {
        Reset();
        p_ = p;
    }
    void Reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out-parameters: releases what is held first.
    T** Out() {
        Reset();
        return &p_;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    T* Detach() { return std::exchange(p_, nullptr); }

private:
    T* p_ = nullptr;
};

// AVIFile's files and streams (vfw.h) are COM objects: AVIFileRelease and AVIStreamRelease
// release the reference, as these owners do. AVIFileOpen, AVIFileGetStream and
// AVIFileCreateStream hand out a reference: pass Out().
using ScopedAviFile = ComPtr<IAVIFile>;
using ScopedAviStream = ComPtr<IAVIStream>;

}  // namespace camtools
