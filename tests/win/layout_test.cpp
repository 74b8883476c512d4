// The three windows as the program builds them, measured through Windows and
// held against the layouts' own numbers (96 dpi, scaled to the screen's dpi).
// PS_EXPECTED_DPI, when set, is the dpi the run must see (the 144-dpi run).
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ExpectedLayout.h"
#include "WindowQueries.h"
#include "forms/Forms.h"
#include "text/Wide.h"
#include "ui/Compress.h"
#include "ui/PatchSetup.h"
#include "ui/WaitDialog.h"

using namespace forms;
using text::Narrow;
using text::Wide;

namespace {

using expected::Dpi;
using expected::S;
using testwin::ClassOf;
using testwin::ExStyle;
using testwin::Style;
using testwin::TextOf;

void Pump() { testwin::Pump(*Application); }

// The windowed control of `form` with this name.
const TWinControl* Windowed(const TForm& form, const char* name) {
  for (const TControl* c : form.Controls())
    if (c->Name == name) return dynamic_cast<const TWinControl*>(c);
  return nullptr;
}

// What a font handle asks for and what the font engine gives for it.
struct FontSeen {
  std::wstring face;
  int height;  // LOGFONT height
  bool bold;
  int charHeight;  // cell height without internal leading
  int charset;
};

FontSeen Inspect(HFONT font) {
  LOGFONTW lf{};
  GetObjectW(font, sizeof lf, &lf);
  const TClientDC dc;
  const TSelectObject selected(dc, font);
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  return {lf.lfFaceName, lf.lfHeight, lf.lfWeight >= FW_BOLD, tm.tmHeight - tm.tmInternalLeading, tm.tmCharSet};
}

// The client area of a form as its paint path draws it (graphic controls only).
class Rendering {
 public:
  explicit Rendering(const TForm& form) {
    RECT client;
    GetClientRect(form.Handle(), &client);
    width_ = client.right;
    height_ = client.bottom;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = width_;
    bi.bmiHeader.biHeight = -height_;  // top-down rows
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    bitmap_.reset(CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    selected_ = std::make_unique<TSelectObject>(dc_, bitmap_.get());
    SendMessageW(form.Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(static_cast<HDC>(dc_)), PRF_CLIENT | PRF_ERASEBKGND);
    GdiFlush();
    pixels_ = static_cast<const DWORD*>(bits);
  }
  Rendering(const Rendering&) = delete;
  Rendering& operator=(const Rendering&) = delete;

  DWORD At(int x, int y) const { return pixels_[y * width_ + x] & 0xFFFFFF; }  // 0xRRGGBB
  int Count(const RECT& r, DWORD rgb) const {
    int n = 0;
    for (int y = r.top; y < r.bottom && y < height_; ++y)
      for (int x = r.left; x < r.right && x < width_; ++x) n += At(x, y) == rgb;
    return n;
  }
  bool SameIn(const Rendering& other, const RECT& r) const {
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x)
        if (At(x, y) != other.At(x, y)) return false;
    return true;
  }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  int width_, height_;
  TMemoryDC dc_;
  GdiObject<HBITMAP> bitmap_;
  std::unique_ptr<TSelectObject> selected_;  // the bitmap, until the rendering goes
  const DWORD* pixels_;
};

constexpr DWORD kWhite = 0xFFFFFF, kBlack = 0x000000;
// A COLORREF (0x00BBGGRR) as a pixel of a 32-bit DIB (0x00RRGGBB).
DWORD Rgb(COLORREF c) { return GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c); }

