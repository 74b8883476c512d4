// The directory chooser in-process: its lists on real folders (CP932 names with
// 0x5C trail bytes), its navigation, ChooseDirectory worked from a timer
// while the dialog is modal, and exceptions raised inside its callbacks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <vector>

#include "BoxWatcher.h"
#include "TempDir.h"
#include "WindowQueries.h"
#include "chooser/FileCtrl.h"
#include "text/Wide.h"

using platform::EInOutError;
using platform::Exception;
using namespace forms;
using text::Narrow;
using text::Wide;
using wintest::TempDir;

// Once set, the next allocation of the thread that set it throws
// std::bad_alloc: a way to make a push_back fail inside a Win32 callback.
// (Not inlined: the compiler would take malloc and free for a mismatch with
// the new and delete around them.)
static thread_local bool failNextAllocation = false;

[[gnu::noinline]] void* operator new(std::size_t size) {
  if (failNextAllocation) {
    failNextAllocation = false;
    throw std::bad_alloc();
  }
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

std::string Cwd() {
  wchar_t buffer[MAX_PATH];
  const DWORD n = GetCurrentDirectoryW(MAX_PATH, buffer);
  return Narrow(std::wstring(buffer, n));
}

void MakeDir(const std::string& path) { ASSERT_TRUE(CreateDirectoryW(Wide(path).c_str(), nullptr)) << path; }

// ---- working a modal dialog from a timer ----

// Runs steps from a thread timer while a modal loop of this thread runs. A step
// returns false to be tried again on the next tick. Steps only post messages,
// so none of them blocks inside a nested loop.
class Script {
 public:
  explicit Script(std::vector<std::function<bool()>> steps) : steps_(std::move(steps)) {
    current_ = this;
    timer_ = SetTimer(nullptr, 0, 40, Tick);
  }
  ~Script() {
    KillTimer(nullptr, timer_);
    current_ = nullptr;
  }
  bool Finished() const { return next_ == steps_.size(); }
  size_t Next() const { return next_; }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) noexcept {
    Script* s = current_;
    if (!s || s->busy_ || s->Finished()) return;
    s->busy_ = true;
    try {
      if (++s->ticks_ > 250) {
        s->Abandon("never came true");
      } else if (s->steps_[s->next_]()) {
        ++s->next_;
        s->ticks_ = 0;
      }
    } catch (...) {
      s->Abandon("threw");
    }
    s->busy_ = false;
  }
  // A step that failed: close whatever is open so the test ends.
  void Abandon(const char* why);

  static inline Script* current_ = nullptr;
  std::vector<std::function<bool()>> steps_;
  size_t next_ = 0;
  int ticks_ = 0;
  bool busy_ = false;
  UINT_PTR timer_ = 0;
};

TSelectDirDlg* OpenChooser() {
  HWND hwnd = FindWindowW(L"TSelectDirDlg", nullptr);
  if (!hwnd || !IsWindowVisible(hwnd)) return nullptr;
  return static_cast<TSelectDirDlg*>(reinterpret_cast<TForm*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)));
}

HWND OpenBox() { return testwin::VisibleBox(GetCurrentProcessId()); }

using testwin::ChildWithText;
using testwin::TextOf;

void Press(TButton& button) {
  PostMessageW(button.Owner().Handle(), WM_COMMAND, MAKEWPARAM(0, BN_CLICKED),
               reinterpret_cast<LPARAM>(button.Handle()));
}

bool AnswerBox(HWND box, const std::wstring& button) {
  HWND b = ChildWithText(box, button);
  if (!b) return false;
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(b), BN_CLICKED), reinterpret_cast<LPARAM>(b));
  return true;
}

void Script::Abandon(const char* why) {
  ADD_FAILURE() << "script step " << next_ << " " << why;
  next_ = steps_.size();
  if (HWND box = OpenBox()) EndDialog(box, IDCANCEL);
  if (TSelectDirDlg* d = OpenChooser()) d->ModalResult = mrCancel;
}

// Keys go through the application's loop, as typed keys do.
void PostKey(HWND target, UINT message, WPARAM key) { PostMessageW(target, message, key, 0); }

