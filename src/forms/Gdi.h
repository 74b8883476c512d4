// Owners of GDI resources, each released at the end of its scope: a window's
// or the screen's device context, the paint context of WM_PAINT, a memory
// context, an object selected into a context, a saved context state, and
// brushes, fonts and bitmaps.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace forms {

// The device context of a window's client area, or of the screen for nullptr.
class TClientDC {
 public:
  explicit TClientDC(HWND window = nullptr) : window_(window), dc_(GetDC(window)) {}
  ~TClientDC() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  TClientDC(const TClientDC&) = delete;
  TClientDC& operator=(const TClientDC&) = delete;
  operator HDC() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// BeginPaint on construction, EndPaint on destruction.
class TPaintDC {
 public:
  explicit TPaintDC(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
  ~TPaintDC() { EndPaint(window_, &paint_); }
  TPaintDC(const TPaintDC&) = delete;
  TPaintDC& operator=(const TPaintDC&) = delete;
  operator HDC() const { return dc_; }
  const RECT& PaintRect() const { return paint_.rcPaint; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

// A memory device context compatible with `dc` (the screen for nullptr).
class TMemoryDC {
 public:
  explicit TMemoryDC(HDC dc = nullptr) : dc_(CreateCompatibleDC(dc)) {}
  ~TMemoryDC() {
    if (dc_) DeleteDC(dc_);
  }
  TMemoryDC(const TMemoryDC&) = delete;
  TMemoryDC& operator=(const TMemoryDC&) = delete;
  operator HDC() const { return dc_; }

 private:
  HDC dc_;
};

// Selects an object into a device context; the object it replaced goes back
// at the end of the scope. Select swaps in another object meanwhile.
class TSelectObject {
 public:
  TSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~TSelectObject() { SelectObject(dc_, old_); }
  TSelectObject(const TSelectObject&) = delete;
  TSelectObject& operator=(const TSelectObject&) = delete;
  void Select(HGDIOBJ object) { SelectObject(dc_, object); }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// SaveDC now, RestoreDC at the end of the scope: clipping, colours, modes.
class TSavedDC {
 public:
  explicit TSavedDC(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
  ~TSavedDC() {
    if (saved_) RestoreDC(dc_, saved_);
  }
  TSavedDC(const TSavedDC&) = delete;
  TSavedDC& operator=(const TSavedDC&) = delete;

 private:
  HDC dc_;
  int saved_;
};

struct GdiObjectDeleter {
  void operator()(void* object) const noexcept { DeleteObject(static_cast<HGDIOBJ>(object)); }
};

// A brush, font or bitmap deleted with its owner: GdiObject<HBRUSH> and so on.
template <class Handle>
using GdiObject = std::unique_ptr<std::remove_pointer_t<Handle>, GdiObjectDeleter>;

}  // namespace forms
