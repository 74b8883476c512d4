#include "forms/Controls.h"

#include <commctrl.h>

#include <climits>
#include <cstring>

#include "forms/Application.h"
#include "forms/Form.h"
#include "forms/Gdi.h"
#include "forms/StoredPicture.h"
#include "platform/ResourceBlock.h"
#include "text/Wide.h"

using platform::Exception;
using text::Narrow;
using text::Wide;

namespace forms {

COLORREF ColorToRGB(TColor color) {
  if (color & 0x80000000u) return GetSysColor(static_cast<int>(color & 0xFF));
  return static_cast<COLORREF>(color);
}

int ScreenPixelsPerInch() {
  const int dpi = GetDeviceCaps(TClientDC(), LOGPIXELSY);
  return dpi > 0 ? dpi : 96;
}

std::string WindowText(HWND window) {
  const int n = GetWindowTextLengthW(window);
  std::wstring buffer(static_cast<size_t>(n) + 1, L'\0');
  buffer.resize(static_cast<size_t>(GetWindowTextW(window, buffer.data(), n + 1)));
  return Narrow(buffer);
}

// ---- TFont ----

TFont::~TFont() = default;

void TFont::Assign(const FontSpec& definition, int pixelsPerInch) {
  handle_.reset();
  definition_ = definition;
  height_ = MulDiv(definition.Height, pixelsPerInch, 96);
}

HFONT TFont::Handle() const {
  if (!handle_) {
    LOGFONTW lf{};
    lf.lfHeight = height_;
    lf.lfWeight = definition_.Bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = definition_.Charset;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH;
    const std::wstring face = Wide(definition_.Face);
    wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    handle_.reset(CreateFontIndirectW(&lf));
  }
  return handle_.get();
}

// ---- TControl ----

TControl::TControl(TForm& owner, const ControlLayout& layout)
    : Name(layout.Name),
      owner_(owner),
      layout_(layout),
      flags_(layout.Flags),
      left_(layout.Left),
      top_(layout.Top),
      width_(layout.Width),
      height_(layout.Height),
      visible_(!(layout.Flags & cfHidden)) {
  owner.Register(this);
}

void TControl::SetBounds(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
}

void TControl::SetVisible(bool visible) { visible_ = visible; }

void TControl::ScaleTo(int pixelsPerInch) {
  auto s = [&](int v) { return MulDiv(v, pixelsPerInch, 96); };
  left_ = s(layout_.Left);
  top_ = s(layout_.Top);
  width_ = s(layout_.Width);
  height_ = s(layout_.Height);
  Font.Assign(HasFlag(cfOwnFont) ? layout_.Font : owner_.Layout().Font, pixelsPerInch);
}

// ---- TGraphicControl ----

void TGraphicControl::Invalidate() { owner_.Invalidate(BoundsRect()); }

void TGraphicControl::SetBounds(int left, int top, int width, int height) {
  Invalidate();
  TControl::SetBounds(left, top, width, height);
  Invalidate();
}

void TGraphicControl::SetVisible(bool visible) {
  TControl::SetVisible(visible);
  Invalidate();
}

// ---- TLabel ----

TLabel::TLabel(TForm& owner, const ControlLayout& layout) : TGraphicControl(owner, layout), caption_(layout.Text) {}

UINT TLabel::DrawFlags() const {
  return DT_LEFT | (HasFlag(cfWordWrap) ? DT_WORDBREAK : DT_SINGLELINE) | DT_EXPANDTABS;
}

void TLabel::SetCaption(const std::string& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  if (HasFlag(cfAutoSize)) AdjustSize();
  Invalidate();
}

void TLabel::ScaleTo(int pixelsPerInch) {
  TControl::ScaleTo(pixelsPerInch);
  if (HasFlag(cfAutoSize)) AdjustSize();
}

void TLabel::AdjustSize() {
  // The label grows or shrinks to its text; a word-wrapped label keeps its width.
  const std::wstring text = Wide(caption_.empty() ? std::string(" ") : caption_);
  RECT r{0, 0, HasFlag(cfWordWrap) ? width_ : 0, 0};
  {
    const TClientDC dc;
    const TSelectObject font(dc, Font.Handle());
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DrawFlags() | DT_CALCRECT);
  }
  Invalidate();
  width_ = r.right - r.left;
  height_ = r.bottom - r.top;
  Invalidate();
}