// ---- fixtures ----

class Chooser : public ::testing::Test {
 protected:
  void SetUp() override {
    savedCwd_ = Cwd();
    app = std::make_unique<TApplication>();
    temp = std::make_unique<TempDir>("chooser");
    base = temp->Path();
  }
  void TearDown() override {
    dialog.reset();
    app.reset();
    SetCurrentDirectoryW(Wide(savedCwd_).c_str());
    temp.reset();
  }
  // A dialog made as ChooseDirectory makes it, without showing it.
  TSelectDirDlg& MakeDialog() {
    dialog = std::make_unique<TSelectDirDlg>();
    dialog->CreateHandle(app->Handle());
    dialog->DoCreate();
    return *dialog;
  }

  std::unique_ptr<TApplication> app;
  std::unique_ptr<TempDir> temp;
  std::unique_ptr<TSelectDirDlg> dialog;
  std::string base;

 private:
  std::string savedCwd_;
};

const std::string kSo = "ソ";   // 83 5C
const std::string kHyo = "表";  // 95 5C

// ---- the lists ----

TEST_F(Chooser, StartFolderFillsEveryControl) {
  const std::string start = base + "\\" + kSo;
  MakeDir(start);
  for (const char* name : {"beta", "Alpha", "gamma"}) MakeDir(start + "\\" + name);
  MakeDir(start + "\\" + kHyo);
  MakeDir(start + "\\hidden");
  SetFileAttributesW(Wide(start + "\\hidden").c_str(), FILE_ATTRIBUTE_HIDDEN);
  wintest::WriteFile(start + "\\b.txt", "x");
  wintest::WriteFile(start + "\\A.exe", "x");
  wintest::WriteFile(start + "\\secret.sys", "x");
  SetFileAttributesW(Wide(start + "\\secret.sys").c_str(), FILE_ATTRIBUTE_SYSTEM);

  TSelectDirDlg& d = MakeDialog();
  d.SetStartDirectory(start);

  EXPECT_EQ(d.DirList.Directory(), start);
  EXPECT_EQ(Cwd(), start);
  EXPECT_EQ(d.DirEdit.Text(), start);
  EXPECT_EQ(d.DirLabel.Caption(), start);
  EXPECT_EQ(d.DriveList.Drive(), static_cast<char>(tolower(start[0])));

  // Path entries first (root, ancestors, the folder itself selected), then the
  // sub-folders sorted without regard to case; no hidden ones.
  const std::vector<std::string> items = d.DirList.Items();
  const size_t levels = items.size() - 4;
  ASSERT_GE(items.size(), 5u);
  EXPECT_EQ(d.DirList.ItemIndex(), static_cast<int>(levels) - 1);
  EXPECT_EQ(d.DirList.ItemFolder(static_cast<int>(levels) - 1), start);
  EXPECT_EQ(d.DirList.ItemFolder(0), start.substr(0, 3));
  const std::vector<std::string> subs(items.begin() + static_cast<long>(levels), items.end());
  ASSERT_EQ(subs.size(), 4u);
  EXPECT_EQ(subs[0], "Alpha");
  EXPECT_EQ(subs[1], "beta");
  EXPECT_EQ(subs[2], "gamma");
  EXPECT_EQ(subs[3], kHyo);
  EXPECT_EQ(d.DirList.ItemFolder(static_cast<int>(levels) + 3), start + "\\" + kHyo);

  // Plain files only, sorted.
  EXPECT_EQ(d.FileList.Items(), (std::vector<std::string>{"A.exe", "b.txt"}));
}

