#include "chooser/FileCtrl.h"

#include <algorithm>

#include "chooser/ChooserRules.h"
#include "forms/Gdi.h"
#include "platform/FileOps.h"
#include "platform/Handles.h"
#include "text/PathRules.h"
#include "text/Wide.h"

using platform::EInOutError;
using platform::NarrowExistingPath;
using text::Narrow;
using text::Wide;

namespace {

// A path the system gave, as the chooser shows and uses it: its exact or its
// short CP932 form; for display only, '?' where it has neither.
std::string ShownPath(std::wstring_view path) {
  std::string cp932;
  return NarrowExistingPath(path, cp932) ? cp932 : Narrow(path);
}

}  // namespace

std::string CurrentDirectory() {
  std::wstring buffer(MAX_PATH, L'\0');
  DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (n >= buffer.size()) {
    buffer.resize(n);
    n = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
  }
  buffer.resize(n < buffer.size() ? n : 0);
  return ShownPath(buffer);
}

namespace {

// The current directory of drive `letter`: where the process was last on that
// drive, or its root.
std::string DriveCurrentDirectory(char letter) {
  const wchar_t drive[] = {static_cast<wchar_t>(letter), L':', 0};
  wchar_t buffer[MAX_PATH];
  const DWORD n = GetFullPathNameW(drive, MAX_PATH, buffer, nullptr);
  if (n == 0 || n >= MAX_PATH) return std::string(1, letter) + ":\\";
  return ShownPath(std::wstring_view(buffer, n));
}

[[noreturn]] void RaiseInOutError(DWORD code) {
  throw EInOutError("I/O エラー " + std::to_string(code), code);
}

std::string Root(const std::string& folder) {
  const auto entries = chooser::PathEntries(folder);
  return entries.empty() ? folder : entries[0];
}

// Whether names on the volume of `folder` are shown as stored.
bool PreservesCase(const std::string& folder) {
  DWORD flags = 0;
  const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  const BOOL ok =
      GetVolumeInformationW(Wide(Root(folder)).c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0);
  SetErrorMode(oldMode);
  return ok && (flags & (FS_CASE_IS_PRESERVED | FS_CASE_SENSITIVE));
}

std::string LowerCase(const std::string& s) {
  std::wstring w = Wide(s);
  CharLowerBuffW(w.data(), static_cast<DWORD>(w.size()));
  return Narrow(w);
}

std::string VolumeLabel(const std::wstring& root) {
  wchar_t label[MAX_PATH + 1] = {};
  const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  const BOOL ok = GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0);
  SetErrorMode(oldMode);
  return ok ? Narrow(label) : std::string();
}

// The network name a drive is connected to. The network library is not one
// the system always has loaded, so it is loaded from the system folder only,
// and only when a network drive is listed.
std::optional<std::string> NetworkName(char letter) {
  using Proc = DWORD(WINAPI*)(LPCWSTR, LPWSTR, LPDWORD);
  static Proc proc = [] {
    HMODULE mpr = LoadLibraryExW(L"mpr.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return mpr ? reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(mpr, "WNetGetConnectionW")))
               : nullptr;
  }();
  if (!proc) return std::nullopt;
  const wchar_t drive[] = {static_cast<wchar_t>(letter), L':', 0};
  wchar_t name[MAX_PATH];
  DWORD size = MAX_PATH;
  if (proc(drive, name, &size) != NO_ERROR) return std::nullopt;
  return Narrow(name);
}

void DrawRowText(HDC dc, const std::string& text, RECT r, UINT extra = 0) {
  const std::wstring w = Wide(text);
  DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &r, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | extra);
}

// The width a row gives its glyph: the glyph's own, 16 without one.
int GlyphWidth(const TGlyph* glyph) { return glyph && glyph->Loaded() ? glyph->Width() : 16; }

std::string ListText(HWND list, int index, UINT lenMessage, UINT textMessage) {
  const LRESULT n = SendMessageW(list, lenMessage, static_cast<WPARAM>(index), 0);
  if (n < 0) return std::string();
  std::wstring buffer(static_cast<size_t>(n) + 1, L'\0');
  SendMessageW(list, textMessage, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
  buffer.resize(static_cast<size_t>(n));
  return Narrow(buffer);
}

}  // namespace

