// Browse and the directory chooser, worked from outside: where the chooser
// opens, what OK does with existing, new, empty and relative names, the
// program-files rule, and Cancel.
#include <set>

#include "Fixture.h"

namespace e2e {
namespace {

const std::wstring kBrowse = L"参照";
const std::wstring kYes = L"はい(&Y)";
const std::wstring kNo = L"いいえ(&N)";
const std::wstring kSo = L"ソ";   // CP932 83 5C
const std::wstring kHyo = L"表";  // CP932 95 5C

std::vector<std::wstring> ListItems(HWND list) {
  std::vector<std::wstring> items;
  const int n = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    std::wstring text(static_cast<size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
    SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    text.resize(text.size() - 1);
    items.push_back(text);
  }
  return items;
}

class Browse : public InstallerTest {
 protected:
  // Starts the installer with `field` in its folder field and presses Browse.
  HWND OpenChooser(Installer& app, const std::wstring& field) {
    setup = StartWith(app, field);
    if (!setup) return nullptr;
    Installer::Click(Child(setup, L"Button", kBrowse));
    HWND chooser = app.Wait(L"TSelectDirDlg");
    EXPECT_NE(chooser, nullptr) << DescribeWindows(app);
    return chooser;
  }
  HWND Field() const { return Child(setup, L"Edit"); }
  static HWND NameBox(HWND chooser) { return Child(chooser, L"Edit"); }
  // Waits until the chooser has closed and the setup window is usable again.
  bool Closed(Installer& app) {
    return WaitFor([&] { return !app.Find(L"TSelectDirDlg", true) && IsWindowEnabled(setup); }, 20000);
  }
  // Types `name` and presses OK.
  void Choose(HWND chooser, const std::wstring& name) {
    Installer::SetText(NameBox(chooser), name);
    Installer::Click(Child(chooser, L"Button", L"OK"));
  }

