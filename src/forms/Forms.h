// A small form framework over Win32: the application object, forms built from
// layout tables, and the controls this program uses.
//
// Forms and controls keep their texts as CP932 byte strings and convert at the
// Win32 boundary (Wide/Narrow). Labels and images are graphic controls: they
// have no window of their own and are painted by their form, in stacking order,
// so a transparent label can lie over a picture. Buttons, edits, lists and
// progress bars are windows.
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

class TApplication {
 public:
  TApplication();
  ~TApplication();
  void Initialize() {}
  HWND Handle() const { return handle_; }
  HINSTANCE Instance() const;
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title);

  // Creates a form, sets `ref` to it before its FormCreate runs, and keeps it
  // until the application ends. The first form created is the main form.
  template <class T>
  void CreateForm(T*& ref) {
    auto form = std::make_unique<T>();
    ref = form.get();
    forms_.push_back(std::move(form));
    static_cast<TForm*>(ref)->CreateHandle(handle_);
    if (!mainForm_) mainForm_ = ref;
    static_cast<TForm*>(ref)->DoCreate();
  }

  TForm* MainForm() const { return mainForm_; }
  void Run();
  void Terminate();
  bool Terminated() const { return terminated_; }
  // The code the program ends with (0 unless set).
  int ExitCode() const { return exitCode_; }
  void SetExitCode(int code) { exitCode_ = code; }
  // Handles one message if one is waiting; false when the queue was empty.
  bool ProcessMessage();
  // Shows an exception in the error box (EAbort: nothing).
  void ShowException(const Exception& e);
  // For use inside catch (...), also at a callback's boundary: shows what was
  // thrown, whatever it was, and never throws itself.
  void HandleException() noexcept;
  // Removes and destroys all forms (the end of the program).
  void DestroyForms();
  // Every form with a window, also one made outside CreateForm, gets its keys.
  void AttachForm(TForm* form);
  void DetachForm(TForm* form);

 private:
  static LRESULT CALLBACK AppWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  bool Dispatch(MSG& msg);
  HWND handle_ = nullptr;
  std::string title_;
  TForm* mainForm_ = nullptr;
  bool terminated_ = false;
  int exitCode_ = 0;
  std::vector<std::unique_ptr<TForm>> forms_;
  std::vector<TForm*> attached_;
};

extern TApplication* Application;

// Disables this thread's other enabled top-level windows while a modal box is
// up. When that fails part-way, the windows are enabled again and it throws.
class TaskWindowsDisabler {
 public:
  explicit TaskWindowsDisabler(HWND except = nullptr);
  ~TaskWindowsDisabler();
  TaskWindowsDisabler(const TaskWindowsDisabler&) = delete;
  TaskWindowsDisabler& operator=(const TaskWindowsDisabler&) = delete;

 private:
  std::vector<HWND> disabled_;
};

}  // namespace forms
