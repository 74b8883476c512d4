// The wait window, shown while the carried archive is written to the scratch file.
#pragma once

#include "forms/Forms.h"

class TWaitForm : public forms::TForm {
 public:
  TWaitForm();
  forms::TLabel Label1;
  forms::TLabel Label2;

 protected:
  // The user cannot close it (Alt+F4 included); the patch run hides it.
  void DoClose(forms::TCloseAction& action) override { action = forms::TCloseAction::None; }
};

extern TWaitForm* WaitForm;
