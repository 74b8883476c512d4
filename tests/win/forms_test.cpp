// The framework's boxes and its handling of exceptions that escape a handler.
#include <gtest/gtest.h>

#include "BoxWatcher.h"
#include "TempDir.h"
#include "WindowQueries.h"
#include "forms/Dialogs.h"
#include "forms/Forms.h"
#include "ui/Compress.h"
#include "ui/PatchSetup.h"
#include "ui/WaitDialog.h"

using platform::EAbort;
using platform::Exception;
using namespace forms;
using text::Narrow;
using text::Wide;
using wintest::BoxWatcher;

namespace {

const FormLayout kLayout{"TTestForm", "Test", 300, 200, true, TPosition::ScreenCenter, TBorderStyle::Sizeable,
                         false, clBtnFace, {}};
const ControlLayout kButton{"Button", 10, 10, 100, 30, "Press", cfNone, {}, 0};

class TTestForm : public TForm {
 public:
  TTestForm() : TForm(kLayout), Button(*this, kButton) {}
  TButton Button;
  int Closes = 0;

 protected:
  void DoClose(TCloseAction&) override { ++Closes; }
};

class Framework : public ::testing::Test {
 protected:
  void SetUp() override {
    app = std::make_unique<TApplication>();
    app->SetTitle("カリオンのAster体験版　修正パッチ　セットアップ");
    app->CreateForm(form);
    form->Show();
  }
  void TearDown() override {
    app.reset();
    // Closing the main form posted WM_QUIT; later tests' boxes must not see it.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }
  // Presses a button through the message loop, as a click would.
  void Press() { Press(form->Button); }
  void Press(TButton& button) {
    PostMessageW(button.Handle(), BM_CLICK, 0, 0);
    testwin::Pump(*app, 20);
  }
  std::unique_ptr<TApplication> app;
  TTestForm* form = nullptr;
};

TEST_F(Framework, AnExceptionFromAHandlerIsShownWithThePeriodRuleAndTheLoopGoesOn) {
  struct Case {
    std::string message;
    std::wstring shown;
  } cases[] = {
      {"Disk full", L"Disk full."},
      {"Version 2", L"Version 2."},
      {"Stopped.", L"Stopped."},
      {"Stopped!", L"Stopped!"},
      {"a, ", L"a, "},
      {"ファイルがありません", L"ファイルがありません."},
      {"ソ", L"ソ."},  // the last character's second byte is 0x5C
      {"", L""},
  };
  for (const Case& c : cases) {
    form->Button.OnClick = [&] { throw Exception(c.message); };
    BoxWatcher watcher;
    Press();
    const auto seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 1u) << c.message;
    EXPECT_EQ(seen[0].text, c.shown);
    EXPECT_EQ(seen[0].caption, L"カリオンのAster体験版　修正パッチ　セットアップ");
    EXPECT_TRUE(seen[0].hasIcon);
  }
  // EAbort is silent, and other exception types do not get out either.
  form->Button.OnClick = [] { throw EAbort(); };
  {
    BoxWatcher watcher;
    Press();
    EXPECT_TRUE(watcher.Seen().empty());
  }
  form->Button.OnClick = [] { throw std::runtime_error("plain"); };
  {
    BoxWatcher watcher;
    Press();
    ASSERT_EQ(watcher.Seen().size(), 1u);
    EXPECT_EQ(watcher.Seen()[0].text, L"plain.");
  }
  EXPECT_TRUE(IsWindow(form->Handle()));
}

// The patch run raises on its own thread; the setup window's click handler
// raises it again, and the window procedure shows it. This test program
// carries no archive.
TEST_F(Framework, TheSetupWindowShowsAMissingArchiveInTheErrorBoxAndStays) {
  wintest::TempDir game("no-archive");
  wintest::WriteFile(game / "Game02.exe", "game");
  app->CreateForm(InstallForm);
  app->CreateForm(CompressForm);
  app->CreateForm(WaitForm);
  InstallForm->Edit1.SetText(game.Path());
  InstallForm->Show();
  {
    BoxWatcher watcher;
    Press(InstallForm->SetupButton);
    const auto seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, L"kaster リソースが見つかりません.");
  }
  EXPECT_TRUE(InstallForm->Visible());
  EXPECT_TRUE(IsWindowEnabled(InstallForm->Handle()));
  EXPECT_FALSE(app->Terminated());
  TCloseAction action = TCloseAction::Free;
  InstallForm->FormClose(action);  // frees the window's helpers
}

TEST_F(Framework, TheMessageBoxShowsTheTextUnchangedWithOneOkButton) {
  std::string longText;
  for (int i = 0; i < 80; ++i) longText += "word ";
  for (bool escape : {false, true}) {
    BoxWatcher watcher(escape);
    ShowMessage("a & b");
    ShowMessage(longText);
    const auto seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].text, L"a & b");
    EXPECT_EQ(seen[0].caption, L"カリオンのAster体験版　修正パッチ　セットアップ");
    EXPECT_FALSE(seen[0].hasIcon);
    EXPECT_EQ(seen[0].buttons, 1);
    // A long text wraps at half the screen's width; the box is centred.
    const int screen = GetSystemMetrics(SM_CXSCREEN);
    const RECT r = seen[1].rect;
    EXPECT_LE(r.right - r.left, screen / 2 + 100);
    EXPECT_LE(std::abs((r.left + r.right) / 2 - screen / 2), 2);
  }
}

TEST_F(Framework, TheMainFormClosesOnceAndEndsTheApplication) {
  form->Close();
  EXPECT_TRUE(app->Terminated());
  // A second close (a click queued behind the first) runs no handler again.
  PostMessageW(form->Handle(), WM_CLOSE, 0, 0);
  MSG msg;
  while (PeekMessageW(&msg, form->Handle(), 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  form->Close();
  EXPECT_EQ(form->Closes, 1);
}

}  // namespace
