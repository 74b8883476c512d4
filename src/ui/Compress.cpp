#include "ui/Compress.h"

#include "ui/Layouts.h"

TCompressForm* CompressForm = nullptr;

TCompressForm::TCompressForm()
    : TForm(layouts::CompressForm.Form),
      FileBar(*this, layouts::CompressForm.FileBar),
      AllBar(*this, layouts::CompressForm.AllBar),
      Label1(*this, layouts::CompressForm.Label1),
      Label2(*this, layouts::CompressForm.Label2) {
  SetStackingOrder({&Label1, &Label2});
}
