// The progress window: unpacks a patch archive into the game folder, naming
// the file being written and showing the overall progress.
#pragma once

#include <string>

#include "archive/engine/Ring.h"
#include "forms/Forms.h"

class TCompressForm : public forms::TForm {
 public:
  TCompressForm();

  forms::TProgressBar FileBar;
  forms::TProgressBar AllBar;
  forms::TLabel Label1;
  forms::TLabel Label2;

  // Extracts every record of the archive file into `target` and returns the
  // number of files written; 0 when the archive cannot be opened, when a folder
  // cannot be created, or when the archive is damaged, unsafe or cannot be
  // written out. The archive is closed and the window hidden on every return.
  int ExtractArchive(const std::string& archivePath, const std::string& target);

  void FormCreate() {}

 protected:
  void DoCreate() override { FormCreate(); }

 private:
  // The decoder's dictionary lives as long as the window; part of it carries
  // over from one record, and one extraction, to the next.
  archive::Ring FRing;
};

extern TCompressForm* CompressForm;
