// The setup window: the game folder, Browse, the patch run and Cancel.
// The PatchSetup unit: this window; the patch run it starts is run/PatchRun.
#pragma once

#include <memory>
#include <string>

#include "chooser/FileCtrl.h"
#include "forms/Forms.h"
#include "platform/Library.h"
#include "platform/Shelllink.h"
#include "run/PatchRun.h"

class TInstallForm : public forms::TForm {
 public:
  TInstallForm();

  forms::TButton SetupButton;
  forms::TLabel Label1;
  forms::TButton Button1;
  forms::TButton Button2;
  forms::TEdit Edit1;
  TFileListBox FileListBox1;
  forms::TLabel Label2;
  forms::TImage Image1;

  void FormCreate();
  void SetupButtonClick();
  void Button1Click();
  void Button2Click();
  void FormClose(forms::TCloseAction& Action);
  void FormShow();

  const std::string& ExeDir() const { return FExeDir; }

 protected:
  void DoCreate() override { FormCreate(); }
  void DoShow() override { FormShow(); }
  void DoClose(forms::TCloseAction& action) override { FormClose(action); }
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  // The windows show the run's progress at most this often (milliseconds).
  static constexpr DWORD kProgressInterval = 33;
  // What a patch run, or the finishing of a cut-off one, is handed: the
  // folder field's folder, this program's folder and the window's services
  // (the decoder's ring is the progress window's, which exists only later).
  patchrun::Settings RunSettings() const;
  std::string FVersion;  // the new version line, once a run has read it
  std::string FExeDir;
  bool FRunning = false;  // a patch run is at work
};

extern TInstallForm* InstallForm;

// The setup window's services: made when it is created, gone when it closes.
// The patch run is handed them.
extern std::unique_ptr<platform::TLibrary> TextLibrary;
extern std::unique_ptr<platform::TShellLink> ShellLink;
