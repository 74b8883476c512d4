#include "filesys/FileCtrl.h"

forms::TWinControl::CreateParams TFileListBox::Params() const {
  return {L"LISTBOX", static_cast<DWORD>(LBS_NOTIFY | LBS_SORT | WS_VSCROLL | LBS_NOINTEGRALHEIGHT), WS_EX_CLIENTEDGE};
}

// Placeholder until the chooser dialog lands: behaves as a cancelled chooser.
bool ChooseDirectory(std::string& /*folder*/, unsigned /*options*/, int /*helpContext*/) { return false; }
