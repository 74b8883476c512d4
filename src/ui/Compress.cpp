#include "ui/Compress.h"

#include "forms/Dialogs.h"
#include "platform/FileStreams.h"
#include "run/Texts.h"
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

void TCompressForm::ExtractionStarted(uint64_t archiveLength) {
  // The bar counts archive bytes; its range is 32-bit.
  AllBar.SetMax(static_cast<int>(archiveLength));
  AllBar.SetPosition(0);
  Show();
}

void TCompressForm::FileStarted(const std::string& finalPath) { Label1.SetCaption(finalPath); }

void TCompressForm::FileWritten(uint64_t offset) {
  AllBar.SetPosition(static_cast<int>(offset));
  Update();
}

void TCompressForm::ExtractionEnded() { Hide(); }

int TCompressForm::ExtractArchive(const std::string& archivePath, const std::string& target) {
  auto file = filesys::FileSource::Open(archivePath);
  if (!file) return 0;
  patchrun::ExtractResult result;
  {
    const forms::THideAtExit hide(*this);  // ExtractionStarted shows the window
    result = patchrun::ExtractArchiveFile(*file, target, FRing, *this);
  }
  if (result.folderFailed) forms::ShowMessage(texts::kFolderFailed);
  return result.count;
}