TEST_F(Chooser, StartFolderRules) {
  MakeDir(base + "\\game");
  MakeDir(base + "\\game\\sub");
  struct Case {
    std::string start;  // relative to `base` when it does not begin with a drive
    std::string cwdBefore;
    std::string opens;
  } cases[] = {
      {base + "\\game", base, base + "\\game"},
      {base + "\\game\\", base, base + "\\game"},                 // a trailing '\' is not doubled
      {"game\\sub", base, base + "\\game\\sub"},                  // relative to the current folder
      {base + "\\missing\\kaster", base + "\\game", base + "\\game"},  // cannot be entered: stays on its drive
      {base.substr(0, 3), base, base.substr(0, 3)},               // a root opens at the root
      {"", base + "\\game", base + "\\game"},                     // empty: where the process is
  };
  for (const Case& c : cases) {
    SetCurrentDirectoryW(Wide(c.cwdBefore).c_str());
    TSelectDirDlg& d = MakeDialog();
    d.SetStartDirectory(c.start);
    EXPECT_EQ(d.DirList.Directory(), c.opens) << c.start;
    EXPECT_EQ(d.DirEdit.Text(), c.opens) << c.start;
  }
}

TEST_F(Chooser, NavigationFollowsEntriesAndRefusesVanishedFolders) {
  MakeDir(base + "\\a");
  MakeDir(base + "\\a\\b");
  MakeDir(base + "\\a\\" + kSo);
  TSelectDirDlg& d = MakeDialog();
  d.SetStartDirectory(base + "\\a");
  const int current = d.DirList.ItemIndex();

  // A sub-folder entry enters it; the parent's entry goes back.
  d.DirList.OpenItem(current + 2);  // "b", then ソ
  EXPECT_EQ(d.DirList.Directory(), base + "\\a\\" + kSo);
  EXPECT_EQ(d.DirEdit.Text(), base + "\\a\\" + kSo);
  EXPECT_EQ(Cwd(), base + "\\a\\" + kSo);
  d.DirList.OpenItem(d.DirList.ItemIndex() - 1);
  EXPECT_EQ(d.DirList.Directory(), base + "\\a");
  d.DirList.OpenItem(0);
  EXPECT_EQ(d.DirList.Directory(), base.substr(0, 3));

  // A folder removed behind the list's back cannot be entered: I/O error, the list stays.
  d.SetStartDirectory(base + "\\a");
  RemoveDirectoryW(Wide(base + "\\a\\b").c_str());
  EXPECT_THROW(d.DirList.OpenItem(d.DirList.ItemIndex() + 1), EInOutError);
  EXPECT_EQ(d.DirList.Directory(), base + "\\a");
  EXPECT_EQ(d.DirEdit.Text(), base + "\\a");
}

TEST_F(Chooser, AllowNewSwapsLabelAndEditAndTheResultIsTheirTextUnchanged) {
  TSelectDirDlg& d = MakeDialog();
  d.SetStartDirectory(base);
  EXPECT_FALSE(d.AllowNew());
  EXPECT_TRUE(d.DirLabel.Visible());
  EXPECT_FALSE(d.DirEdit.Visible());
  EXPECT_EQ(d.ChosenDirectory(), base);
  // The label lies on the edit box's rectangle.
  EXPECT_EQ(d.DirLabel.Left(), d.DirEdit.Left());
  EXPECT_EQ(d.DirLabel.Top(), d.DirEdit.Top());
  EXPECT_EQ(d.DirLabel.Width(), d.DirEdit.Width());

  d.SetAllowNew(true);
  EXPECT_FALSE(d.DirLabel.Visible());
  EXPECT_TRUE(d.DirEdit.Visible());
  d.DirEdit.SetText("  relative\\name\\ ");
  EXPECT_EQ(d.ChosenDirectory(), "  relative\\name\\ ");
}

TEST_F(Chooser, PathLabelShortensALongFolderButKeepsItAsCaption) {
  std::string deep = base;
  for (const char* name : {"aaaaaaaaaaaaaaaa", "bbbbbbbbbbbbbbbb", "cccccccccccccccc", "dddddddddddddddd"}) {
    deep += std::string("\\") + name;
    MakeDir(deep);
  }
  TSelectDirDlg& d = MakeDialog();
  d.SetStartDirectory(deep);
  EXPECT_EQ(d.DirLabel.Caption(), deep);
  const std::string shown = d.DirLabel.ShownText();
  EXPECT_LT(shown.size(), deep.size());
  EXPECT_NE(shown.find("...\\"), std::string::npos) << shown;
  EXPECT_EQ(shown.substr(shown.size() - 16), "dddddddddddddddd");
}

