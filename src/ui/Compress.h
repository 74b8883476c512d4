// The progress window: names the file being written and shows the overall
// progress while a patch archive is unpacked into the game folder.
// The Compress unit: this window; the extraction it shows is run/PatchRun
// (check, staging, commit) over the engine (engine/Extractor, engine/Decoder).
#pragma once

#include <string>

#include "engine/Ring.h"
#include "forms/Forms.h"
#include "run/PatchRun.h"

class TCompressForm : public forms::TForm, public patchrun::Progress {
 public:
  TCompressForm();

  forms::TProgressBar FileBar;
  forms::TProgressBar AllBar;
  forms::TLabel Label1;
  forms::TLabel Label2;

  // Extracts every record of the archive file into `target` and returns the
  // number of files written. The whole archive is checked first and the files
  // are staged, so 0 (the archive cannot be opened, is damaged or unsafe, a
  // folder or a file cannot be made or written) means the target folder is
  // as it was. The archive is closed and the window hidden on every return.
  int ExtractArchive(const std::string& archivePath, const std::string& target);

  // The decoder's dictionary, for a patch run.
  archive::Ring& Ring() { return FRing; }

  void FormCreate() {}

  // Progress of a patch run.
  void ExtractionStarted(uint64_t archiveLength) override;
  void FileStarted(const std::string& finalPath) override;
  void FileWritten(uint64_t offset) override;
  void ExtractionEnded() override;

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