// ---- TGlyph ----

TGlyph::TGlyph(const wchar_t* resourceName) {
  auto* image = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), resourceName, IMAGE_BITMAP, 0, 0, 0));
  if (!image) return;
  BITMAP info{};
  GetObjectW(image, sizeof info, &info);
  width_ = info.bmWidth;
  height_ = info.bmHeight;
  image_.reset(image);
  mask_.reset(CreateBitmap(width_, height_, 1, 1, nullptr));
  const forms::TMemoryDC imageDc, maskDc;
  const forms::TSelectObject selectedImage(imageDc, image);
  const forms::TSelectObject selectedMask(maskDc, mask_.get());
  // Colour to monochrome: pixels of the background colour become 1.
  SetBkColor(imageDc, GetPixel(imageDc, 0, height_ - 1));
  BitBlt(maskDc, 0, 0, width_, height_, imageDc, 0, 0, SRCCOPY);
  // Blacken the transparent pixels, so the image can be ORed onto the mask's hole.
  SetBkColor(imageDc, RGB(255, 255, 255));
  SetTextColor(imageDc, RGB(0, 0, 0));
  BitBlt(imageDc, 0, 0, width_, height_, maskDc, 0, 0, 0x00220326 /* DSna */);
}

void TGlyph::Draw(HDC dc, int x, int y) const {
  if (!image_) return;
  const forms::TMemoryDC memDc(dc);
  const COLORREF oldBk = SetBkColor(dc, RGB(255, 255, 255));
  const COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
  forms::TSelectObject selected(memDc, mask_.get());
  BitBlt(dc, x, y, width_, height_, memDc, 0, 0, SRCAND);
  selected.Select(image_.get());
  BitBlt(dc, x, y, width_, height_, memDc, 0, 0, SRCPAINT);
  SetBkColor(dc, oldBk);
  SetTextColor(dc, oldText);
}

// ---- TChooserList ----

bool TChooserList::DrawItem(DRAWITEMSTRUCT* item) {
  RowLook look;
  if (item->itemID == static_cast<UINT>(-1) || !LookOf(*item, look)) {
    PaintEmpty(*item);
    return true;
  }
  HDC dc = item->hDC;
  const RECT& row = item->rcItem;
  const bool selected = item->itemState & ODS_SELECTED;
  FillRect(dc, &row, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : forms::ColorToRGB(Font.Definition().Color));
  if (look.glyph) look.glyph->Draw(dc, look.glyphLeft, row.top + (row.bottom - row.top - look.glyph->Height()) / 2);
  {
    const forms::TSelectObject font(dc, Font.Handle());
    RECT r = row;
    r.left = look.textLeft;
    DrawRowText(dc, look.text, r);
  }
  if (item->itemState & ODS_FOCUS) DrawFocusRect(dc, &row);
  return true;
}

void TChooserList::PaintEmpty(const DRAWITEMSTRUCT& item) const {
  if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
}

// ---- TFileListBox ----

forms::TWinControl::CreateParams TFileListBox::Params() const {
  return {L"LISTBOX",
          static_cast<DWORD>(LBS_NOTIFY | LBS_SORT | WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_OWNERDRAWFIXED |
                             LBS_HASSTRINGS),
          WS_EX_CLIENTEDGE};
}

void TFileListBox::HandleCreated() {
  if (layout_.ItemHeight > 0)
    SendMessageW(handle_, LB_SETITEMHEIGHT, 0, MAKELPARAM(owner_.Scale(layout_.ItemHeight), 0));
}

