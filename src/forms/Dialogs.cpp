#include "forms/Dialogs.h"

#include <algorithm>

#include "forms/ErrorText.h"
#include "forms/Forms.h"
#include "forms/Gdi.h"
#include "text/Wide.h"

using text::Wide;

namespace forms {

namespace {

struct BoxData {
  std::wstring caption, text;
  const wchar_t* icon;
  std::vector<BoxButton> buttons;
  size_t defaultButton;
  int cancelResult;
  GdiObject<HFONT> font;  // of the text and the buttons; outlives the box
};

constexpr int kFirstButtonId = 100;
constexpr int kTextId = 99;

void LayOut(HWND dlg, BoxData& d) {
  NONCLIENTMETRICSW ncm{};
  ncm.cbSize = sizeof ncm;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
  d.font.reset(CreateFontIndirectW(&ncm.lfMessageFont));

  const TClientDC dc(dlg);
  const TSelectObject font(dc, d.font.get());
  TEXTMETRICW tm;
  GetTextMetricsW(dc, &tm);
  SIZE avg;
  GetTextExtentPoint32W(dc, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &avg);
  const int cx = (avg.cx / 26 + 1) / 2, cy = tm.tmHeight;  // dialog base units
  auto dluX = [&](int v) { return MulDiv(v, cx, 4); };
  auto dluY = [&](int v) { return MulDiv(v, cy, 8); };

  RECT text{0, 0, GetSystemMetrics(SM_CXSCREEN) / 2, 0};
  DrawTextW(dc, d.text.c_str(), static_cast<int>(d.text.size()), &text,
            DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
  int buttonWidth = dluX(50);
  for (const BoxButton& b : d.buttons) {
    const std::wstring c = Wide(b.Caption);
    RECT r{0, 0, 0, 0};
    DrawTextW(dc, c.c_str(), static_cast<int>(c.size()), &r, DT_CALCRECT | DT_SINGLELINE);
    buttonWidth = std::max<int>(buttonWidth, r.right + dluX(8));
  }

  const int margin = dluX(8), top = dluY(8), spacing = dluX(4), buttonHeight = dluY(14);
  const int iconSize = d.icon ? GetSystemMetrics(SM_CXICON) : 0;
  const int textLeft = margin + (d.icon ? iconSize + margin : 0);
  const int textHeight = std::max<int>(text.bottom, iconSize);
  const int n = static_cast<int>(d.buttons.size());
  const int rowWidth = n * buttonWidth + (n - 1) * spacing;
  const int clientWidth = std::max<int>(textLeft + text.right, rowWidth) + margin;
  const int buttonTop = top + textHeight + dluY(10);
  const int clientHeight = buttonTop + buttonHeight + dluY(8);

  if (d.icon) {
    HWND icon = CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | WS_VISIBLE | SS_ICON, margin, top, iconSize,
                                iconSize, dlg, nullptr, nullptr, nullptr);
    SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, d.icon)), 0);
  }
  HWND label = CreateWindowExW(0, L"STATIC", d.text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                               textLeft, top + (textHeight - text.bottom) / 2, text.right, text.bottom, dlg,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextId)), nullptr, nullptr);
  SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(d.font.get()), FALSE);
  int x = (clientWidth - rowWidth) / 2;
  for (int i = 0; i < n; ++i) {
    const bool isDefault = static_cast<size_t>(i) == d.defaultButton;
    HWND b = CreateWindowExW(0, L"BUTTON", Wide(d.buttons[i].Caption).c_str(),
                             WS_CHILD | WS_VISIBLE | WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), x,
                             buttonTop, buttonWidth, buttonHeight, dlg,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstButtonId + i)), nullptr, nullptr);
    SendMessageW(b, WM_SETFONT, reinterpret_cast<WPARAM>(d.font.get()), FALSE);
    if (isDefault) {
      SendMessageW(dlg, DM_SETDEFID, kFirstButtonId + i, 0);
      SetFocus(b);
    }
    x += buttonWidth + spacing;
  }

  RECT outer{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongW(dlg, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongW(dlg, GWL_EXSTYLE)));
  const int w = outer.right - outer.left, h = outer.bottom - outer.top;
  SetWindowPos(dlg, nullptr, GetSystemMetrics(SM_CXSCREEN) / 2 - w / 2, GetSystemMetrics(SM_CYSCREEN) / 2 - h / 2, w,
               h, SWP_NOZORDER);
  SetWindowTextW(dlg, d.caption.c_str());
}

INT_PTR CALLBACK BoxProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  try {
    auto* d = reinterpret_cast<BoxData*>(GetWindowLongPtrW(dlg, DWLP_USER));
    switch (message) {
      case WM_INITDIALOG:
        SetWindowLongPtrW(dlg, DWLP_USER, lParam);
        LayOut(dlg, *reinterpret_cast<BoxData*>(lParam));
        return FALSE;  // the focus was set on the default button
      case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == IDCANCEL) {
          EndDialog(dlg, d->cancelResult);
          return TRUE;
        }
        if (id == IDOK) {
          EndDialog(dlg, d->buttons[d->defaultButton].Result);
          return TRUE;
        }
        if (id >= kFirstButtonId && id < kFirstButtonId + static_cast<int>(d->buttons.size())) {
          EndDialog(dlg, d->buttons[static_cast<size_t>(id - kFirstButtonId)].Result);
          return TRUE;
        }
        return FALSE;
      }
      default:
        return FALSE;
    }
  } catch (...) {
    return FALSE;  // nothing in here throws on purpose; never let anything out
  }
}

HWND BoxOwner() {
  HWND active = GetActiveWindow();
  if (active && GetWindowThreadProcessId(active, nullptr) == GetCurrentThreadId()) return active;
  if (Application && Application->MainForm()) return Application->MainForm()->Handle();
  return Application ? Application->Handle() : nullptr;
}

}  // namespace

int ShowBox(const std::string& caption, const std::string& text, const wchar_t* icon,
            const std::vector<BoxButton>& buttons, size_t defaultButton, int cancelResult) {
  // An empty dialog template; LayOut creates the controls at their measured sizes.
  alignas(4) WORD tmpl[16] = {};
  auto* dt = reinterpret_cast<DLGTEMPLATE*>(tmpl);
  dt->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  dt->dwExtendedStyle = WS_EX_DLGMODALFRAME;
  BoxData data{Wide(caption), Wide(text), icon, buttons, defaultButton, cancelResult, {}};
  HWND owner = BoxOwner();
  TaskWindowsDisabler disabler(owner);
  return static_cast<int>(DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dt, owner, BoxProc,
                                                  reinterpret_cast<LPARAM>(&data)));
}

void ShowMessage(const std::string& text) {
  ShowBox(Application ? Application->Title() : std::string(), text, nullptr, {{"OK", mrOk}}, 0, mrOk);
}

void ShowErrorBox(const std::string& message) {
  HWND owner = Application ? Application->Handle() : nullptr;
  const std::wstring title = Wide(Application ? Application->Title() : std::string());
  TaskWindowsDisabler disabler(owner);
  MessageBoxW(owner, Wide(ErrorBoxText(message)).c_str(), title.c_str(), MB_OK | MB_ICONSTOP);
}

}  // namespace forms
