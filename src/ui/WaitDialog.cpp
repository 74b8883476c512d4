#include "ui/WaitDialog.h"

#include "ui/Layouts.h"

TWaitForm* WaitForm = nullptr;

TWaitForm::TWaitForm()
    : TForm(layouts::WaitForm.Form),
      Label1(*this, layouts::WaitForm.Label1),
      Label2(*this, layouts::WaitForm.Label2) {
  SetStackingOrder({&Label1, &Label2});
}