TEST_F(Chooser, DriveListNamesEachDriveOnceInLetterOrder) {
  TSelectDirDlg& d = MakeDialog();
  const std::vector<std::string> rows = d.DriveList.Items();
  ASSERT_FALSE(rows.empty());
  char last = 0;
  for (const std::string& row : rows) {
    ASSERT_GE(row.size(), 2u);
    EXPECT_EQ(row[1], ':') << row;
    EXPECT_GT(row[0], last) << row;
    EXPECT_TRUE(row[0] >= 'a' && row[0] <= 'z') << row;
    last = row[0];
  }
  const std::string c = *std::find_if(rows.begin(), rows.end(), [](const std::string& r) { return r[0] == 'c'; });
  EXPECT_EQ(c.substr(0, 4), "c: [") << c;
  EXPECT_EQ(c.back(), ']') << c;
}

TEST_F(Chooser, GlyphsAreDrawnWithTheirCornerColourTransparent) {
  TGlyph missing(L"NOSUCHGLYPH");
  EXPECT_FALSE(missing.Loaded());
  TGlyph hard(L"HARD");
  ASSERT_TRUE(hard.Loaded());
  EXPECT_EQ(hard.Width(), 16);

  const TMemoryDC dc;
  const GdiObject<HBITMAP> target(CreateCompatibleBitmap(TClientDC(), 16, 16));
  const TSelectObject selected(dc, target.get());
  const COLORREF background = RGB(255, 0, 255);
  RECT r{0, 0, 16, 16};
  FillRect(dc, &r, GdiObject<HBRUSH>(CreateSolidBrush(background)).get());
  missing.Draw(dc, 0, 0);  // draws nothing
  EXPECT_EQ(GetPixel(dc, 8, 8), background);
  hard.Draw(dc, 0, 0);
  EXPECT_EQ(GetPixel(dc, 0, 15), background);  // the transparent corner
  int painted = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) painted += GetPixel(dc, x, y) != background;
  EXPECT_GT(painted, 20);
}

// ---- ChooseDirectory, modal ----

constexpr unsigned kAll = cdAllowNew | cdCreateOnOk | cdConfirmNew;

TEST_F(Chooser, OkOnAnExistingFolderAsksNothing) {
  MakeDir(base + "\\game");
  std::string folder = base + "\\game";
  int okLeft = 0, cancelLeft = 0;
  bool helpShown = true, editShown = false, listFocused = false;
  Script script({[&] {
    TSelectDirDlg* d = OpenChooser();
    if (!d) return false;
    okLeft = d->OKButton.Left();
    cancelLeft = d->CancelButton.Left();
    helpShown = d->HelpButton.Visible();
    editShown = d->DirEdit.Visible();
    listFocused = d->DirList.Focused();
    Press(d->OKButton);
    return true;
  }});
  EXPECT_TRUE(ChooseDirectory(folder, kAll, 0));
  EXPECT_TRUE(script.Finished());
  EXPECT_EQ(folder, base + "\\game");
  EXPECT_FALSE(helpShown);
  EXPECT_TRUE(editShown);
  EXPECT_TRUE(listFocused);
  EXPECT_EQ(okLeft, MulDiv(256, ScreenPixelsPerInch(), 96));
  EXPECT_EQ(cancelLeft, MulDiv(340, ScreenPixelsPerInch(), 96));
  EXPECT_EQ(Cwd(), base + "\\game");  // the lists leave the process there
  EXPECT_EQ(FindWindowW(L"TSelectDirDlg", nullptr), nullptr);  // released
}