void TFileListBox::SetDirectory(const std::string& folder) {
  directory_ = folder;
  if (!handle_) return;
  SendMessageW(handle_, WM_SETREDRAW, FALSE, 0);
  SendMessageW(handle_, LB_RESETCONTENT, 0, 0);
  std::string pattern = folder;
  if (!pathrules::EndsWithDelimiter(pattern)) pattern += '\\';
  pattern += Mask;
  WIN32_FIND_DATAW found;
  const platform::FindHandle search(FindFirstFileW(Wide(pattern).c_str(), &found));
  HCURSOR saved = nullptr;
  bool waiting = false;
  if (search) {
    constexpr DWORD skip = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    do {
      if (found.dwFileAttributes & skip) continue;
      const LRESULT at = SendMessageW(handle_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(found.cFileName));
      // A long listing shows the hourglass until it is complete.
      if (at == 100 && !waiting) {
        waiting = true;
        saved = SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
      }
    } while (FindNextFileW(search.get(), &found));
  }
  if (waiting) SetCursor(saved);
  SendMessageW(handle_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(handle_, nullptr, TRUE);
}

std::vector<std::string> TFileListBox::Items() const {
  std::vector<std::string> items;
  const int n = handle_ ? static_cast<int>(SendMessageW(handle_, LB_GETCOUNT, 0, 0)) : 0;
  for (int i = 0; i < n; ++i) items.push_back(ListText(handle_, i, LB_GETTEXTLEN, LB_GETTEXT));
  return items;
}

bool TFileListBox::LookOf(const DRAWITEMSTRUCT& item, RowLook& look) const {
  look.text = ListText(handle_, static_cast<int>(item.itemID), LB_GETTEXTLEN, LB_GETTEXT);
  look.textLeft = item.rcItem.left + 2;
  return true;
}

// ---- TDirectoryListBox ----

forms::TWinControl::CreateParams TDirectoryListBox::Params() const {
  return {L"LISTBOX",
          static_cast<DWORD>(LBS_NOTIFY | WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS),
          WS_EX_CLIENTEDGE};
}

void TDirectoryListBox::HandleCreated() {
  const int itemHeight = owner_.Scale(layout_.ItemHeight > 0 ? layout_.ItemHeight : 16);
  SendMessageW(handle_, LB_SETITEMHEIGHT, 0, MAKELPARAM(itemHeight, 0));
  // A whole number of items: the height shrinks to the last full row.
  RECT client;
  GetClientRect(handle_, &client);
  const int border = height_ - (client.bottom - client.top);
  const int rows = std::max(1, (height_ - border) / itemHeight);
  SetBounds(left_, top_, width_, rows * itemHeight + border);
  directory_ = CurrentDirectory();
  Reload();
}

char TDirectoryListBox::Drive() const {
  if (directory_.size() < 2 || directory_[1] != ':') return 0;
  return chooser::LowerDriveLetter(directory_[0]);
}

void TDirectoryListBox::SetDirectory(const std::string& folder) {
  if (!SetCurrentDirectoryW(Wide(folder).c_str())) RaiseInOutError(GetLastError());
  directory_ = CurrentDirectory();
  Reload();
  if (OnChange) OnChange();
}

void TDirectoryListBox::SetDrive(char letter) {
  if (chooser::LowerDriveLetter(letter) == Drive()) return;
  const std::string folder = DriveCurrentDirectory(letter);
  const std::string root = std::string(1, letter) + ":\\";
  if (folder == root) return SetDirectory(root);
  // A drive's remembered folder may have gone since: its root is the way in then.
  try {
    SetDirectory(folder);
  } catch (const EInOutError&) {
    SetDirectory(root);
  }
}

std::string TDirectoryListBox::ItemFolder(int index) const {
  return index >= 0 && index < Count() ? entries_[static_cast<size_t>(index)].folder : std::string();
}

int TDirectoryListBox::ItemIndex() const {
  return handle_ ? static_cast<int>(SendMessageW(handle_, LB_GETCURSEL, 0, 0)) : -1;
}

void TDirectoryListBox::OpenItem(int index) {
  if (index < 0 || index >= Count()) return;
  SetDirectory(ItemFolder(index));
}

std::vector<std::string> TDirectoryListBox::Items() const {
  std::vector<std::string> items;
  for (const Entry& e : entries_) items.push_back(e.text);
  return items;
}

void TDirectoryListBox::Reload() {
  entries_.clear();
  const bool keepCase = PreservesCase(directory_);
  auto shown = [&](const std::string& name) { return keepCase ? name : LowerCase(name); };

  const std::vector<std::string> levels = chooser::PathEntries(directory_);
  for (size_t i = 0; i < levels.size(); ++i) {
    entries_.push_back({shown(levels[i]), chooser::PathEntryFolder(levels, i),
                        i + 1 == levels.size() ? Glyph::Current : Glyph::Open,
                        chooser::PathEntryIndent(static_cast<int>(i))});
  }
  const size_t current = entries_.empty() ? 0 : entries_.size() - 1;

  std::vector<std::wstring> names;
  std::string pattern = directory_;
  if (!pathrules::EndsWithDelimiter(pattern)) pattern += '\\';
  WIN32_FIND_DATAW found;
  const platform::FindHandle search(FindFirstFileW(Wide(pattern + "*.*").c_str(), &found));
  if (search) {
    do {
      const DWORD a = found.dwFileAttributes;
      if (!(a & FILE_ATTRIBUTE_DIRECTORY) || (a & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) continue;
      if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0) continue;
      // A folder is listed by a name CP932 holds exactly, its short one if
      // need be, so that what is chosen is the folder shown; without either
      // it cannot be chosen and is left out.
      std::string exact;
      if (text::NarrowExactly(found.cFileName, exact)) {
        names.emplace_back(found.cFileName);
      } else if (found.cAlternateFileName[0] && text::NarrowExactly(found.cAlternateFileName, exact)) {
        names.emplace_back(found.cAlternateFileName);
      }
    } while (FindNextFileW(search.get(), &found));
  }
  std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()), b.c_str(),
                          static_cast<int>(b.size())) == CSTR_LESS_THAN;
  });
  const int indent = chooser::SubFolderIndent(directory_);
  for (const std::wstring& w : names) {
    const std::string name = Narrow(w);
    entries_.push_back({shown(name), pattern + name, Glyph::Closed, indent});
  }

  if (!handle_) return;
  SendMessageW(handle_, WM_SETREDRAW, FALSE, 0);
  SendMessageW(handle_, LB_RESETCONTENT, 0, 0);
  for (const Entry& e : entries_)
    SendMessageW(handle_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(e.text).c_str()));
  SendMessageW(handle_, LB_SETCURSEL, current, 0);
  SendMessageW(handle_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(handle_, nullptr, TRUE);
}

