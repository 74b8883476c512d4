#include "chooser/ChooserRules.h"

#include <algorithm>

#include "text/PathRules.h"

namespace chooser {

namespace {

constexpr std::string_view kEllipsisDir = "...\\";

bool HasDrive(std::string_view path) {
  // "X:" starts a drive only when the colon is a character of its own.
  return path.size() >= 2 && path[1] == ':' && !pathrules::IsLeadByte(static_cast<unsigned char>(path[0]));
}

}  // namespace

std::string CutFirstDirectory(std::string_view dir) {
  if (dir == "\\") return std::string();
  const bool root = !dir.empty() && dir.front() == '\\';
  if (root) dir.remove_prefix(1);
  if (dir.substr(0, kEllipsisDir.size()) == kEllipsisDir) dir.remove_prefix(kEllipsisDir.size());
  std::string result;
  size_t first = std::string_view::npos;
  for (size_t k = 0; k < dir.size(); k = pathrules::NextChar(dir, k)) {
    if (dir[k] == '\\') {
      first = k;
      break;
    }
  }
  if (first != std::string_view::npos) result = std::string(kEllipsisDir) + std::string(dir.substr(first + 1));
  if (root) result = "\\" + result;
  return result;
}

std::string MinimizeName(std::string_view path, int maxWidth, const TextWidth& width) {
  std::string drive = HasDrive(path) ? std::string(path.substr(0, 2)) : std::string();
  const size_t last = pathrules::LastDelimiter(path, "\\");
  const size_t nameStart = last == std::string_view::npos ? drive.size() : last + 1;
  std::string dir(path.substr(drive.size(), nameStart - drive.size()));
  const std::string name(path.substr(nameStart));
  std::string result = drive + dir + name;
  while ((!dir.empty() || !drive.empty()) && width(result) > maxWidth) {
    if (dir == "\\...\\") {
      drive.clear();
      dir = kEllipsisDir;
    } else if (dir.empty()) {
      drive.clear();
    } else {
      dir = CutFirstDirectory(dir);
    }
    result = drive + dir + name;
  }
  return result;
}

std::string LowerCaseCp932(std::string_view s) {
  std::string out(s);
  // A trail byte may look like a letter: only single-byte characters change.
  for (size_t k = 0; k < out.size(); k = pathrules::NextChar(out, k)) {
    if (pathrules::NextChar(out, k) == k + 1) out[k] = LowerDriveLetter(out[k]);
  }
  return out;
}

std::optional<std::string> DriveRowText(char letter, DriveKind kind, std::string_view volumeLabel,
                                        const std::optional<std::string>& networkName) {
  const std::string drive = std::string(1, LowerDriveLetter(letter)) + ":";
  const auto labelForm = [&] { return LowerCaseCp932(drive + " [" + std::string(volumeLabel) + "]"); };
  switch (kind) {
    case DriveKind::Removable:
      return drive;
    case DriveKind::Fixed:
    case DriveKind::CdRom:
    case DriveKind::RamDisk:
      return labelForm();
    case DriveKind::Remote:
      if (networkName) return LowerCaseCp932(drive + " " + *networkName);
      return labelForm();
    default:
      return std::nullopt;
  }
}

std::vector<std::string> PathEntries(std::string_view folder) {
  std::vector<std::string> entries;
  // The root: "X:\" or, for a network path, "\\server\share\" as one entry.
  size_t rootEnd = 0;  // index just past the root's last '\'
  if (folder.substr(0, 2) == "\\\\") {
    int separators = 0;
    size_t k = 0;
    for (; k < folder.size(); k = pathrules::NextChar(folder, k)) {
      if (folder[k] == '\\' && ++separators == 4) break;
    }
    if (k < folder.size()) {
      rootEnd = k + 1;
      entries.emplace_back(folder.substr(0, rootEnd));
    } else {
      entries.push_back(std::string(folder) + "\\");
      return entries;
    }
  } else if (HasDrive(folder)) {
    rootEnd = folder.size() > 2 && folder[2] == '\\' ? 3 : 2;
    entries.push_back(std::string(folder.substr(0, 2)) + "\\");
  }
  size_t start = rootEnd;
  for (size_t k = rootEnd;; k = pathrules::NextChar(folder, k)) {
    const bool end = k >= folder.size();
    if (end || folder[k] == '\\') {
      if (k > start) entries.emplace_back(folder.substr(start, std::min(k, folder.size()) - start));
      start = k + 1;
    }
    if (end) break;
  }
  return entries;
}

std::string PathEntryFolder(const std::vector<std::string>& entries, size_t index) {
  if (entries.empty()) return std::string();
  std::string folder = entries[0];
  for (size_t i = 1; i <= index && i < entries.size(); ++i) {
    if (!pathrules::EndsWithDelimiter(folder)) folder += '\\';
    folder += entries[i];
  }
  return folder;
}

int SubFolderIndent(std::string_view currentFolder) {
  int separators = 0;
  for (size_t k = 0; k < currentFolder.size(); k = pathrules::NextChar(currentFolder, k))
    if (currentFolder[k] == '\\') ++separators;
  return 4 * separators + 6;
}

std::string StartPattern(std::string_view folder) {
  std::string pattern(folder);
  if (!pathrules::EndsWithDelimiter(pattern)) pattern += '\\';
  return pattern + "*.*";
}

std::string PatternFolder(std::string_view absolutePattern) {
  const size_t last = pathrules::LastDelimiter(absolutePattern, "\\");
  if (last == std::string_view::npos) return std::string(absolutePattern);
  std::string folder(absolutePattern.substr(0, last));
  if (folder.size() == 2 && HasDrive(folder)) folder += '\\';
  return folder;
}

}  // namespace chooser
