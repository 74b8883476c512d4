#include "archive/Compress.h"

#include "app/Layouts.h"
#include "archive/engine/Extractor.h"
#include "filesys/FileOps.h"
#include "filesys/WinFiles.h"
#include "forms/Dialogs.h"

TCompressForm* CompressForm = nullptr;

namespace {

// Connects the portable extraction to the file system and to the window.
class WindowHost : public archive::ExtractHost {
 public:
  explicit WindowHost(TCompressForm& form) : form_(form) {}

  bool MakeFolder(const std::string& folderPart) override {
    MakeDirectoryPath(folderPart);
    return IsExistingDirectory(folderPart);
  }
  std::unique_ptr<archive::OutputSink> OpenOutput(const std::string& path) override {
    return filesys::FileSink::Create(path);
  }
  void ShowFile(const std::string& outputPath) override { form_.Label1.SetCaption(outputPath); }
  void FileWritten(uint64_t nextRecordOffset) override {
    form_.AllBar.SetPosition(static_cast<int>(nextRecordOffset));
    form_.Update();
  }
  void FolderFailed() override { forms::ShowMessage("ディレクトリを作成できませんでした"); }

 private:
  TCompressForm& form_;
};

}  // namespace

TCompressForm::TCompressForm()
    : TForm(layouts::CompressForm.Form),
      FileBar(*this, layouts::CompressForm.FileBar),
      AllBar(*this, layouts::CompressForm.AllBar),
      Label1(*this, layouts::CompressForm.Label1),
      Label2(*this, layouts::CompressForm.Label2) {
  SetStackingOrder({&Label1, &Label2});
}

int TCompressForm::ExtractArchive(const std::string& archivePath, const std::string& target) {
  auto file = filesys::FileSource::Open(archivePath);
  if (!file) return 0;
  // The bar counts archive bytes; its range is 32-bit.
  AllBar.SetMax(static_cast<int>(file->Length()));
  AllBar.SetPosition(0);
  Show();
  int count = 0;
  try {
    archive::ByteReader reader(*file);
    WindowHost host(*this);
    count = archive::ExtractArchive(reader, target, FRing, host);
  } catch (...) {
    file.reset();
    Hide();
    throw;
  }
  file.reset();  // closed before the caller deletes it
  Hide();
  return count;
}