bool TDirectoryListBox::LookOf(const DRAWITEMSTRUCT& item, RowLook& look) const {
  if (item.itemID >= entries_.size()) return false;
  const Entry& e = entries_[item.itemID];
  look.text = e.text;
  look.glyph = e.glyph == Glyph::Open ? &open_ : e.glyph == Glyph::Current ? &current_ : &closed_;
  look.glyphLeft = item.rcItem.left + owner_.Scale(e.indent);
  look.textLeft = look.glyphLeft + GlyphWidth(look.glyph) + owner_.Scale(4);
  return true;
}

void TDirectoryListBox::Command(WORD code) {
  if (code == LBN_DBLCLK) OpenItem(ItemIndex());
}

// ---- TDriveComboBox ----

forms::TWinControl::CreateParams TDriveComboBox::Params() const {
  return {L"COMBOBOX", static_cast<DWORD>(CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS | WS_VSCROLL), 0};
}

void TDriveComboBox::BuildRows() {
  rows_.clear();
  const DWORD mask = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(mask & (1u << i))) continue;
    const char letter = static_cast<char>('a' + i);
    const std::wstring root = {static_cast<wchar_t>(L'A' + i), L':', L'\\'};
    const auto kind = static_cast<chooser::DriveKind>(GetDriveTypeW(root.c_str()));
    std::string label;
    std::optional<std::string> network;
    if (kind == chooser::DriveKind::Remote) network = NetworkName(static_cast<char>('A' + i));
    if (kind != chooser::DriveKind::Removable && !network) label = VolumeLabel(root);
    if (auto text = chooser::DriveRowText(letter, kind, label, network))
      rows_.push_back({letter, static_cast<int>(kind), *text});
  }
}

