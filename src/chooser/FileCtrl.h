// The directory chooser and its controls: a drive list, a directory list, a
// file list and a path label, and the dialog that puts them together.
//
// The directory list works by changing the process's current directory: making
// a folder its folder enters it and reads the directory back from the system,
// so a folder that cannot be entered raises EInOutError and the list stays.
// The FileCtrl unit: this header, FileCtrl.cpp (the lists and the label),
// SelectDirDlg.cpp (the dialog) and ChooserRules (their portable rules).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "forms/Forms.h"

// A bitmap resource of the program drawn with its bottom-left colour
// transparent. A missing resource draws nothing.
class TGlyph {
 public:
  explicit TGlyph(const wchar_t* resourceName);
  bool Loaded() const { return image_ != nullptr; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void Draw(HDC dc, int x, int y) const;

 private:
  forms::GdiObject<HBITMAP> image_;  // transparent pixels made black
  forms::GdiObject<HBITMAP> mask_;   // monochrome: 1 where transparent
  int width_ = 0, height_ = 0;
};

// The process's current directory as the system reports it, of any length;
// empty when it cannot be read.
std::string CurrentDirectory();

// What the chooser's lists share: an owner-drawn list window whose rows show
// a glyph and a text in the control's font, the selected row in the system's
// selection colours, and a handler of a change.
class TChooserList : public forms::TWinControl {
 public:
  using TWinControl::TWinControl;
  std::function<void()> OnChange;
  // The rows' texts as shown, in list order.
  virtual std::vector<std::string> Items() const = 0;
  bool DrawItem(DRAWITEMSTRUCT* item) override;

 protected:
  // How one row looks: its glyph (nullptr for none) and where the glyph and
  // the text start.
  struct RowLook {
    std::string text;
    const TGlyph* glyph = nullptr;
    int glyphLeft = 0, textLeft = 0;
  };
  // False when `item` stands for no row of the list.
  virtual bool LookOf(const DRAWITEMSTRUCT& item, RowLook& look) const = 0;
  // The field of a list without rows: a list box draws only its focus frame.
  virtual void PaintEmpty(const DRAWITEMSTRUCT& item) const;
};

// A list of the plain files of a folder. The setup window carries one that is
// never shown; the directory chooser shows the current folder's files in its
// font's colour (grey there).
class TFileListBox : public TChooserList {
 public:
  using TChooserList::TChooserList;
  std::string Mask = "*.*";
  const std::string& Directory() const { return directory_; }
  // Lists the files of `folder` that match Mask; hidden and system files and
  // folders are left out.
  void SetDirectory(const std::string& folder);
  std::vector<std::string> Items() const override;

 protected:
  CreateParams Params() const override;
  void HandleCreated() override;
  bool LookOf(const DRAWITEMSTRUCT& item, RowLook& look) const override;

 private:
  std::string directory_;
};

// The folder levels of the current directory, then its sub-folders.
class TDirectoryListBox : public TChooserList {
 public:
  using TChooserList::TChooserList;

  const std::string& Directory() const { return directory_; }
  // Enters `folder` (EInOutError when it cannot) and shows it; runs OnChange.
  void SetDirectory(const std::string& folder);
  // The drive letter of the current folder in lower case; 0 for a network path.
  char Drive() const;
  // Moves to the current directory of drive `letter` unless already on it.
  void SetDrive(char letter);
  // The folder an entry stands for.
  std::string ItemFolder(int index) const;
  int Count() const { return static_cast<int>(entries_.size()); }
  int ItemIndex() const;
  // Makes the folder of entry `index` the list's folder.
  void OpenItem(int index);
  std::vector<std::string> Items() const override;
  void Command(WORD code) override;

 protected:
  CreateParams Params() const override;
  void HandleCreated() override;
  bool LookOf(const DRAWITEMSTRUCT& item, RowLook& look) const override;

