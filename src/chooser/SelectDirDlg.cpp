// The directory chooser dialog (TSelectDirDlg) and its entry, ChooseDirectory.
// Part of the FileCtrl unit (see FileCtrl.h).
#include <memory>

#include "chooser/ChooserRules.h"
#include "chooser/FileCtrl.h"
#include "forms/Dialogs.h"
#include "platform/FileOps.h"
#include "text/Wide.h"

using platform::EInOutError;
using platform::IsExistingDirectory;
using platform::MakeDirectoryPath;
using text::Narrow;
using text::Wide;

using namespace forms;

namespace {

constexpr char kConfirmCaption[] = "確認";
constexpr char kConfirmText[] = "指定されたディレクトリが存在しません。作成しますか？";
constexpr char kYes[] = "はい(&Y)";
constexpr char kNo[] = "いいえ(&N)";

struct SelectDirDlgLayout {
  FormLayout Form;
  ControlLayout DirEdit, DirEditLabel, DriveList, DriveListLabel, DirLabel, DirList, DirListLabel, FileList,
      FileListLabel, NetButton, OKButton, CancelButton, HelpButton;
};

constexpr FontSpec kDialogFont{"ＭＳ Ｐゴシック", -12, false, clWindowText};
constexpr FontSpec kGrayFont{"ＭＳ Ｐゴシック", -12, false, clGrayText};

// Rows in creation order; windows are made in tab order.
// clang-format off
const SelectDirDlgLayout kLayout = {
  // class            caption               width height client position               border               on top colour     font
  {"TSelectDirDlg",   "ディレクトリの選択", 424,  255,   true,  TPosition::ScreenCenter, TBorderStyle::Dialog, false, clBtnFace, kDialogFont},
  // name             left top  width height text                   flags        own font    tab min max item height
  {"DirEdit",         8,   24,  313,  20,   "",                     cfHidden,    {},         1},
  {"DirEditLabel",    8,   8,   92,   13,   "ディレクトリ名(&N):",  cfAutoSize},
  {"DriveList",       232, 192, 185,  19,   "",                     cfNone,      {},         2},
  {"DriveListLabel",  232, 176, 41,   13,   "ドライブ(&R):",        cfAutoSize},
  {"DirLabel",        120, 8,   213,  13,   "",                     cfNone},
  {"DirList",         8,   72,  213,  138,  "",                     cfNone,      {},         0, 0, 100, 17},
  {"DirListLabel",    8,   56,  66,   13,   "ディレクトリ(&D):",    cfAutoSize},
  {"FileList",        232, 72,  185,  93,   "",                     cfOwnFont,   kGrayFont,  6, 0, 100, 13},
  {"FileListLabel",   232, 56,  57,   13,   "ファイル(&F): (*.*)",  cfAutoSize},
  {"NetButton",       8,   224, 77,   27,   "ネットワーク(&N)...",  cfHidden,    {},         3},
  {"OKButton",        172, 224, 77,   27,   "OK",                   cfNone,      {},         4},
  {"CancelButton",    256, 224, 77,   27,   "キャンセル",           cfNone,      {},         5},
  {"HelpButton",      340, 224, 77,   27,   "ヘルプ(&H)",           cfNone,      {},         7},
};
// clang-format on

bool HasDriveLetter(const std::string& path) { return path.size() >= 2 && path[1] == ':'; }

}  // namespace

TSelectDirDlg::TSelectDirDlg()
    : TForm(kLayout.Form),
      DirList(*this, kLayout.DirList),
      DirEdit(*this, kLayout.DirEdit),
      DriveList(*this, kLayout.DriveList),
      DirLabel(*this, kLayout.DirLabel),
      OKButton(*this, kLayout.OKButton),
      CancelButton(*this, kLayout.CancelButton),
      HelpButton(*this, kLayout.HelpButton),
      NetButton(*this, kLayout.NetButton),
      FileList(*this, kLayout.FileList),
      DirEditLabel(*this, kLayout.DirEditLabel),
      DriveListLabel(*this, kLayout.DriveListLabel),
      DirListLabel(*this, kLayout.DirListLabel),
      FileListLabel(*this, kLayout.FileListLabel) {
  SetStackingOrder({&DirEditLabel, &DriveListLabel, &DirLabel, &DirListLabel, &FileListLabel});
  DirEditLabel.FocusControl = &DirEdit;
  DriveListLabel.FocusControl = &DriveList;
  DirListLabel.FocusControl = &DirList;
  FileListLabel.FocusControl = &FileList;
  OKButton.Default = true;
  OKButton.ModalResult = mrOk;
  CancelButton.Cancel = true;
  CancelButton.ModalResult = mrCancel;
  DirList.OnChange = [this] { DirListChange(); };
  DriveList.OnChange = [this] { DriveListChange(); };
  NetButton.OnClick = [this] { NetClick(); };
  OKButton.OnClick = [this] { OKClick(); };
  HelpButton.OnClick = [this] { HelpButtonClick(); };
}

// The window goes before the controls, so no message reaches a half-destroyed dialog.
TSelectDirDlg::~TSelectDirDlg() { DestroyHandle(); }

