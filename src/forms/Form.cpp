// TForm: a window built from its layout table, its controls, keys and painting.
#include "forms/Forms.h"

#include "text/PathRules.h"
#include "text/Wide.h"

using platform::Exception;
using text::Wide;

namespace forms {

TForm::TForm(const FormLayout& layout) : layout_(layout), color_(layout.Color) {}

TForm::~TForm() {
  // Controls are members of the derived class and are gone by now; their
  // windows went with the form's window.
  DestroyHandle();
}

void TForm::DestroyHandle() {
  if (Application) Application->DetachForm(this);
  if (handle_ && IsWindow(handle_)) {
    SetWindowLongPtrW(handle_, GWLP_USERDATA, 0);
    DestroyWindow(handle_);
  }
  handle_ = nullptr;
}

HBRUSH TForm::Brush() {
  if (!brush_) brush_.reset(CreateSolidBrush(ColorToRGB(color_)));
  return brush_.get();
}

void TForm::CreateHandle(HWND owner) {
  pixelsPerInch_ = ScreenPixelsPerInch();
  Font.Assign(layout_.Font, pixelsPerInch_);

  const std::wstring className = Wide(layout_.ClassName);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (!GetClassInfoExW(Application->Instance(), className.c_str(), &wc)) {
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = StaticWndProc;
    wc.hInstance = Application->Instance();
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = className.c_str();
    if (layout_.BorderStyle == TBorderStyle::Sizeable) {
      wc.hIcon = LoadIconW(Application->Instance(), L"MAINICON");
    }
    if (!RegisterClassExW(&wc)) throw Exception(std::string(layout_.ClassName) + " のウィンドウ クラスを登録できません");
  }

  DWORD style = WS_CLIPCHILDREN;
  DWORD exStyle = 0;
  if (layout_.BorderStyle == TBorderStyle::Sizeable) {
    style |= WS_OVERLAPPEDWINDOW;
  } else {
    // A dialog frame with a caption but no system menu: no icon, no close box.
    style |= WS_POPUP | WS_CAPTION;
    exStyle |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
  }
  if (layout_.StayOnTop) exStyle |= WS_EX_TOPMOST;

  RECT r{0, 0, Scale(layout_.Width), Scale(layout_.Height)};
  if (layout_.ClientSize) AdjustWindowRectEx(&r, style, FALSE, exStyle);
  const std::wstring caption = Wide(layout_.Caption);
  handle_ = CreateWindowExW(exStyle, className.c_str(), caption.c_str(), style, 0, 0, r.right - r.left,
                            r.bottom - r.top, owner, nullptr, Application->Instance(), this);
  if (!handle_) throw Exception(std::string(layout_.ClassName) + " のウィンドウを作成できません");
  Application->AttachForm(this);

  for (TControl* c : controls_) c->ScaleTo(pixelsPerInch_);
  // Windows are made in tab order, so that Tab walks them in that order.
  std::vector<TWinControl*> windowed;
  for (TControl* c : controls_)
    if (auto* w = dynamic_cast<TWinControl*>(c)) windowed.push_back(w);
  std::stable_sort(windowed.begin(), windowed.end(),
                   [](TWinControl* a, TWinControl* b) { return a->TabOrder() < b->TabOrder(); });
  for (TWinControl* w : windowed) w->CreateHandle();
}

std::string TForm::Caption() const { return WindowText(handle_); }

void TForm::SetCaption(const std::string& caption) { SetWindowTextW(handle_, Wide(caption).c_str()); }

bool TForm::Visible() const { return handle_ && IsWindowVisible(handle_); }

void TForm::PlaceOnScreen() {
  RECT r;
  GetWindowRect(handle_, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (layout_.Position == TPosition::DesktopCenter) SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  if (layout_.Position == TPosition::MainFormCenter && Application->MainForm() &&
      Application->MainForm() != this) {
    GetWindowRect(Application->MainForm()->Handle(), &area);
  }
  const int left = area.left + ((area.right - area.left) - w) / 2;
  const int top = area.top + ((area.bottom - area.top) - h) / 2;
  SetWindowPos(handle_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::SetVisible(bool visible) {
  if (visible == Visible()) return;
  if (visible) {
    // Forms centred over the main form follow it each time they are shown.
    if (!shownOnce_ || layout_.Position == TPosition::MainFormCenter) PlaceOnScreen();
    if (!shownOnce_) {
      shownOnce_ = true;
      int show = SW_SHOWNORMAL;
      if (this == Application->MainForm()) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        GetStartupInfoW(&si);
        if (si.dwFlags & STARTF_USESHOWWINDOW) {
          if (si.wShowWindow == SW_SHOWMAXIMIZED) show = SW_SHOWMAXIMIZED;
          if (si.wShowWindow == SW_SHOWMINNOACTIVE) show = SW_SHOWMINNOACTIVE;
        }
      }
      ShowWindow(handle_, show);
      // The first control in tab order takes the focus.
      if (show != SW_SHOWMINNOACTIVE) {
        if (HWND first = GetNextDlgTabItem(handle_, nullptr, FALSE)) ::SetFocus(first);
      }
      DoShow();
      return;
    }
    ShowWindow(handle_, SW_SHOW);
    DoShow();
  } else {
    ShowWindow(handle_, SW_HIDE);
  }
}

void TForm::Update() {
  // The form and its child windows (labels are part of the form, the bars are
  // windows of their own) paint what is pending now; no other message is handled.
  RedrawWindow(handle_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void TForm::Invalidate(const RECT& rect) {
  if (handle_) InvalidateRect(handle_, &rect, FALSE);
}

void TForm::SetBounds(int left, int top, int width, int height) {
  SetWindowPos(handle_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::Close() {
  const bool mainForm = this == Application->MainForm();
  // The main form closes once: a click queued behind the first close (a
  // double-click on Cancel) must not run its close handler a second time.
  if (mainForm && Application->Terminated()) return;
  TCloseAction action = mainForm ? TCloseAction::Free : TCloseAction::Hide;
  if (inModal_) {
    if (ModalResult == mrNone) ModalResult = mrCancel;
    return;
  }
  DoClose(action);
  if (action == TCloseAction::None) return;
  if (mainForm) {
    Application->Terminate();
  } else if (action == TCloseAction::Minimize) {
    ShowWindow(handle_, SW_MINIMIZE);
  } else {
    Hide();
  }
}

int TForm::ShowModal() {
  ModalResult = mrNone;
  inModal_ = true;
  {
    TaskWindowsDisabler disabler(handle_);
    Show();
    SetForegroundWindow(handle_);
    while (ModalResult == mrNone && !Application->Terminated()) {
      if (!Application->ProcessMessage()) WaitMessage();
    }
  }
  Hide();
  inModal_ = false;
  return ModalResult;
}

TWinControl* TForm::ActiveControl() const {
  HWND focus = GetFocus();
  if (!focus || !IsChild(handle_, focus)) return nullptr;
  while (focus && !TWinControl::FromHandle(focus) && GetParent(focus) != handle_) focus = GetParent(focus);
  return TWinControl::FromHandle(focus);
}

TButton* TForm::DefaultButton() const {
  for (TControl* c : controls_)
    if (auto* b = dynamic_cast<TButton*>(c); b && b->Default && b->Visible()) return b;
  return nullptr;
}

TButton* TForm::CancelButton() const {
  for (TControl* c : controls_)
    if (auto* b = dynamic_cast<TButton*>(c); b && b->Cancel && b->Visible()) return b;
  return nullptr;
}

namespace {

// The accelerator character of a caption ("ドライブ(&R):" gives 'R'), upper
// case; 0 when it has none. "&&" is a literal '&'.
char AcceleratorChar(const std::string& caption) {
  for (size_t k = 0; k < caption.size(); k = pathrules::NextChar(caption, k)) {
    if (caption[k] == '&' && k + 1 < caption.size()) {
      const char c = caption[++k];  // "&&" steps over both
      if (c == '&') continue;
      return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
  }
  return 0;
}

bool Usable(const TWinControl* c) { return c && c->Visible() && c->Handle() && IsWindowEnabled(c->Handle()); }

}  // namespace

bool TForm::DialogKey(const MSG& msg) {
  if (msg.message == WM_SYSKEYDOWN) {
    const auto key = static_cast<char>(msg.wParam);
    if (!((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))) return false;
    for (TControl* c : controls_) {
      if (auto* label = dynamic_cast<TLabel*>(c);
          label && label->Visible() && Usable(label->FocusControl) && AcceleratorChar(label->Caption()) == key) {
        label->FocusControl->SetFocus();
        return true;
      }
      if (auto* button = dynamic_cast<TButton*>(c); Usable(button) && AcceleratorChar(button->Text()) == key) {
        button->SetFocus();
        button->Click();
        return true;
      }
    }
    return false;
  }
  if (msg.message != WM_KEYDOWN) return false;
  switch (msg.wParam) {
    case VK_TAB: {
      const bool back = GetKeyState(VK_SHIFT) < 0;
      if (HWND next = GetNextDlgTabItem(handle_, GetFocus(), back)) ::SetFocus(next);
      return true;
    }
    case VK_RETURN: {
      TWinControl* active = ActiveControl();
      if (active && active->WantsReturn()) return false;
      if (auto* button = dynamic_cast<TButton*>(active)) {
        button->Click();
        return true;
      }
      if (TButton* def = DefaultButton()) {
        def->Click();
        return true;
      }
      return false;
    }
    case VK_ESCAPE:
      if (TButton* cancel = CancelButton()) {
        cancel->Click();
        return true;
      }
      return false;
    default:
      return false;
  }
}

void TForm::PaintControls(HDC dc, const RECT& area) {
  for (TGraphicControl* c : paintOrder_) {
    RECT r = c->BoundsRect(), overlap;
    if (c->Visible() && IntersectRect(&overlap, &r, &area)) c->Paint(dc);
  }
}

void TForm::Paint() {
  const TPaintDC dc(handle_);
  PaintControls(dc, dc.PaintRect());
}

LRESULT TForm::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(handle_, &r);
      FillRect(reinterpret_cast<HDC>(wParam), &r, Brush());
      return 1;
    }
    case WM_PAINT:
      Paint();
      return 0;
    case WM_PRINTCLIENT: {
      // PrintWindow and WM_PRINT: the client area drawn into the caller's DC.
      RECT r;
      GetClientRect(handle_, &r);
      if (lParam & PRF_ERASEBKGND) FillRect(reinterpret_cast<HDC>(wParam), &r, Brush());
      PaintControls(reinterpret_cast<HDC>(wParam), r);
      return 0;
    }
    case WM_CLOSE:
      Close();
      return 0;
    case WM_COMMAND:
      if (auto* control = TWinControl::FromHandle(reinterpret_cast<HWND>(lParam))) {
        control->Command(HIWORD(wParam));
        return 0;
      }
      break;
    case WM_NOTIFY:
      if (auto* control = TWinControl::FromHandle(reinterpret_cast<NMHDR*>(lParam)->hwndFrom))
        return control->Notify(reinterpret_cast<NMHDR*>(lParam));
      break;
    case WM_DRAWITEM:
      if (auto* control = TWinControl::FromHandle(reinterpret_cast<DRAWITEMSTRUCT*>(lParam)->hwndItem))
        if (control->DrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam))) return TRUE;
      break;
    case WM_MEASUREITEM:
      for (TControl* c : controls_) {
        auto* w = dynamic_cast<TWinControl*>(c);
        if (w && GetDlgCtrlID(w->Handle()) == static_cast<int>(wParam) &&
            w->MeasureItem(reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)))
          return TRUE;
      }
      break;
    case WM_CTLCOLORSTATIC:
      // A read-only edit keeps the window colour, like an editable one.
      if (dynamic_cast<TEdit*>(TWinControl::FromHandle(reinterpret_cast<HWND>(lParam)))) {
        SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
        SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
      }
      break;
    case WM_CTLCOLORBTN:
      return reinterpret_cast<LRESULT>(Brush());
    case WM_SYSCOMMAND:
      // Minimising the main form minimises the application window, which owns
      // the taskbar entry; the forms it owns are hidden with it.
      if ((wParam & 0xFFF0) == SC_MINIMIZE && this == Application->MainForm()) {
        ShowWindow(Application->Handle(), SW_MINIMIZE);
        return 0;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(handle_, message, wParam, lParam);
}

LRESULT CALLBACK TForm::StaticWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == WM_NCCREATE) {
    auto* form = static_cast<TForm*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    form->handle_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!form) return DefWindowProcW(hwnd, message, wParam, lParam);
  try {
    return form->WndProc(message, wParam, lParam);
  } catch (...) {
    Application->HandleException();
    return 0;
  }
}

}  // namespace forms