void TLabel::Paint(HDC dc) {
  RECT r = BoundsRect();
  if (!HasFlag(cfTransparent)) FillRect(dc, &r, GdiObject<HBRUSH>(CreateSolidBrush(ColorToRGB(owner_.Color()))).get());
  const TSelectObject font(dc, Font.Handle());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, ColorToRGB(Font.Definition().Color));
  const std::wstring text = Wide(caption_);
  // Clip to the label's own rectangle: a long word-wrapped text is cut below it.
  const TSavedDC saved(dc);
  IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DrawFlags());
}

// ---- TImage ----

void TImage::LoadPictureResource(const char* resourceName) {
  const platform::ResourceBlock block = platform::FindResourceBlock(resourceName, 10 /* RT_RCDATA */);
  const auto* data = static_cast<const unsigned char*>(block.Data);
  const auto bmp = StoredPictureBitmap(data, block.Size);
  if (!bmp.Valid()) throw Exception("ビットマップ イメージが有効ではありません");
  bitmapFile_.assign(data + bmp.Offset, data + bmp.Offset + bmp.Length);
  if (HasFlag(cfAutoSize)) {
    // The picture's pixels are 96-dpi pixels like the rest of the layout: at
    // another dpi it grows with the form, so that it keeps its place under the
    // controls laid over it.
    Invalidate();
    width_ = owner_.Scale(bmp.Width);
    height_ = owner_.Scale(bmp.Height);
    Invalidate();
  }
}

void TImage::Paint(HDC dc) {
  if (bitmapFile_.size() < sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)) return;
  BITMAPFILEHEADER fh;
  std::memcpy(&fh, bitmapFile_.data(), sizeof fh);
  const auto* info = reinterpret_cast<const BITMAPINFO*>(bitmapFile_.data() + sizeof(BITMAPFILEHEADER));
  const int w = info->bmiHeader.biWidth;
  const int h = info->bmiHeader.biHeight < 0 ? -info->bmiHeader.biHeight : info->bmiHeader.biHeight;
  // Drawn at the control's size: the picture's own at 96 dpi, scaled smoothly at another.
  const int oldMode = SetStretchBltMode(dc, width_ == w && height_ == h ? COLORONCOLOR : HALFTONE);
  StretchDIBits(dc, left_, top_, width_, height_, 0, 0, w, h, bitmapFile_.data() + fh.bfOffBits, info,
                DIB_RGB_COLORS, SRCCOPY);
  SetStretchBltMode(dc, oldMode);
}

// ---- TWinControl ----

TWinControl::TWinControl(TForm& owner, const ControlLayout& layout) : TControl(owner, layout) {}

TWinControl::~TWinControl() {
  if (handle_ && IsWindow(handle_)) DestroyWindow(handle_);
}

TWinControl* TWinControl::FromHandle(HWND handle) {
  if (!handle) return nullptr;
  // Only windows the framework made carry the marker property.
  if (!GetPropW(handle, L"PatchSetupControl")) return nullptr;
  return reinterpret_cast<TWinControl*>(GetPropW(handle, L"PatchSetupControl"));
}

void TWinControl::CreateHandle() {
  const CreateParams p = Params();
  DWORD style = p.Style | WS_CHILD | (visible_ ? WS_VISIBLE : 0) | (layout_.TabOrder >= 0 ? WS_TABSTOP : 0);
  const std::wstring text = Wide(layout_.Text ? layout_.Text : "");
  handle_ = CreateWindowExW(p.ExStyle, p.ClassName, text.c_str(), style, left_, top_, width_, height_,
                            owner_.Handle(), nullptr, Application->Instance(), nullptr);
  if (!handle_) throw Exception(Name + " のウィンドウを作成できません");
  SetPropW(handle_, L"PatchSetupControl", this);
  SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(Font.Handle()), FALSE);
  HandleCreated();
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
  TControl::SetBounds(left, top, width, height);
  if (handle_) MoveWindow(handle_, left, top, width, height, TRUE);
}

