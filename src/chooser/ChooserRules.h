// Text and arithmetic rules of the directory chooser (portable, no windows.h):
// the shortened path label, the drive rows, the path entries of the directory
// list and their indents. Paths are CP932 byte strings; only a single-byte '\'
// separates levels.
// Part of the FileCtrl unit (see FileCtrl.h).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace chooser {

// Width of a text in pixels, as the label's font draws it.
using TextWidth = std::function<int(std::string_view)>;

// Shortens a folder path until it fits `maxWidth`: the drive ("X:"), the folder
// part (up to and including the last '\') and the name are split; while the
// drive or the folder part is not empty and the joined text is too wide, the
// first folder gives way to "...\", then the drive goes, then the "...\".
// "C:\a\b\c\name" -> "C:\...\b\c\name" -> "C:\...\c\name" -> "C:\...\name"
// -> "...\name" -> "name".
std::string MinimizeName(std::string_view path, int maxWidth, const TextWidth& width);

// Cuts the first folder off a folder part ("\a\b\" -> "\...\b\"); a leading
// "...\" is removed first and a leading '\' kept. "\" and a last folder give "".
std::string CutFirstDirectory(std::string_view dir);

// Drive types, numbered as the system reports them.
enum class DriveKind { Unknown = 0, NoRoot = 1, Removable = 2, Fixed = 3, Remote = 4, CdRom = 5, RamDisk = 6 };

// The text of a drive row, or nothing for a drive type that is not listed.
// `letter` is the drive letter (any case); `volumeLabel` is empty when it is
// empty or cannot be read; `networkName` is nothing when it cannot be read.
std::optional<std::string> DriveRowText(char letter, DriveKind kind, std::string_view volumeLabel,
                                        const std::optional<std::string>& networkName);

// A drive letter in lower case ('C' -> 'c'); anything but A-Z as it is.
constexpr char LowerDriveLetter(char letter) {
  return letter >= 'A' && letter <= 'Z' ? static_cast<char>(letter - 'A' + 'a') : letter;
}

// ASCII letters to lower case; double-byte characters (whose trail byte may
// be a letter) are left as they are.
std::string LowerCaseCp932(std::string_view s);

// The levels of a folder path as the directory list shows them: the root
// ("C:\", or "\\server\share\" for a network path) and then each folder name.
// "C:\a\b" -> {"C:\", "a", "b"}; "C:\" -> {"C:\"}.
std::vector<std::string> PathEntries(std::string_view folder);

// The folder that path entry `index` stands for: the root, or the root and
// the names up to that entry joined by '\'.
std::string PathEntryFolder(const std::vector<std::string>& entries, size_t index);

// Pixel indents of the directory list's entries.
constexpr int PathEntryIndent(int index) { return 4 * index + 2; }
int SubFolderIndent(std::string_view currentFolder);  // 4 x (number of '\') + 6

// The start folder with "\*.*" appended ('\' only when it does not already end
// in a single-byte '\'), ready to be made absolute.
std::string StartPattern(std::string_view folder);

// The folder of an absolute "X:\...\*.*" pattern: cut after the last '\' and
// that '\' dropped, except at a root, which keeps it ("C:\*.*" -> "C:\", so the
// chooser opens at the root rather than at the drive's current folder).
std::string PatternFolder(std::string_view absolutePattern);

}  // namespace chooser