class Layout : public ::testing::Test {
 protected:
  // One application with the three windows, made as the program makes them.
  static void SetUpTestSuite() {
    // The program declares itself dpi-aware in its manifest; this test program has none.
    SetProcessDPIAware();
    app = new TApplication;
    app->SetTitle("カリオンのAster体験版　修正パッチ　セットアップ");
    app->CreateForm(InstallForm);
    app->CreateForm(CompressForm);
    app->CreateForm(WaitForm);
    ShowWindow(app->Handle(), SW_SHOWNORMAL);
    InstallForm->Show();
    Pump();
    focusAtFirstShow = GetFocus();
    progressVisibleAtFirstShow = CompressForm->Visible();
    waitVisibleAtFirstShow = WaitForm->Visible();
  }
  static void TearDownTestSuite() {
    TCloseAction action = TCloseAction::Free;
    InstallForm->FormClose(action);  // frees the window's helpers
    delete app;
    app = nullptr;
  }
  void SetUp() override {
    if (const int meant = expected::MeantDpi()) {
      ASSERT_EQ(Dpi(), meant) << "the run was meant for another dpi";
    }
  }

  static TApplication* app;
  static HWND focusAtFirstShow;
  static bool progressVisibleAtFirstShow, waitVisibleAtFirstShow;
};

TApplication* Layout::app = nullptr;
HWND Layout::focusAtFirstShow = nullptr;
bool Layout::progressVisibleAtFirstShow = true;
bool Layout::waitVisibleAtFirstShow = true;

TEST_F(Layout, WindowedControlsSitWhereTheTablesPutThemWithTheirClassesTextsAndFonts) {
  struct Row {
    const TForm& form;
    const expected::WindowedControl& control;
  };
  std::vector<Row> rows;
  for (const auto& c : expected::kSetupControls) rows.push_back({*InstallForm, c});
  for (const auto& c : expected::kProgressBars) rows.push_back({*CompressForm, c});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.control.name);
    const TWinControl* control = Windowed(row.form, row.control.name);
    ASSERT_NE(control, nullptr);
    HWND h = control->Handle();
    ASSERT_TRUE(IsWindow(h));
    EXPECT_EQ(ClassOf(h), row.control.className);
    expected::ExpectPlaced(h, row.control);
    if (row.control.text) {
      EXPECT_EQ(TextOf(h), row.control.text);
    }
    // No control has a font of its own: each uses its window's font.
    const FontSeen f = Inspect(reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)));
    EXPECT_EQ(f.face, L"ＭＳ Ｐゴシック");
    EXPECT_EQ(f.height, MulDiv(-12, Dpi(), 96));
    EXPECT_FALSE(f.bold);
    // The font engine may round a scaled height's metrics by a pixel.
    EXPECT_NEAR(f.charHeight, S(12), Dpi() == 96 ? 0 : 1);
    EXPECT_EQ(f.charset, SHIFTJIS_CHARSET);
  }
  // The folder field starts with the default folder beside the program.
  EXPECT_EQ(InstallForm->Edit1.Text(), InstallForm->ExeDir() + "kaster");
}

TEST_F(Layout, ControlFlagsAreThoseOfTheTables) {
  // No button is a default button: Enter presses the focused one.
  for (const TButton* b : {&InstallForm->SetupButton, &InstallForm->Button1, &InstallForm->Button2}) {
    EXPECT_EQ(Style(b->Handle()) & BS_TYPEMASK, BS_PUSHBUTTON) << b->Name;
  }
  EXPECT_TRUE(Style(InstallForm->Edit1.Handle()) & ES_READONLY);
  EXPECT_EQ(SendMessageW(InstallForm->FileListBox1.Handle(), LB_GETITEMHEIGHT, 0, 0),
            S(expected::kFileListItemHeight));
  EXPECT_FALSE(InstallForm->FileListBox1.Visible());

  for (const expected::WindowedControl& b : expected::kProgressBars) {
    SCOPED_TRACE(b.name);
    const TWinControl* bar = Windowed(*CompressForm, b.name);
    ASSERT_NE(bar, nullptr);
    PBRANGE range{};
    SendMessageW(bar->Handle(), PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 100);
    EXPECT_EQ(SendMessageW(bar->Handle(), PBM_GETPOS, 0, 0), 0);
    EXPECT_EQ((Style(bar->Handle()) & PBS_SMOOTH) != 0, b.smooth);
  }
}

