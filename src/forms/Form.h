// A form of the framework: a top-level window built from a layout table,
// which owns its controls' windows and paints its graphic controls.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "forms/Controls.h"
#include "forms/Layout.h"

namespace forms {

enum class TCloseAction { None, Hide, Free, Minimize };

class TForm {
 public:
  explicit TForm(const FormLayout& layout);
  virtual ~TForm();
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  HWND Handle() const { return handle_; }
  const FormLayout& Layout() const { return layout_; }
  std::string Caption() const;
  void SetCaption(const std::string& caption);
  TColor Color() const { return color_; }
  int PixelsPerInch() const { return pixelsPerInch_; }
  int Scale(int designPixels) const { return MulDiv(designPixels, pixelsPerInch_, 96); }
  TFont Font;

  bool Visible() const;
  void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Paints what is pending at once, without handling other messages.
  void Update();
  // Closes the form: runs DoClose; the main form's close ends the application.
  void Close();
  // Shows the form modally and returns its modal result once a button or Close set one.
  int ShowModal();
  int ModalResult = mrNone;
  void SetBounds(int left, int top, int width, int height);

  const std::vector<TControl*>& Controls() const { return controls_; }
  TWinControl* ActiveControl() const;
  TButton* DefaultButton() const;
  TButton* CancelButton() const;
  void Invalidate(const RECT& rect);

  // Framework internals: called by TApplication::CreateForm, or by the owner
  // of a form made for one use (a dialog), which destroys it with DestroyHandle
  // before its controls go.
  void CreateHandle(HWND owner);
  void DestroyHandle();
  virtual void DoCreate() {}
  void Register(TControl* control) { controls_.push_back(control); }
  // Tab, Enter and Escape; Alt with a label's or a button's accelerator character.
  virtual bool DialogKey(const MSG& msg);

 protected:
  // Graphic controls are painted in this order (the layout's stacking order).
  void SetStackingOrder(std::vector<TGraphicControl*> order) { paintOrder_ = std::move(order); }
  virtual void DoShow() {}
  virtual void DoClose(TCloseAction& /*action*/) {}
  virtual LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam);
  void PlaceOnScreen();

 private:
  static LRESULT CALLBACK StaticWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  void Paint();
  void PaintControls(HDC dc, const RECT& area);
  HBRUSH Brush();

  const FormLayout& layout_;
  HWND handle_ = nullptr;
  TColor color_;
  int pixelsPerInch_ = 96;
  GdiObject<HBRUSH> brush_;
  bool shownOnce_ = false;
  bool inModal_ = false;
  std::vector<TControl*> controls_;
  std::vector<TGraphicControl*> paintOrder_;
};

// Hides a form at the end of the scope, however the scope ends: for a window
// shown while a piece of work runs.
class THideAtExit {
 public:
  explicit THideAtExit(TForm& form) : form_(form) {}
  ~THideAtExit() { form_.Hide(); }
  THideAtExit(const THideAtExit&) = delete;
  THideAtExit& operator=(const THideAtExit&) = delete;

 private:
  TForm& form_;
};

}  // namespace forms
