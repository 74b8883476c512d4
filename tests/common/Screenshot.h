// Saves part of the screen as a 24-bit BMP file: screenshots of the windows to
// look at (scripts/screenshots turns them into PNGs).
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#include "forms/Gdi.h"

namespace shots {

inline bool SaveScreen(const RECT& area, const std::string& path) {
  const int w = area.right - area.left, h = area.bottom - area.top;
  const forms::TClientDC screen;
  const forms::TMemoryDC dc(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  const forms::GdiObject<HBITMAP> bmp(CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (w <= 0 || h <= 0 || !bits) return false;
  const forms::TSelectObject selected(dc, bmp.get());
  BitBlt(dc, 0, 0, w, h, screen, area.left, area.top, SRCCOPY);
  GdiFlush();
  const DWORD rowBytes = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;  // "BM"
  fh.bfOffBits = sizeof fh + sizeof(BITMAPINFOHEADER);
  fh.bfSize = fh.bfOffBits + rowBytes * static_cast<DWORD>(h);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&fh), sizeof fh);
  out.write(reinterpret_cast<const char*>(&bi.bmiHeader), sizeof bi.bmiHeader);
  out.write(static_cast<const char*>(bits), static_cast<std::streamsize>(rowBytes) * h);
  return out.good();
}

// A window's frame with a margin around it, kept on the screen.
inline RECT Around(HWND hwnd, int margin) {
  RECT r;
  GetWindowRect(hwnd, &r);
  return {std::max(0L, r.left - margin), std::max(0L, r.top - margin),
          std::min<LONG>(GetSystemMetrics(SM_CXSCREEN), r.right + margin),
          std::min<LONG>(GetSystemMetrics(SM_CYSCREEN), r.bottom + margin)};
}

// The folder from PS_SCREENSHOT_DIR with a trailing '\', or "" when not set.
inline std::string Folder() {
  const char* dir = std::getenv("PS_SCREENSHOT_DIR");
  return dir && *dir ? std::string(dir) + "\\" : std::string();
}

// "-96dpi.bmp" and the like: the end of a screenshot's file name.
inline std::string DpiSuffix() {
  std::string suffix = "-";
  suffix += std::to_string(GetDeviceCaps(forms::TClientDC(), LOGPIXELSY));
  suffix += "dpi.bmp";
  return suffix;
}

}  // namespace shots
