#include "ui/PatchSetup.h"

#include "forms/Dialogs.h"
#include "platform/FileOps.h"
#include "platform/Library.h"
#include "platform/ScratchFile.h"
#include "platform/Shelllink.h"
#include "run/PatchRun.h"
#include "run/Texts.h"
#include "text/Wide.h"
#include "ui/Compress.h"
#include "ui/Layouts.h"
#include "ui/WaitDialog.h"

using platform::IsExistingDirectory;
using platform::NarrowExistingPath;
using platform::TLibrary;
using platform::TShellLink;
using forms::ShowMessage;
using text::Wide;

TInstallForm* InstallForm = nullptr;
std::unique_ptr<TLibrary> TextLibrary;
std::unique_ptr<TShellLink> ShellLink;

namespace {

// The running program's folder, ending in '\': in its short form when only
// that has an exact CP932 form; empty when neither has (a look-alike would
// name another folder).
std::string ProgramFolder() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n < buffer.size()) {
      buffer.resize(n);
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
  const size_t slash = buffer.rfind(L'\\');
  if (slash == std::wstring::npos) return std::string();
  buffer.resize(slash + 1);
  std::string folder;
  return NarrowExistingPath(buffer, folder) ? folder : std::string();
}

// Brings the wait and progress windows to what the patch run last reported:
// the wait window while the scratch file is written and checked, the progress
// window while the files are staged. The last file and the bar's final
// position are shown before the progress window hides.
class RunDisplay {
 public:
  RunDisplay(TWaitForm& wait, TCompressForm& progress) : wait_(wait), progress_(progress) {}
  RunDisplay(const RunDisplay&) = delete;
  RunDisplay& operator=(const RunDisplay&) = delete;
  // Both windows are hidden by the run's last view; this covers a run left
  // early by an exception.
  ~RunDisplay() {
    wait_.Hide();
    progress_.Hide();
  }

  void Show(const patchrun::Worker::View& view) {
    using Phase = patchrun::Worker::Phase;
    // Each window is shown for what it stands for, however briefly that lasted.
    if (view.preparations != preparations_) {
      preparations_ = view.preparations;
      wait_.Show();
      wait_.Update();
    }
    if (view.phase != Phase::kPreparing && wait_.Visible()) wait_.Hide();
    if (view.extractions != extractions_) {
      extractions_ = view.extractions;
      progress_.AllBar.SetMax(static_cast<int>(view.archiveLength));  // the bar's range is 32-bit
      progress_.AllBar.SetPosition(0);
      progress_.Show();
    }
    if (!progress_.Visible()) return;
    if (view.path != progress_.Label1.Caption()) progress_.Label1.SetCaption(view.path);
    if (static_cast<int>(view.position) != progress_.AllBar.Position()) {
      progress_.AllBar.SetPosition(static_cast<int>(view.position));
    }
    if (view.phase != Phase::kExtracting) {
      progress_.Update();
      progress_.Hide();
    }
  }

 private:
  TWaitForm& wait_;
  TCompressForm& progress_;
  unsigned preparations_ = 0;
  unsigned extractions_ = 0;
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
  TextLibrary = std::make_unique<TLibrary>();
  ShellLink = std::make_unique<TShellLink>();
  FExeDir = ProgramFolder();
  Edit1.SetText("");
  std::string caption = Label1.Caption();
  TextLibrary->ReplaceFirst(caption, texts::kTitlePlaceholder, texts::kGameTitle);
  Label1.SetCaption(caption);
  Image1.LoadPictureResource(layouts::kImage1Resource);
  // A run cut off in the default game folder (the process ended, the power
  // failed) is finished before the window shows, and the player told once.
  if (!FExeDir.empty()) {
    patchrun::Settings settings = RunSettings();
    settings.target = FExeDir + texts::kDefaultFolderName;
    patchrun::Report report;
    patchrun::FinishCutOffRuns(settings, report);
    if (const std::string done = patchrun::RecoveryMessage(report.recovery); !done.empty()) ShowMessage(done);
  }
}

patchrun::Settings TInstallForm::RunSettings() const {
  patchrun::Settings settings;
  settings.target = Edit1.Text();
  settings.exeDir = FExeDir;
  settings.owner = forms::Application->Handle();
  settings.shell = ShellLink.get();
  settings.library = TextLibrary.get();
  return settings;
}

void TInstallForm::FormShow() {
  // Without a folder of its own that CP932 names exactly there is no default:
  // the field stays empty and a start asks for a folder (M1).
  if (Edit1.Text().empty() && !FExeDir.empty()) Edit1.SetText(FExeDir + texts::kDefaultFolderName);
}

void TInstallForm::Button1Click() { Close(); }

void TInstallForm::FormClose(forms::TCloseAction& Action) {
  if (FRunning) {
    // Closing waits until the run has ended or rolled back.
    Action = forms::TCloseAction::None;
    return;
  }
  ShellLink.reset();
  TextLibrary.reset();
  // A plain file left by an interrupted run goes; a reparse point, a folder
  // or a file with a second name stays.
  if (!FExeDir.empty()) platform::RemoveLeftoverScratch(FExeDir + texts::kScratchFileName);
}

void TInstallForm::SetupButtonClick() {
  patchrun::Settings settings = RunSettings();
  settings.ring = &CompressForm->Ring();
  patchrun::Outcome outcome;
  patchrun::Report report;
  {
    // The run works on a thread of its own while this one keeps the windows
    // answering; the setup window takes no input and cannot close meanwhile.
    struct RunningScope {
      TInstallForm& form;
      explicit RunningScope(TInstallForm& f) : form(f) {
        form.FRunning = true;
        EnableWindow(form.Handle(), FALSE);
      }
      // After the worker: the window answers again once the run has ended.
      ~RunningScope() {
        EnableWindow(form.Handle(), TRUE);
        form.FRunning = false;
      }
      RunningScope(const RunningScope&) = delete;
      RunningScope& operator=(const RunningScope&) = delete;
    } running(*this);
    patchrun::Worker worker(settings);
    RunDisplay display(*WaitForm, *CompressForm);
    const HANDLE done = worker.Done();
    DWORD lastShown = GetTickCount() - kProgressInterval;
    for (;;) {
      const bool finished = WaitForSingleObject(done, 0) == WAIT_OBJECT_0;
      const DWORD now = GetTickCount();
      if (finished || now - lastShown >= kProgressInterval) {
        display.Show(worker.Snapshot());
        lastShown = now;
      }
      if (finished) break;
      MsgWaitForMultipleObjectsEx(1, &done, kProgressInterval, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
      while (forms::Application->ProcessMessage()) {
      }
    }
    // The framework's errors leave the handler here and show in the error box.
    outcome = worker.Result(report);
    FVersion = report.version;
  }
  forms::Application->SetExitCode(patchrun::ExitCodeOf(outcome));
  for (const std::string& message : patchrun::Messages(outcome, report)) ShowMessage(message);
  if (patchrun::EndsProgram(outcome)) Close();
}

LRESULT TInstallForm::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
  // A patch run is not cut off by the end of the session.
  if (message == WM_QUERYENDSESSION && FRunning) return FALSE;
  return TForm::WndProc(message, wParam, lParam);
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