 private:
  enum class Glyph { Open, Current, Closed };
  struct Entry {
    std::string text, folder;
    Glyph glyph;
    int indent;
  };
  void Reload();
  std::string directory_;
  std::vector<Entry> entries_;
  TGlyph open_{L"OPENFOLDER"}, current_{L"CURRENTFOLDER"}, closed_{L"CLOSEDFOLDER"};
};

// A drop-down list of the drives.
class TDriveComboBox : public TChooserList {
 public:
  using TChooserList::TChooserList;

  // The selected drive letter in lower case; 0 when none is selected.
  char Drive() const;
  // Selects the row of drive `letter` (any case) and runs OnChange.
  void SetDrive(char letter);
  // Selects the row without running OnChange (to put back a selection).
  void SelectDrive(char letter);
  bool DroppedDown() const;
  std::vector<std::string> Items() const override;
  void Command(WORD code) override;

 protected:
  CreateParams Params() const override;
  void HandleCreated() override;
  bool LookOf(const DRAWITEMSTRUCT& item, RowLook& look) const override;
  void PaintEmpty(const DRAWITEMSTRUCT& item) const override;

 private:
  struct Row {
    char letter;
    int kind;  // chooser::DriveKind
    std::string text;
  };
  void BuildRows();
  const TGlyph* GlyphOf(int kind) const;
  std::vector<Row> rows_;
  char changed_ = 0;  // the drive last reported through OnChange
  TGlyph floppy_{L"FLOPPY"}, hard_{L"HARD"}, network_{L"NETWORK"}, cdrom_{L"CDROM"}, ram_{L"RAM"};
};

// A one-line label showing a path shortened to its width ("C:\...\name").
// The caption keeps the whole path; '&' is shown as it is.
class TPathLabel : public forms::TGraphicControl {
 public:
  TPathLabel(forms::TForm& owner, const forms::ControlLayout& layout);
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  // The text as painted.
  std::string ShownText() const;
  void Paint(HDC dc) override;

 private:
  std::string caption_;
};

// The modal folder chooser.
class TSelectDirDlg : public forms::TForm {
 public:
  TSelectDirDlg();
  ~TSelectDirDlg() override;

  TDirectoryListBox DirList;
  forms::TEdit DirEdit;
  TDriveComboBox DriveList;
  TPathLabel DirLabel;
  forms::TButton OKButton;
  forms::TButton CancelButton;
  forms::TButton HelpButton;
  forms::TButton NetButton;
  TFileListBox FileList;
  forms::TLabel DirEditLabel, DriveListLabel, DirListLabel, FileListLabel;

  void DirListChange();
  void FormCreate();
  void DriveListChange();
  void NetClick();
  void OKClick();
  void HelpButtonClick();

  void SetStartDirectory(const std::string& folder);
  void SetAllowNew(bool allowNew);
  bool AllowNew() const { return FAllowNew; }
  void SetConfirmNew(bool confirmNew) { FConfirmNew = confirmNew; }
  std::string ChosenDirectory() const;
  int HelpContext = 0;

  bool DialogKey(const MSG& msg) override;
  void DoCreate() override { FormCreate(); }

 private:
  using NetDialogProc = unsigned long(__stdcall*)(HWND, unsigned long);
  bool FAllowNew = false;
  bool FConfirmNew = false;
  NetDialogProc FNetDialog = nullptr;
};

// Options of ChooseDirectory.
enum : unsigned {
  cdAllowNew = 1,    // the folder-name box is shown and its text is the result
  cdCreateOnOk = 2,  // the chosen folder is created before ChooseDirectory returns
  cdConfirmNew = 4,  // a folder that does not exist must be confirmed
};

// Opens the modal directory chooser at `folder`; on OK sets `folder` to the
// choice and returns true. Cancel returns false and leaves `folder` alone.
// With cdCreateOnOk an empty choice raises the folder creation's Exception.
bool ChooseDirectory(std::string& folder, unsigned options, int helpContext);