TEST_F(Chooser, ANewNestedFolderIsConfirmedThenCreated) {
  const std::string typed = base + "\\" + kHyo + "\\new\\";
  std::string folder = base;
  std::wstring question, caption;
  bool stayedOpen = false;
  Script script({
      [&] {
        TSelectDirDlg* d = OpenChooser();
        if (!d) return false;
        d->DirEdit.SetText(typed);
        Press(d->OKButton);
        return true;
      },
      [&] {
        HWND box = OpenBox();
        if (!box) return false;
        caption = TextOf(box);
        for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
          if (TextOf(c).find(L"作成") != std::wstring::npos) question = TextOf(c);
        return AnswerBox(box, L"いいえ(&N)");
      },
      [&] {
        if (OpenBox()) return false;
        TSelectDirDlg* d = OpenChooser();
        stayedOpen = d && d->DirEdit.Text() == typed;
        if (d) Press(d->OKButton);
        return true;
      },
      [&] {
        HWND box = OpenBox();
        return box && AnswerBox(box, L"はい(&Y)");
      },
  });
  EXPECT_TRUE(ChooseDirectory(folder, kAll, 0));
  EXPECT_TRUE(script.Finished());
  EXPECT_EQ(caption, L"確認");
  EXPECT_EQ(question, L"指定されたディレクトリが存在しません。作成しますか？");
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(folder, typed);  // the trailing '\' stays
  EXPECT_TRUE(wintest::IsDirectory(base + "\\" + kHyo + "\\new"));
}

TEST_F(Chooser, AnEmptyNameConfirmedRaisesTheCreationErrorAndKeepsTheFolder) {
  std::string folder = base;
  Script script({
      [&] {
        TSelectDirDlg* d = OpenChooser();
        if (!d) return false;
        d->DirEdit.SetText("");
        Press(d->OKButton);
        return true;
      },
      [&] {
        HWND box = OpenBox();
        return box && AnswerBox(box, L"はい(&Y)");
      },
  });
  try {
    ChooseDirectory(folder, kAll, 0);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "ディレクトリを作成することができません");
  }
  EXPECT_EQ(folder, base);
  EXPECT_EQ(FindWindowW(L"TSelectDirDlg", nullptr), nullptr);
}

TEST_F(Chooser, CancelEscapeAndTheCloseBoxLeaveTheFolderAlone) {
  MakeDir(base + "\\other");
  const std::function<void(TSelectDirDlg&)> ways[] = {
      [](TSelectDirDlg& d) { Press(d.CancelButton); },
      [](TSelectDirDlg& d) { PostKey(d.DirList.Handle(), WM_KEYDOWN, VK_ESCAPE); },
      [](TSelectDirDlg& d) { PostMessageW(d.Handle(), WM_CLOSE, 0, 0); },
  };
  for (const auto& way : ways) {
    std::string folder = base;
    Script script({[&] {
      TSelectDirDlg* d = OpenChooser();
      if (!d) return false;
      d->DirEdit.SetText(base + "\\other");
      way(*d);
      return true;
    }});
    EXPECT_FALSE(ChooseDirectory(folder, kAll, 0));
    EXPECT_EQ(folder, base);
  }
}

TEST_F(Chooser, KeysEnterFoldersAndAcceleratorsFocusControls) {
  MakeDir(base + "\\only");
  std::string folder = base;
  bool editFocused = false;
  std::string entered;
  Script script({
      [&] {
        TSelectDirDlg* d = OpenChooser();
        if (!d) return false;
        // Select the sub-folder and press Enter on the list: it is entered, not OK.
        SendMessageW(d->DirList.Handle(), LB_SETCURSEL, d->DirList.ItemIndex() + 1, 0);
        PostKey(d->DirList.Handle(), WM_KEYDOWN, VK_RETURN);
        return true;
      },
      [&] {
        TSelectDirDlg* d = OpenChooser();
        entered = d->DirList.Directory();
        PostKey(d->DirList.Handle(), WM_SYSKEYDOWN, 'N');  // ディレクトリ名(&N)
        return true;
      },
      [&] {
        TSelectDirDlg* d = OpenChooser();
        editFocused = d->DirEdit.Focused();
        PostKey(d->DirEdit.Handle(), WM_KEYDOWN, VK_RETURN);  // Enter in the edit box is OK
        return true;
      },
  });
  EXPECT_TRUE(ChooseDirectory(folder, kAll, 0));
  EXPECT_EQ(entered, base + "\\only");
  EXPECT_TRUE(editFocused);
  EXPECT_EQ(folder, base + "\\only");
}