void TDriveComboBox::HandleCreated() {
  BuildRows();
  for (const Row& row : rows_)
    SendMessageW(handle_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(row.text).c_str()));
  // Rows, and the closed box's field, are as high as a glyph.
  const int itemHeight = std::max(owner_.Scale(16), -Font.PixelHeight() + 4);
  SendMessageW(handle_, CB_SETITEMHEIGHT, 0, itemHeight);
  SendMessageW(handle_, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), itemHeight);
  // The window's height includes the dropped-down list.
  const int visibleRows = std::min<int>(8, std::max<int>(1, static_cast<int>(rows_.size())));
  MoveWindow(handle_, left_, top_, width_, height_ + visibleRows * itemHeight + 2, FALSE);
  const std::string current = CurrentDirectory();
  if (current.size() >= 2 && current[1] == ':') SelectDrive(current[0]);
  changed_ = Drive();
}

char TDriveComboBox::Drive() const {
  const int index = handle_ ? static_cast<int>(SendMessageW(handle_, CB_GETCURSEL, 0, 0)) : -1;
  return index >= 0 && index < static_cast<int>(rows_.size()) ? rows_[static_cast<size_t>(index)].letter : 0;
}

void TDriveComboBox::SelectDrive(char letter) {
  const char lower = chooser::LowerDriveLetter(letter);
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].letter == lower) {
      SendMessageW(handle_, CB_SETCURSEL, i, 0);
      changed_ = lower;
      return;
    }
  }
}

void TDriveComboBox::SetDrive(char letter) {
  SelectDrive(letter);
  if (OnChange) OnChange();
}

bool TDriveComboBox::DroppedDown() const {
  return handle_ && SendMessageW(handle_, CB_GETDROPPEDSTATE, 0, 0);
}

std::vector<std::string> TDriveComboBox::Items() const {
  std::vector<std::string> items;
  for (const Row& row : rows_) items.push_back(row.text);
  return items;
}

void TDriveComboBox::Command(WORD code) {
  // While the list is down, arrowing through it changes nothing yet: a drive
  // is entered when the list closes on it.
  if ((code == CBN_SELCHANGE && !DroppedDown()) || code == CBN_CLOSEUP) {
    if (Drive() != 0 && Drive() != changed_) {
      changed_ = Drive();
      if (OnChange) OnChange();
    }
  }
}

const TGlyph* TDriveComboBox::GlyphOf(int kind) const {
  switch (static_cast<chooser::DriveKind>(kind)) {
    case chooser::DriveKind::Removable: return &floppy_;
    case chooser::DriveKind::Fixed: return &hard_;
    case chooser::DriveKind::Remote: return &network_;
    case chooser::DriveKind::CdRom: return &cdrom_;
    case chooser::DriveKind::RamDisk: return &ram_;
    default: return nullptr;
  }
}

bool TDriveComboBox::LookOf(const DRAWITEMSTRUCT& item, RowLook& look) const {
  if (item.itemID >= rows_.size()) return false;
  const Row& row = rows_[item.itemID];
  look.text = row.text;
  look.glyph = GlyphOf(row.kind);
  look.glyphLeft = item.rcItem.left + 2;
  look.textLeft = item.rcItem.left + GlyphWidth(look.glyph) + 6;
  return true;
}

// The closed box's field without a drive: the window colour.
void TDriveComboBox::PaintEmpty(const DRAWITEMSTRUCT& item) const {
  FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_WINDOW));
}

// ---- TPathLabel ----

TPathLabel::TPathLabel(forms::TForm& owner, const forms::ControlLayout& layout)
    : TGraphicControl(owner, layout), caption_(layout.Text ? layout.Text : "") {}

void TPathLabel::SetCaption(const std::string& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  Invalidate();
}

std::string TPathLabel::ShownText() const {
  const forms::TClientDC dc;
  const forms::TSelectObject font(dc, Font.Handle());
  return chooser::MinimizeName(caption_, width_, [&dc](std::string_view s) {
    const std::wstring w = Wide(s);
    SIZE size{};
    GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &size);
    return static_cast<int>(size.cx);
  });
}

void TPathLabel::Paint(HDC dc) {
  RECT r = BoundsRect();
  FillRect(dc, &r, forms::GdiObject<HBRUSH>(CreateSolidBrush(forms::ColorToRGB(owner_.Color()))).get());
  const forms::TSelectObject font(dc, Font.Handle());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, forms::ColorToRGB(Font.Definition().Color));
  const std::wstring text = Wide(ShownText());
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
}