TEST_F(Layout, GraphicControlsHaveTheTablesPlacesTextsAndFonts) {
  const int dpi = Dpi();
  struct Row {
    const TLabel* label;
    int left, top, width, height;
    bool sizeFollowsText;
    const char* caption;
    const wchar_t* face;
    int fontHeight;
    bool bold;
    TColor color;
    bool transparent, wordWrap;
  } rows[] = {
      {&InstallForm->Label2, 26, 282, 114, 12, true, "セットアップ先フォルダ", L"ＭＳ Ｐゴシック", -12, false, clWhite,
       false, false},
      {&InstallForm->Label1, 240, 82, 180, 65, false, "0(カリオン)のAster プログラム", L"MS UI Gothic", -19, true,
       clWhite, true, true},
      {&CompressForm->Label1, 10, 20, 179, 37, false, "Label1", L"ＭＳ Ｐゴシック", -12, false, clWindowText, false,
       true},
      {&CompressForm->Label2, 10, 66, 83, 12, true, "セットアップ状況", L"ＭＳ Ｐゴシック", -12, false,
       clWindowText, false, false},
      {&WaitForm->Label1, 32, 25, 159, 12, true, "セットアップの準備をしています", L"ＭＳ Ｐゴシック", -12, false,
       clWindowText, false, true},
      {&WaitForm->Label2, 64, 55, 103, 12, true, "しばらくお待ち下さい", L"ＭＳ Ｐゴシック", -12, false,
       clWindowText, false, false},
  };
  for (const Row& row : rows) {
    const TLabel& l = *row.label;
    SCOPED_TRACE(l.Owner().Layout().ClassName + std::string(".") + l.Name);
    EXPECT_TRUE(l.Visible());
    EXPECT_EQ(l.Caption(), row.caption);
    EXPECT_EQ(l.Left(), S(row.left));
    EXPECT_EQ(l.Top(), S(row.top));
    const FontSeen f = Inspect(l.Font.Handle());
    EXPECT_EQ(f.face, row.face);
    EXPECT_EQ(f.height, MulDiv(row.fontHeight, dpi, 96));
    EXPECT_EQ(f.bold, row.bold);
    // A synthesised bold (the stand-in font has no bold face) is a pixel
    // taller, and the font engine may round a scaled height's metrics by one.
    EXPECT_NEAR(f.charHeight, S(-row.fontHeight), row.bold || Dpi() != 96 ? 1 : 0);
    EXPECT_EQ(f.charset, SHIFTJIS_CHARSET);
    EXPECT_EQ(l.Font.Definition().Color, row.color);
    EXPECT_EQ(l.HasFlag(cfTransparent), row.transparent);
    EXPECT_EQ(l.HasFlag(cfWordWrap), row.wordWrap);
    if (!row.sizeFollowsText) {
      EXPECT_EQ(l.Width(), S(row.width));
      EXPECT_EQ(l.Height(), S(row.height));
    } else {
      // Our stand-in for the design's font has slightly other glyph widths:
      // the size follows the text, within 4% of the designed width, one line high.
      EXPECT_NEAR(l.Width(), S(row.width), S(row.width) / 25 + 1);
      const TClientDC dc;
      const TSelectObject selected(dc, l.Font.Handle());
      TEXTMETRICW tm{};
      GetTextMetricsW(dc, &tm);
      EXPECT_EQ(l.Height(), tm.tmHeight);
    }
  }
  // The 256 x 256 picture sizes Image1, scaled like everything else so that
  // the title keeps lying over its right edge.
  const TImage& image = InstallForm->Image1;
  EXPECT_TRUE(image.HasPicture());
  EXPECT_EQ(image.Left(), S(16));
  EXPECT_EQ(image.Top(), S(14));
  EXPECT_EQ(image.Width(), S(256));
  EXPECT_EQ(image.Height(), S(256));
}