void TSelectDirDlg::FormCreate() {
  // A close box, which closes the dialog like Cancel.
  HWND hwnd = Handle();
  SetWindowLongPtrW(hwnd, GWL_STYLE, GetWindowLongPtrW(hwnd, GWL_STYLE) | WS_SYSMENU);
  SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

  // The network-connection dialog of old network drivers, announced through the
  // window system; current systems have no such entry, so the button stays hidden.
  if (HMODULE user = GetModuleHandleW(L"user32.dll")) {
    if (FARPROC caps = GetProcAddress(user, "WNETGETCAPS")) {
      using CapsProc = UINT_PTR(WINAPI*)(WORD);
      auto* driver = reinterpret_cast<HMODULE>(reinterpret_cast<CapsProc>(reinterpret_cast<void*>(caps))(0xFFFF));
      if (driver) {
        if (FARPROC connect = GetProcAddress(driver, "WNETCONNECTDIALOG")) {
          FNetDialog = reinterpret_cast<NetDialogProc>(reinterpret_cast<void*>(connect));
          NetButton.SetVisible(true);
        }
      }
    }
  }
  FAllowNew = false;
  // The path label and the edit box share one place; only one of them shows.
  DirLabel.SetBounds(DirEdit.Left(), DirEdit.Top(), DirEdit.Width(), DirEdit.Height());
  DirListChange();
}

void TSelectDirDlg::DirListChange() {
  DirLabel.SetCaption(DirList.Directory());
  FileList.SetDirectory(DirList.Directory());
  DirEdit.SetText(DirLabel.Caption());
  DirEdit.SelectAll();
}

void TSelectDirDlg::DriveListChange() {
  const char drive = DriveList.Drive();
  if (drive == 0 || drive == DirList.Drive()) return;
  try {
    DirList.SetDrive(drive);
  } catch (...) {
    // The drive cannot be entered (no medium): the list shows where it still is.
    if (DirList.Drive()) DriveList.SelectDrive(DirList.Drive());
    throw;
  }
}

void TSelectDirDlg::NetClick() {
  if (FNetDialog) FNetDialog(Handle(), 1 /* disk */);
}

void TSelectDirDlg::OKClick() {
  if (FAllowNew && FConfirmNew && !IsExistingDirectory(ChosenDirectory())) {
    const int answer =
        ShowBox(kConfirmCaption, kConfirmText, IDI_QUESTION, {{kYes, mrYes}, {kNo, mrNo}}, 0, mrNo);
    if (answer != mrYes) ModalResult = mrNone;
  }
}

// The program carries no help file; a help context is only kept.
void TSelectDirDlg::HelpButtonClick() {}

void TSelectDirDlg::SetAllowNew(bool allowNew) {
  if (allowNew == FAllowNew) return;
  FAllowNew = allowNew;
  DirLabel.SetVisible(!allowNew);
  DirEdit.SetVisible(allowNew);
}

std::string TSelectDirDlg::ChosenDirectory() const { return FAllowNew ? DirEdit.Text() : DirLabel.Caption(); }

void TSelectDirDlg::SetStartDirectory(const std::string& folder) {
  if (folder.empty()) return;
  const std::wstring pattern = Wide(chooser::StartPattern(folder));
  wchar_t buffer[MAX_PATH];
  const DWORD n = GetFullPathNameW(pattern.c_str(), MAX_PATH, buffer, nullptr);
  // A start folder whose absolute form does not fit the platform's path limit
  // is ignored, like an empty one.
  if (n == 0 || n >= MAX_PATH) return;
  const std::string full = Narrow(std::wstring(buffer, n));
  if (full.size() >= MAX_PATH) return;
  if (full.size() < 3 || full[1] != ':') return;
  DriveList.SetDrive(full[0]);
  try {
    DirList.SetDirectory(chooser::PatternFolder(full));
  } catch (const EInOutError&) {
    // Open where the process is on that drive instead.
    const std::string current = CurrentDirectory();
    if (HasDriveLetter(current)) DriveList.SetDrive(current[0]);
    DirList.SetDirectory(current);
  }
}

bool TSelectDirDlg::DialogKey(const MSG& msg) {
  if (msg.message == WM_KEYDOWN) {
    // An open drive list takes Enter and Escape itself.
    if ((msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE) && DriveList.DroppedDown()) return false;
    if (msg.wParam == VK_RETURN && DirList.Focused()) {
      DirList.OpenItem(DirList.ItemIndex());
      return true;
    }
  }
  return TForm::DialogKey(msg);
}

bool ChooseDirectory(std::string& folder, unsigned options, int helpContext) {
  auto dialog = std::make_unique<TSelectDirDlg>();
  dialog->CreateHandle(Application->Handle());
  dialog->DoCreate();
  dialog->SetStartDirectory(folder);
  dialog->SetAllowNew(options & cdAllowNew);
  dialog->SetConfirmNew(options & cdConfirmNew);
  if (helpContext == 0) {
    dialog->HelpButton.SetVisible(false);
    TButton& ok = dialog->OKButton;
    TButton& cancel = dialog->CancelButton;
    ok.SetBounds(cancel.Left(), ok.Top(), ok.Width(), ok.Height());
    cancel.SetBounds(dialog->HelpButton.Left(), cancel.Top(), cancel.Width(), cancel.Height());
  } else {
    dialog->HelpContext = helpContext;
  }
  if (dialog->ShowModal() != mrOk) return false;
  const std::string chosen = dialog->ChosenDirectory();
  // The caller's folder changes only once the choice stands: an empty name
  // that cannot be created leaves it as it was.
  if (options & cdCreateOnOk) MakeDirectoryPath(chosen);
  folder = chosen;
  return true;
}