// ---- exceptions inside the chooser's callbacks ----

// A folder removed behind the list's back: double-clicking it raises the I/O
// error inside the chooser's window procedure, which shows it; the chooser
// stays where it was.
TEST_F(Chooser, AFolderThatCannotBeEnteredShowsTheIoErrorAndTheChooserStays) {
  MakeDir(base + "\\gone");
  std::string folder = base;
  std::wstring shown;
  std::string stayedIn;
  Script script({
      [&] {
        TSelectDirDlg* d = OpenChooser();
        if (!d) return false;
        SendMessageW(d->DirList.Handle(), LB_SETCURSEL, d->DirList.ItemIndex() + 1, 0);
        RemoveDirectoryW(Wide(base + "\\gone").c_str());
        PostMessageW(d->Handle(), WM_COMMAND, MAKEWPARAM(0, LBN_DBLCLK), reinterpret_cast<LPARAM>(d->DirList.Handle()));
        return true;
      },
      [&] {
        HWND box = OpenBox();
        if (!box) return false;
        for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
          if (TextOf(c).starts_with(L"I/O")) shown = TextOf(c);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        return true;
      },
      [&] {
        if (OpenBox()) return false;
        TSelectDirDlg* d = OpenChooser();
        if (d) {
          stayedIn = d->DirList.Directory();
          Press(d->CancelButton);
        }
        return true;
      },
  });
  EXPECT_FALSE(ChooseDirectory(folder, kAll, 0));
  EXPECT_TRUE(script.Finished());
  EXPECT_EQ(shown, L"I/O エラー 2.");
  EXPECT_EQ(stayedIn, base);
  EXPECT_EQ(folder, base);
}

const FormLayout kOwnerLayout{"TOwnerForm", "Owner", 240, 100, true, TPosition::ScreenCenter,
                              TBorderStyle::Sizeable, false, clBtnFace, {}};
const ControlLayout kBrowseButton{"Browse", 10, 10, 100, 30, "Browse", cfNone, {}, 0};

// A window with a button. The first time it is disabled after Arm is set, it
// makes the next allocation fail: the push_back of the window disabled next.
class TOwnerForm : public TForm {
 public:
  TOwnerForm() : TForm(kOwnerLayout), Browse(*this, kBrowseButton) {}
  TButton Browse;
  static inline bool Arm = false;

 protected:
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    const LRESULT result = TForm::WndProc(message, wParam, lParam);
    if (message == WM_ENABLE && !wParam && Arm) {
      Arm = false;
      failNextAllocation = true;
    }
    return result;
  }
};

// The chooser disables the program's other windows through an enumeration
// callback. A failure in there is carried out of the enumeration: the click
// handler that opened the chooser shows it, and every window is enabled again.
TEST_F(Chooser, AFailureWhileDisablingTheOtherWindowsIsShownAndLeavesThemEnabled) {
  TOwnerForm* first = nullptr;
  TOwnerForm* second = nullptr;
  app->CreateForm(first);
  app->CreateForm(second);
  first->Show();
  second->Show();
  std::string folder = base;
  bool returned = false;
  first->Browse.OnClick = [&] {
    ChooseDirectory(folder, kAll, 0);
    returned = true;
  };
  TOwnerForm::Arm = true;
  {
    wintest::BoxWatcher watcher;
    PostMessageW(first->Browse.Handle(), BM_CLICK, 0, 0);
    testwin::Pump(*app, 20);
    const auto seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, L"std::bad_alloc.");
  }
  EXPECT_FALSE(TOwnerForm::Arm);
  EXPECT_FALSE(failNextAllocation);
  EXPECT_FALSE(returned);
  EXPECT_TRUE(IsWindowEnabled(first->Handle()));
  EXPECT_TRUE(IsWindowEnabled(second->Handle()));
  EXPECT_EQ(FindWindowW(L"TSelectDirDlg", nullptr), nullptr);
}

}  // namespace