  HWND setup = nullptr;
};

TEST_F(Browse, OpensAtAnExistingFolderAndOkTakesItWithoutAQuestion) {
  const std::wstring game = root + L"\\game";
  CreateDirectoryW(game.c_str(), nullptr);
  CreateDirectoryW((game + L"\\sub").c_str(), nullptr);
  // A folder named in characters CP932 lacks is listed by its short name.
  const std::wstring korean = game + L"\\\uD55C\uAD6D\uC5B4";
  CreateDirectoryW(korean.c_str(), nullptr);
  wchar_t shortForm[MAX_PATH] = {};
  ASSERT_GT(GetShortPathNameW(korean.c_str(), shortForm, MAX_PATH), 0u);
  const std::wstring shortName = std::wstring(shortForm).substr(std::wstring(shortForm).rfind(L'\\') + 1);
  Installer app(exe);
  HWND chooser = OpenChooser(app, game);
  ASSERT_NE(chooser, nullptr);
  EXPECT_EQ(TextOf(chooser), L"ディレクトリの選択");
  EXPECT_EQ(TextOf(NameBox(chooser)), game);
  // The directory list: the path down to "game" (selected), then its two folders.
  HWND dirList = Child(chooser, L"ListBox");
  const auto items = ListItems(dirList);
  ASSERT_GE(items.size(), 3u);
  EXPECT_EQ(std::set<std::wstring>(items.end() - 2, items.end()), (std::set<std::wstring>{L"sub", shortName}));
  const int selected = static_cast<int>(SendMessageW(dirList, LB_GETCURSEL, 0, 0));
  EXPECT_EQ(items[static_cast<size_t>(selected)], L"game");
  // No help: OK and Cancel take the two right-hand places.
  HWND help = Child(chooser, L"Button", L"ヘルプ(&H)");
  EXPECT_TRUE(!help || !IsWindowVisible(help));
  EXPECT_EQ(ClientRectOf(Child(chooser, L"Button", L"OK")).left, 256);
  EXPECT_EQ(ClientRectOf(Child(chooser, L"Button", kCancel)).left, 340);

  Installer::Click(Child(chooser, L"Button", L"OK"));
  ASSERT_TRUE(Closed(app)) << DescribeWindows(app);
  EXPECT_FALSE(app.Find(L"#32770", true));
  EXPECT_EQ(TextOf(Field()), game);
}

TEST_F(Browse, AMissingFolderOpensWhereTheInstallerIs) {
  Installer app(exe);
  HWND chooser = OpenChooser(app, L"");  // the default: <installer folder>\kaster, not there
  ASSERT_NE(chooser, nullptr);
  EXPECT_EQ(TextOf(NameBox(chooser)), root);
  Installer::Click(Child(chooser, L"Button", kCancel));
  ASSERT_TRUE(Closed(app));
  EXPECT_EQ(TextOf(Field()), root + L"\\kaster");
}

TEST_F(Browse, ANewNestedFolderIsAskedForAndCreatedOuterLevelFirst) {
  const std::wstring typed = root + L"\\" + kSo + L"\\" + kHyo + L"\\new";
  Installer app(exe);
  HWND chooser = OpenChooser(app, L"");
  ASSERT_NE(chooser, nullptr);
  Choose(chooser, typed);
  Box box = app.WaitBox();
  EXPECT_EQ(box.caption, L"確認");
  EXPECT_EQ(box.text, L"指定されたディレクトリが存在しません。作成しますか？");
  EXPECT_EQ(box.buttons, (std::vector<std::wstring>{kYes, kNo}));
  EXPECT_TRUE(box.hasIcon);
  Installer::Answer(box, kNo);
  // "No": the chooser stays with the text as typed; nothing is created.
  ASSERT_TRUE(WaitFor([&] { return !app.Find(L"#32770", true); }, 10000));
  EXPECT_TRUE(IsWindowVisible(chooser));
  EXPECT_EQ(TextOf(NameBox(chooser)), typed);
  EXPECT_FALSE(Exists(root + L"\\" + kSo));

  Installer::Click(Child(chooser, L"Button", L"OK"));
  box = app.WaitBox();
  Installer::Answer(box, kYes);
  ASSERT_TRUE(Closed(app)) << DescribeWindows(app);
  EXPECT_EQ(TextOf(Field()), typed);
  EXPECT_TRUE(Exists(root + L"\\" + kSo + L"\\" + kHyo + L"\\new"));
}

TEST_F(Browse, AnEmptyNameConfirmedShowsTheCreationErrorAndKeepsTheField) {
  Installer app(exe);
  HWND chooser = OpenChooser(app, L"");
  ASSERT_NE(chooser, nullptr);
  Choose(chooser, L"");
  Installer::Answer(app.WaitBox(), kYes);
  ASSERT_TRUE(WaitFor([&] { return !app.Find(L"TSelectDirDlg", true); }, 20000));
  const Box error = app.WaitBox();
  EXPECT_EQ(error.caption, kTitle);
  EXPECT_EQ(error.text, L"ディレクトリを作成することができません.");
  Installer::Answer(error, L"OK");
  ASSERT_TRUE(Closed(app));
  EXPECT_EQ(TextOf(Field()), root + L"\\kaster");
  EXPECT_TRUE(app.Running());
}

TEST_F(Browse, TheProgramFilesFolderGetsTheGameSubFolder) {
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"C:\\Program Files", L"C:\\Program Files\\kaster"},
      {L"c:\\program files", L"c:\\program files\\kaster"},
      {L"C:\\PROGRAM FILES", L"C:\\PROGRAM FILES\\kaster"},
      {L"C:\\Program Files\\", L"C:\\Program Files\\"},
  };
  Installer app(exe);
  setup = StartWith(app, L"");
  ASSERT_NE(setup, nullptr);
  for (const auto& [typed, field] : cases) {
    Installer::Click(Child(setup, L"Button", kBrowse));
    HWND chooser = app.Wait(L"TSelectDirDlg");
    ASSERT_NE(chooser, nullptr) << DescribeWindows(app);
    Choose(chooser, typed);
    ASSERT_TRUE(Closed(app)) << DescribeWindows(app);
    EXPECT_EQ(TextOf(Field()), field) << typed;
  }
}

TEST_F(Browse, ARelativeNameAndCancel) {
  CreateDirectoryW((root + L"\\game").c_str(), nullptr);
  Installer app(exe);
  // The chooser shows the installer's folder, so "game" names an existing folder there.
  HWND chooser = OpenChooser(app, L"");
  ASSERT_NE(chooser, nullptr);
  Choose(chooser, L"game");
  ASSERT_TRUE(Closed(app)) << DescribeWindows(app);
  EXPECT_FALSE(app.Find(L"#32770", true));
  EXPECT_EQ(TextOf(Field()), L"game");

  Installer::Click(Child(setup, L"Button", kBrowse));
  chooser = app.Wait(L"TSelectDirDlg");
  ASSERT_NE(chooser, nullptr);
  Installer::SetText(NameBox(chooser), root + L"\\elsewhere");
  Installer::Click(Child(chooser, L"Button", kCancel));
  ASSERT_TRUE(Closed(app));
  EXPECT_EQ(TextOf(Field()), L"game");
  EXPECT_FALSE(Exists(root + L"\\elsewhere"));
}

}  // namespace
}  // namespace e2e
