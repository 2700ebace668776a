// RAII for the GDI handles and device contexts the dialogs hold.
#pragma once

#include <windows.h>

#include <utility>

namespace kq::ui {

// Owns one handle and closes it with Closer; move-only.
template <typename Handle, typename Closer>
class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle h) : handle_(h) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    Handle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    Handle Release() { return std::exchange(handle_, nullptr); }
    void Reset(Handle h = nullptr) {
        if (handle_ != nullptr) Closer{}(handle_);
        handle_ = h;
    }

  private:
    Handle handle_ = nullptr;
};

struct GdiObjectCloser {
    void operator()(HGDIOBJ h) const { DeleteObject(h); }
};
struct MemoryDcCloser {
    void operator()(HDC h) const { DeleteDC(h); }
};

using Bitmap = UniqueHandle<HBITMAP, GdiObjectCloser>;
// A memory device context of our own (CreateCompatibleDC).
using MemoryDc = UniqueHandle<HDC, MemoryDcCloser>;

// The bitmap resource id of the program; empty when it is missing.
inline Bitmap LoadBitmapResource(HINSTANCE instance, UINT id) {
    return Bitmap(LoadBitmapA(instance, MAKEINTRESOURCEA(id)));
}

// A window's client-area device context for one step (GetDC / ReleaseDC).
class ClientDc {
  public:
    explicit ClientDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~ClientDc() {
        if (dc_ != nullptr) ReleaseDC(window_, dc_);
    }
    ClientDc(const ClientDc&) = delete;
    ClientDc& operator=(const ClientDc&) = delete;
    HDC Get() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

// Painting of one WM_PAINT (BeginPaint / EndPaint).
class PaintDc {
  public:
    explicit PaintDc(HWND window) : window_(window) { dc_ = BeginPaint(window_, &paint_); }
    ~PaintDc() { EndPaint(window_, &paint_); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    HDC Get() const { return dc_; }

  private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_ = nullptr;
};

// Selects an object into a device context for one scope and puts the previous one back.
class SelectedObject {
  public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject() {
        if (previous_ != nullptr) SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace kq::ui
