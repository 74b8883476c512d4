#include "setup/PatchSetup.h"

#include "app/Layouts.h"
#include "app/Texts.h"
#include "app/WaitDialog.h"
#include "archive/Compress.h"
#include "filesys/FileOps.h"
#include "filesys/PathRules.h"
#include "filesys/ScratchFile.h"
#include "forms/Dialogs.h"
#include "forms/Streams.h"
#include "forms/Wide.h"
#include "setup/PatchRun.h"
#include "support/Library.h"
#include "support/Shelllink.h"

using forms::ShowMessage;
using forms::Wide;

TInstallForm* InstallForm = nullptr;

std::string FolderOfProgram(const std::string& programPath) {
  const size_t i = pathrules::LastDelimiter(programPath, "\\:");
  return i == std::string::npos ? std::string() : programPath.substr(0, i + 1);
}

namespace {

// The running program's path; empty when it has no exact CP932 form (a
// look-alike would name another folder).
std::string RunningProgramPath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n < buffer.size()) {
      buffer.resize(n);
      std::string path;
      return forms::NarrowExactly(buffer, path) ? path : std::string();
    }
    buffer.resize(buffer.size() * 2);
  }
}

// The wait window while the scratch file is written and checked, the progress
// window while the files are staged.
class WindowProgress : public patchrun::Progress {
 public:
  void Preparing(bool on) override {
    if (on) {
      WaitForm->Show();
      WaitForm->Update();
    } else {
      WaitForm->Hide();
    }
  }
  void ExtractionStarted(uint64_t length) override { CompressForm->ExtractionStarted(length); }
  void FileStarted(const std::string& path) override { CompressForm->FileStarted(path); }
  void FileWritten(uint64_t offset) override { CompressForm->FileWritten(offset); }
  void ExtractionEnded() override { CompressForm->ExtractionEnded(); }
};

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
  // Without a folder of its own that CP932 names exactly there is no default:
  // the field stays empty and a start asks for a folder (M1).
  if (Edit1.Text().empty() && !FExeDir.empty()) Edit1.SetText(FExeDir + texts::kDefaultFolderName);
}

void TInstallForm::Button1Click() { Close(); }

void TInstallForm::FormClose(forms::TCloseAction& /*Action*/) {
  delete ShellLink;
  delete TextLibrary;
  // Only a leftover of ours is removed: never a link or someone else's file.
  if (FExeDir.empty()) return;
  try {
    const forms::ResourceBlock archive =
        forms::FindResourceBlock(texts::kArchiveResourceName, texts::kArchiveResourceType);
    filesys::RemoveLeftoverScratch(FExeDir + texts::kScratchFileName,
                                   {static_cast<const uint8_t*>(archive.Data), archive.Size});
  } catch (const Exception&) {
    // A program without its archive never wrote a scratch file.
  }
}

void TInstallForm::SetupButtonClick() {
  patchrun::Settings settings;
  settings.target = Edit1.Text();
  settings.exeDir = FExeDir;
  settings.owner = forms::Application->Handle();
  settings.ring = &CompressForm->Ring();
  WindowProgress progress;
  // The framework's errors leave the handler and show in the error box.
  const patchrun::Outcome outcome = patchrun::RunPatch(settings, progress, FVersion);
  for (const std::string& message : patchrun::Messages(outcome)) ShowMessage(message);
  if (patchrun::EndsProgram(outcome)) Close();
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