void TWinControl::SetVisible(bool visible) {
  TControl::SetVisible(visible);
  if (handle_) ShowWindow(handle_, visible ? SW_SHOW : SW_HIDE);
}

void TWinControl::SetFocus() {
  if (handle_) ::SetFocus(handle_);
}

std::string TWinControl::Text() const {
  if (!handle_) return layout_.Text ? layout_.Text : "";
  return WindowText(handle_);
}

void TWinControl::SetText(const std::string& text) {
  if (handle_) SetWindowTextW(handle_, Wide(text).c_str());
}

// ---- TButton ----

TWinControl::CreateParams TButton::Params() const {
  return {L"BUTTON", static_cast<DWORD>(BS_PUSHBUTTON | (Default ? BS_DEFPUSHBUTTON : 0)), 0};
}

void TButton::Click() {
  // A button with a modal result closes its modal form; the handler runs first.
  if (ModalResult != mrNone) owner_.ModalResult = ModalResult;
  if (OnClick) OnClick();
}

void TButton::Command(WORD code) {
  if (code == BN_CLICKED) Click();
}

// ---- TEdit ----

TWinControl::CreateParams TEdit::Params() const {
  return {L"EDIT", static_cast<DWORD>(ES_AUTOHSCROLL | ES_LEFT | (ReadOnly() ? ES_READONLY : 0)), WS_EX_CLIENTEDGE};
}

void TEdit::SelectAll() {
  if (handle_) SendMessageW(handle_, EM_SETSEL, 0, -1);
}

// ---- TProgressBar ----

TProgressBar::TProgressBar(TForm& owner, const ControlLayout& layout)
    : TWinControl(owner, layout), min_(layout.Min), max_(layout.Max) {}

TWinControl::CreateParams TProgressBar::Params() const {
  return {PROGRESS_CLASSW, static_cast<DWORD>(HasFlag(cfSmooth) ? PBS_SMOOTH : 0), 0};
}

void TProgressBar::HandleCreated() {
  SendMessageW(handle_, PBM_SETRANGE32, static_cast<WPARAM>(min_), static_cast<LPARAM>(max_));
  SendMessageW(handle_, PBM_SETPOS, static_cast<WPARAM>(position_), 0);
}

void TProgressBar::SetMax(int max) {
  max_ = max;
  if (position_ > max_) position_ = max_;
  if (handle_) SendMessageW(handle_, PBM_SETRANGE32, static_cast<WPARAM>(min_), static_cast<LPARAM>(max_));
}

void TProgressBar::SetPosition(int position) {
  position_ = position < min_ ? min_ : position > max_ ? max_ : position;
  if (!handle_) return;
  // A themed bar glides forward to a new position on a timer, behind the
  // run's updates, and the progress window hides right after the last one;
  // a step back is drawn at once. So step one past the position (widening
  // the range for a moment at its end) and back.
  if (position_ < max_) {
    SendMessageW(handle_, PBM_SETPOS, static_cast<WPARAM>(position_ + 1), 0);
  } else if (max_ < INT_MAX) {
    SendMessageW(handle_, PBM_SETRANGE32, static_cast<WPARAM>(min_), static_cast<LPARAM>(max_) + 1);
    SendMessageW(handle_, PBM_SETPOS, static_cast<WPARAM>(position_) + 1, 0);
    SendMessageW(handle_, PBM_SETRANGE32, static_cast<WPARAM>(min_), static_cast<LPARAM>(max_));
  }
  SendMessageW(handle_, PBM_SETPOS, static_cast<WPARAM>(position_), 0);
}

}  // namespace forms