TEST_F(Layout, TheSetupWindowIsASizeableBlackWindowCentredOnTheWorkArea) {
  HWND h = InstallForm->Handle();
  EXPECT_EQ(ClassOf(h), expected::kSetupWindow.className);
  EXPECT_EQ(TextOf(h), expected::kSetupWindow.caption);
  EXPECT_EQ(TextOf(app->Handle()), L"カリオンのAster体験版　修正パッチ　セットアップ");
  EXPECT_EQ(GetWindow(h, GW_OWNER), app->Handle());
  EXPECT_EQ(Style(h) & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
  EXPECT_FALSE(ExStyle(h) & WS_EX_TOPMOST);
  EXPECT_TRUE(IsWindowVisible(h));
  RECT r;
  GetWindowRect(h, &r);
  EXPECT_EQ(r.right - r.left, S(expected::kSetupWindow.width));
  EXPECT_EQ(r.bottom - r.top, S(expected::kSetupWindow.height));
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  expected::ExpectCentredOver(r, work);
  // Only the setup window shows; the focus is on the first control in tab order.
  EXPECT_FALSE(progressVisibleAtFirstShow);
  EXPECT_FALSE(waitVisibleAtFirstShow);
  EXPECT_EQ(focusAtFirstShow, InstallForm->SetupButton.Handle());

  // The background is black where nothing lies on it.
  EXPECT_EQ(InstallForm->Color(), clBlack);
  const Rendering shot(*InstallForm);
  EXPECT_EQ(shot.At(S(5), S(5)), kBlack);
  EXPECT_EQ(shot.At(S(430) - 1, S(150)), kBlack);
}

TEST_F(Layout, TabWalksTheButtonsThenTheFolderField) {
  HWND form = InstallForm->Handle();
  const std::vector<HWND> order = {InstallForm->SetupButton.Handle(), InstallForm->Button1.Handle(),
                                   InstallForm->Button2.Handle(), InstallForm->Edit1.Handle()};
  for (size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(GetNextDlgTabItem(form, order[i], FALSE), order[(i + 1) % order.size()]) << i;
    EXPECT_EQ(GetNextDlgTabItem(form, order[(i + 1) % order.size()], TRUE), order[i]) << i;
  }
}

TEST_F(Layout, ResizingTheSetupWindowNeverBringsScrollBars) {
  HWND h = InstallForm->Handle();
  RECT before;
  GetWindowRect(h, &before);
  const SIZE sizes[] = {{150, 120}, {S(439) + 300, S(360) + 200}, {S(200), S(360)}};
  for (const SIZE& size : sizes) {
    SetWindowPos(h, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Pump();
    EXPECT_FALSE(Style(h) & (WS_HSCROLL | WS_VSCROLL)) << size.cx << "x" << size.cy;
  }
  ShowWindow(h, SW_MAXIMIZE);
  Pump();
  EXPECT_FALSE(Style(h) & (WS_HSCROLL | WS_VSCROLL));
  ShowWindow(h, SW_RESTORE);
  SetWindowPos(h, nullptr, before.left, before.top, before.right - before.left, before.bottom - before.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  Pump();
}

TEST_F(Layout, TheProgressAndWaitWindowsAreFixedStayOnTopDialogsCentredOverTheSetupWindow) {
  struct Row {
    TForm* form;
    const expected::Window& window;
    int fontHeight;
  } rows[] = {
      {CompressForm, expected::kProgressWindow, -12},
      {WaitForm, expected::kWaitWindow, -15},
  };
  RECT setup;
  GetWindowRect(InstallForm->Handle(), &setup);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.form->Layout().ClassName);
    HWND h = row.form->Handle();
    EXPECT_EQ(ClassOf(h), row.window.className);
    EXPECT_EQ(TextOf(h), row.window.caption);
    EXPECT_EQ(GetWindow(h, GW_OWNER), app->Handle());
    const LONG style = Style(h), ex = ExStyle(h);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_FALSE(style & (WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    EXPECT_TRUE(ex & WS_EX_DLGMODALFRAME);
    EXPECT_TRUE(ex & WS_EX_TOPMOST);
    RECT client;
    GetClientRect(h, &client);
    EXPECT_EQ(client.right, S(row.window.width));
    EXPECT_EQ(client.bottom, S(row.window.height));
    EXPECT_EQ(row.form->Color(), clBtnFace);
    const FontSeen f = Inspect(row.form->Font.Handle());
    EXPECT_EQ(f.face, L"ＭＳ Ｐゴシック");
    EXPECT_EQ(f.height, MulDiv(row.fontHeight, Dpi(), 96));

    // Shown, it sits centred over the setup window, and stays there when hidden.
    row.form->Show();
    Pump();
    EXPECT_TRUE(IsWindowVisible(h));
    RECT r;
    GetWindowRect(h, &r);
    expected::ExpectCentredOver(r, setup);
    const Rendering shot(*row.form);
    EXPECT_EQ(shot.At(1, 1), Rgb(GetSysColor(COLOR_BTNFACE)));
    row.form->Hide();
    Pump();
    EXPECT_FALSE(IsWindowVisible(h));
  }
}

TEST_F(Layout, TheTitleIsDrawnInWhiteOverThePictureWithoutABackgroundOfItsOwn) {
  TLabel& title = InstallForm->Label1;
  const RECT box = title.BoundsRect();
  const RECT overPicture{box.left, box.top, S(16) + S(256), box.bottom};
  ASSERT_NEAR(overPicture.right - overPicture.left, S(32), 1);
  const RECT beside{S(16) + S(256), box.top, box.right, box.bottom};

  const Rendering withTitle(*InstallForm);
  EXPECT_GT(withTitle.Count(beside, kWhite), 50) << "the title's text is white on the black window";
  // A title without ink shows the picture and the window unchanged: no background.
  const std::string caption = title.Caption();
  title.SetCaption(" ");
  const Rendering blank(*InstallForm);
  title.SetVisible(false);
  const Rendering without(*InstallForm);
  title.SetVisible(true);
  title.SetCaption(caption);
  EXPECT_TRUE(blank.SameIn(without, box));
  // The label lies over the picture's right edge; the picture is drawn there.
  EXPECT_LT(without.Count(overPicture, kBlack), (overPicture.right - overPicture.left) * (box.bottom - box.top));

  // The folder label: white text on black.
  EXPECT_GT(withTitle.Count(InstallForm->Label2.BoundsRect(), kWhite), 20);
}

TEST_F(Layout, ALongTitleWrapsWithinTheLabelAndIsCutBelowIt) {
  TLabel& title = InstallForm->Label1;
  const std::string caption = title.Caption();
  const std::string longTitle = "とても長いゲームの題名が入った時にも枠の中で折り返されて下は切れる プログラム";
  title.SetCaption(longTitle);
  // Drawn without a limit, the text runs below the label.
  {
    const TClientDC dc;
    const TSelectObject selected(dc, title.Font.Handle());
    const std::wstring text = Wide(longTitle);
    RECT r{0, 0, title.Width(), 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_WORDBREAK | DT_CALCRECT);
    ASSERT_GT(r.bottom, title.Height() + S(10)) << "the sample title must be longer than the label";
  }
  const Rendering shot(*InstallForm);
  title.SetCaption(caption);
  const RECT box = title.BoundsRect();
  EXPECT_EQ(title.Width(), S(180));
  EXPECT_EQ(title.Height(), S(65));
  // Several lines inside: white in the label's lower third too, beside the picture.
  const int right = box.right;
  const RECT lowerThird{S(16) + S(256), box.bottom - (box.bottom - box.top) / 3, right, box.bottom};
  EXPECT_GT(shot.Count(lowerThird, kWhite), 10);
  // Nothing below the label, down to the start button, and nothing right of it.
  const RECT below{box.left, box.bottom, right, S(172)};
  EXPECT_EQ(shot.Count(below, kWhite), 0);
  const RECT rightOf{right, box.top, shot.Width(), box.bottom};
  EXPECT_EQ(shot.Count(rightOf, kWhite), 0);
}

}  // namespace
