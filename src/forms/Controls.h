// The controls of the form framework. Labels and images are graphic
// controls: they have no window of their own and are painted by their form,
// in stacking order, so a transparent label can lie over a picture. Buttons,
// edits and progress bars are windows. Texts are CP932 byte strings,
// converted at the Win32 boundary (Wide/Narrow).
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "forms/Gdi.h"
#include "forms/Layout.h"
#include "platform/Exceptions.h"

namespace forms {

class TForm;
class TWinControl;

COLORREF ColorToRGB(TColor color);
int ScreenPixelsPerInch();
// A window's text, converted to CP932.
std::string WindowText(HWND window);

// A font at a given resolution; owns its GDI handle.
class TFont {
 public:
  TFont() = default;
  TFont(const TFont&) = delete;
  TFont& operator=(const TFont&) = delete;
  ~TFont();
  void Assign(const FontSpec& definition, int pixelsPerInch);
  const FontSpec& Definition() const { return definition_; }
  int PixelHeight() const { return height_; }  // negative, like the layout's
  HFONT Handle() const;

 private:
  FontSpec definition_{};
  int height_ = -12;
  mutable GdiObject<HFONT> handle_;
};

class TControl {
 public:
  TControl(TForm& owner, const ControlLayout& layout);
  virtual ~TControl() = default;
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;

  const std::string Name;
  TForm& Owner() const { return owner_; }
  const ControlLayout& Layout() const { return layout_; }
  bool HasFlag(unsigned flag) const { return (flags_ & flag) != 0; }

  // Pixel rectangle in the form's client area.
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  virtual void SetBounds(int left, int top, int width, int height);
  RECT BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }

  bool Visible() const { return visible_; }
  virtual void SetVisible(bool visible);

  TFont Font;  // its own font, or the form's font at the form's scale

  // Called once by the form: scale from 96 dpi, then create the window (if any).
  virtual void ScaleTo(int pixelsPerInch);
  virtual void CreateHandle() {}

 protected:
  TForm& owner_;
  const ControlLayout& layout_;
  unsigned flags_;
  int left_, top_, width_, height_;
  bool visible_;
};

// A control without a window: the form paints it.
class TGraphicControl : public TControl {
 public:
  using TControl::TControl;
  virtual void Paint(HDC dc) = 0;
  void Invalidate();
  void SetBounds(int left, int top, int width, int height) override;
  void SetVisible(bool visible) override;
};

class TLabel : public TGraphicControl {
 public:
  TLabel(TForm& owner, const ControlLayout& layout);
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  void Paint(HDC dc) override;
  void ScaleTo(int pixelsPerInch) override;
  // The control that Alt and the caption's accelerator character focus.
  TWinControl* FocusControl = nullptr;

 private:
  void AdjustSize();
  UINT DrawFlags() const;
  std::string caption_;
};

// Shows a picture kept in a layout's stored form: a length byte 7, "TBitmap",
// the bitmap file's length (32-bit little-endian), then the bitmap file.
class TImage : public TGraphicControl {
 public:
  using TGraphicControl::TGraphicControl;
  // Loads the stored picture from an RCDATA resource of the running module.
  void LoadPictureResource(const char* resourceName);
  void Paint(HDC dc) override;
  bool HasPicture() const { return !bitmapFile_.empty(); }

 private:
  std::vector<unsigned char> bitmapFile_;
};

class TWinControl : public TControl {
 public:
  TWinControl(TForm& owner, const ControlLayout& layout);
  ~TWinControl() override;
  HWND Handle() const { return handle_; }
  int TabOrder() const { return layout_.TabOrder; }
  void SetBounds(int left, int top, int width, int height) override;
  void SetVisible(bool visible) override;
  void SetFocus();
  void CreateHandle() override;
  bool Focused() const { return handle_ && GetFocus() == handle_; }

  std::string Text() const;
  void SetText(const std::string& text);

  // Notifications from the form's window procedure.
  virtual void Command(WORD /*code*/) {}
  virtual LRESULT Notify(NMHDR* /*header*/) { return 0; }
  virtual bool DrawItem(DRAWITEMSTRUCT* /*item*/) { return false; }
  virtual bool MeasureItem(MEASUREITEMSTRUCT* /*item*/) { return false; }
  // True when the control handles Enter itself (the form then leaves it alone).
  virtual bool WantsReturn() const { return false; }

  static TWinControl* FromHandle(HWND handle);

 protected:
  struct CreateParams {
    const wchar_t* ClassName;
    DWORD Style;
    DWORD ExStyle;
  };
  virtual CreateParams Params() const = 0;
  virtual void HandleCreated() {}
  HWND handle_ = nullptr;
};

enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

class TButton : public TWinControl {
 public:
  using TWinControl::TWinControl;
  std::function<void()> OnClick;
  bool Default = false;  // Enter presses it when the focus is not on a button
  bool Cancel = false;   // Escape presses it
  int ModalResult = mrNone;
  void Click();
  void Command(WORD code) override;

 protected:
  CreateParams Params() const override;
};

class TEdit : public TWinControl {
 public:
  using TWinControl::TWinControl;
  bool ReadOnly() const { return HasFlag(cfReadOnly); }
  void SelectAll();

 protected:
  CreateParams Params() const override;
};

class TProgressBar : public TWinControl {
 public:
  TProgressBar(TForm& owner, const ControlLayout& layout);
  // The range and position are 32-bit values.
  int Min() const { return min_; }
  int Max() const { return max_; }
  int Position() const { return position_; }
  void SetMax(int max);
  void SetPosition(int position);

 protected:
  CreateParams Params() const override;
  void HandleCreated() override;

 private:
  int min_, max_, position_ = 0;
};

}  // namespace forms
