// The directory chooser and its controls.
#pragma once

#include <string>

#include "forms/Forms.h"

// A list of the files of a folder. The setup window carries one that is never
// shown; the directory chooser shows the current folder's files in grey.
class TFileListBox : public forms::TWinControl {
 public:
  using TWinControl::TWinControl;

 protected:
  CreateParams Params() const override;
};

// Options of ChooseDirectory.
enum : unsigned {
  cdAllowNew = 1,    // the folder-name box is shown and its text is the result
  cdCreateOnOk = 2,  // the chosen folder is created before ChooseDirectory returns
  cdConfirmNew = 4,  // a folder that does not exist must be confirmed
};

// Opens the modal directory chooser at `folder`; on OK sets `folder` to the
// choice and returns true. Cancel returns false and leaves `folder` alone.
bool ChooseDirectory(std::string& folder, unsigned options, int helpContext);
