// The progress window: names the file being written and shows the overall
// progress while a patch archive is unpacked into the game folder.
// The Compress unit: this window; the extraction it shows is run/PatchRun
// (check, staging, commit) over the engine (engine/Extractor, engine/Decoder),
// and the setup window brings it up to date with the run (ui/PatchSetup).
#pragma once

#include "engine/Ring.h"
#include "forms/Forms.h"

class TCompressForm : public forms::TForm {
 public:
  TCompressForm();

  forms::TProgressBar FileBar;
  forms::TProgressBar AllBar;
  forms::TLabel Label1;
  forms::TLabel Label2;

  // The decoder's dictionary, for a patch run.
  archive::Ring& Ring() { return FRing; }

  void FormCreate() {}

 protected:
  void DoCreate() override { FormCreate(); }
  // The user cannot close it (Alt+F4 included); the extraction hides it.
  void DoClose(forms::TCloseAction& action) override { action = forms::TCloseAction::None; }

 private:
  // The decoder's dictionary lives as long as the window; part of it carries
  // over from one record, and one extraction, to the next.
  archive::Ring FRing;
};

extern TCompressForm* CompressForm;
