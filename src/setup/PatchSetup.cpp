#include "setup/PatchSetup.h"

#include "app/Layouts.h"
#include "app/Texts.h"
#include "app/WaitDialog.h"
#include "archive/Compress.h"
#include "filesys/FileOps.h"
#include "filesys/PathRules.h"
#include "forms/Dialogs.h"
#include "forms/Streams.h"
#include "forms/Wide.h"
#include "support/Library.h"
#include "support/ShellApi.h"
#include "support/Shelllink.h"

using forms::ShowMessage;
using forms::Wide;

TInstallForm* InstallForm = nullptr;

std::string FolderOfProgram(const std::string& programPath) {
  const size_t i = pathrules::LastDelimiter(programPath, "\\:");
  return i == std::string::npos ? std::string() : programPath.substr(0, i + 1);
}

namespace {

std::string RunningProgramPath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n < buffer.size()) {
      buffer.resize(n);
      return forms::Narrow(buffer);
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

TInstallForm::TInstallForm()
    : TForm(layouts::InstallForm.Form),
      SetupButton(*this, layouts::InstallForm.SetupButton),
      Label1(*this, layouts::InstallForm.Label1),
      Button1(*this, layouts::InstallForm.Button1),
      Button2(*this, layouts::InstallForm.Button2),
      Edit1(*this, layouts::InstallForm.Edit1),
      FileListBox1(*this, layouts::InstallForm.FileListBox1),
      Label2(*this, layouts::InstallForm.Label2),
      Image1(*this, layouts::InstallForm.Image1) {
  SetStackingOrder({&Label2, &Image1, &Label1});
  SetupButton.OnClick = [this] { SetupButtonClick(); };
  Button1.OnClick = [this] { Button1Click(); };
  Button2.OnClick = [this] { Button2Click(); };
}

void TInstallForm::FormCreate() {
  TextLibrary = new TLibrary;
  ShellLink = new TShellLink;
  FExeDir = FolderOfProgram(RunningProgramPath());
  Edit1.SetText("");
  std::string caption = Label1.Caption();
  TextLibrary->ReplaceFirst(caption, texts::kTitlePlaceholder, texts::kGameTitle);
  Label1.SetCaption(caption);
  Image1.LoadPictureResource(layouts::kImage1Resource);
}

void TInstallForm::FormShow() {
  if (Edit1.Text().empty()) Edit1.SetText(FExeDir + texts::kDefaultFolderName);
}

void TInstallForm::Button1Click() { Close(); }

void TInstallForm::FormClose(forms::TCloseAction& /*Action*/) {
  delete ShellLink;
  delete TextLibrary;
  const std::string scratch = FExeDir + texts::kScratchFileName;
  if (IsExistingFile(scratch)) DeleteFileW(Wide(scratch).c_str());
}

void TInstallForm::SetupButtonClick() {
  const std::string target = Edit1.Text();
  if (!IsExistingDirectory(target)) {
    ShowMessage(texts::kM1NoFolder);
    return;
  }
  if (!IsExistingFile(target + texts::kGameProgram)) {
    ShowMessage(std::string(texts::kM2Before) + texts::kGameTitle + texts::kM2After);
    return;
  }
  const forms::ResourceBlock archive =
      forms::FindResourceBlock(texts::kArchiveResourceName, texts::kArchiveResourceType);

  // The wait window covers the one long write of the carried archive.
  const std::string scratch = FExeDir + texts::kScratchFileName;
  WaitForm->Show();
  WaitForm->Update();
  try {
    forms::WriteWholeFile(scratch, archive.Data, archive.Size);
  } catch (...) {
    WaitForm->Hide();
    throw;
  }
  WaitForm->Hide();

  const int written = CompressForm->ExtractArchive(scratch, target);
  if (written <= 0) {
    ShowMessage(texts::kM3Failed);
  } else {
    UpdateShortcut();
  }
  DeleteFileW(Wide(scratch).c_str());
  Close();
}

void TInstallForm::UpdateShortcut() {
  const std::string target = Edit1.Text();
  TextLibrary->ReadLines(target + "\\" + texts::kVersionFile, &FVersion, 1, "rt");

  std::string desktop(260, ' ');
  if (!ShellLink->GetSpecialFolderPath(forms::Application->Handle(), shellapi::kDesktopDirectory, desktop)) {
    ShowMessage(texts::kM7NoShortcut);
    return;
  }
  const std::string prefix = desktop + "\\" + texts::kGameTitle;
  const std::string newPath = prefix + FVersion + texts::kShortcutExtension;

  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(Wide(prefix + "*" + texts::kShortcutExtension).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    // No shortcut to rename: make the one the message promises, pointing at the game.
    if (ShellLink->CreateLink(newPath, target + texts::kGameProgram, target)) {
      ShowMessage(texts::kM6Created);
    } else {
      ShowMessage(texts::kM7NoShortcut);
    }
    return;
  }
  FindClose(search);
  const std::string oldPath = desktop + "\\" + forms::Narrow(found.cFileName);
  if (MoveFileW(Wide(oldPath).c_str(), Wide(newPath).c_str())) {
    ShowMessage(texts::kM4Done);
  } else {
    ShowMessage(texts::kM5Exists);
  }
}

void TInstallForm::Button2Click() {
  std::string folder = Edit1.Text();
  if (!IsExistingDirectory(folder)) folder = FExeDir + texts::kDefaultFolderName;
  if (!ChooseDirectory(folder, cdAllowNew | cdCreateOnOk | cdConfirmNew, 0)) return;
  const std::wstring chosen = Wide(folder), programFiles = Wide(texts::kProgramFiles);
  const bool isProgramFiles =
      CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, chosen.c_str(), static_cast<int>(chosen.size()),
                     programFiles.c_str(), static_cast<int>(programFiles.size())) == CSTR_EQUAL;
  Edit1.SetText(isProgramFiles ? folder + "\\" + texts::kDefaultFolderName : folder);
}
