// Saves part of the screen as a 24-bit BMP file: screenshots of the windows to
// look at (tests/e2e/screenshots.sh turns them into PNGs).
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

namespace shots {

inline void SaveScreen(const RECT& area, const std::string& path) {
  const int w = area.right - area.left, h = area.bottom - area.top;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bmp);
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
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
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

inline std::string DpiSuffix() {
  HDC dc = GetDC(nullptr);
  const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  return "-" + std::to_string(dpi) + "dpi.bmp";
}

}  // namespace shots
