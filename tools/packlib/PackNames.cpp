// The files of a folder in archive order, with the name rules a record name must meet.
#include "packlib/HostArchive.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <system_error>

#include "engine/RecordName.h"
#include "engine/RunLayout.h"
#include "packlib/HostNames.h"

namespace fs = std::filesystem;

namespace packer {
namespace {

// Every path the installer uses for a file (the file itself, and the original
// it replaces, kept aside in the run's folder) must fit below a game folder of
// this many characters (engine/RunLayout.h).
constexpr size_t kGameFolderChars = 100;

// True when the part before the extension (or the whole name) ends in '~'
// and digits, like PROGRA~1.TXT or DATA~12: Windows could take it for the
// short name of another file in the game folder. (ASCII bytes in UTF-8 are
// always whole characters.)
bool HasShortNameForm(std::string_view utf8) {
  const std::string_view stem = utf8.substr(0, utf8.rfind('.'));
  size_t digits = 0;
  while (digits < stem.size() && stem[stem.size() - 1 - digits] >= '0' && stem[stem.size() - 1 - digits] <= '9') {
    ++digits;
  }
  return digits > 0 && digits < stem.size() && stem[stem.size() - 1 - digits] == '~';
}

// One level of a name in CP932, refused when it has no exact CP932 form
// (iconv maps some characters to look-alikes: ¥ to 0x5C, which would split
// the level), holds a '\', which is a separator in a record name, or has the
// short-name form.
bool LevelName(const fs::path& entry, std::string& cp932, std::string& error) {
  const std::string utf8 = entry.filename().string();
  const auto converted = Utf8ToCp932(utf8);
  if (!converted || Cp932ToUtf8(*converted) != utf8) {
    error = entry.string() + ": the name cannot be written in code page 932";
    return false;
  }
  if (utf8.find('\\') != std::string::npos) {
    error = entry.string() + ": not a name the installer accepts ('\\' separates folder levels)";
    return false;
  }
  if (HasShortNameForm(utf8)) {
    error = entry.string() +
            ": a short-name form ('~' and digits before the extension, like PROGRA~1.TXT): on Windows it could "
            "stand for another file of the game folder";
    return false;
  }
  cp932 = *converted;
  return true;
}

// Refuses two entries of one folder whose names differ only in case (a file
// and a folder too): on Windows they would be one file or folder. Checked in
// every folder, this covers whole paths: two paths that differ only in case
// first differ in two such entries.
bool CheckCaseCollisions(const std::vector<fs::directory_entry>& files,
                         const std::vector<fs::directory_entry>& folders, std::string& error) {
  std::map<std::u32string, fs::path> seen;
  for (const auto* entries : {&files, &folders}) {
    for (const auto& e : *entries) {
      const auto folded = CaseFolded(e.path().filename().string());
      if (!folded) {
        error = "cannot compare names ignoring case (on Linux this needs the C.UTF-8 locale)";
        return false;
      }
      const auto [it, fresh] = seen.emplace(*folded, e.path());
      if (!fresh) {
        error = it->second.string() + " and " + e.path().string() +
                ": the names differ only in case, and Windows does not tell them apart";
        return false;
      }
    }
  }
  return true;
}

bool Collect(const fs::path& folder, const std::string& prefix, std::vector<PackItem>& items,
             std::string& error) {
  std::error_code ec;
  std::vector<fs::directory_entry> files, folders;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::file_status st = it->symlink_status(ec);
    if (ec) break;
    if (fs::is_directory(st)) {
      folders.push_back(*it);
    } else if (fs::is_regular_file(st)) {
      files.push_back(*it);
    } else {
      error = it->path().string() + ": neither a regular file nor a folder (links are not followed)";
      return false;
    }
  }
  if (ec) {
    error = folder.string() + ": " + ec.message();
    return false;
  }
  auto byName = [](const fs::directory_entry& a, const fs::directory_entry& b) {
    return a.path().filename().string() < b.path().filename().string();
  };
  std::sort(files.begin(), files.end(), byName);
  std::sort(folders.begin(), folders.end(), byName);
  if (!CheckCaseCollisions(files, folders, error)) return false;

  for (const auto& f : files) {
    const std::string shown = f.path().string();
    std::string level;
    if (!LevelName(f.path(), level, error)) return false;
    const std::string name = prefix + level;
    if (name.size() > 255) {
      error = shown + ": the name is " + std::to_string(name.size()) + " bytes in code page 932, more than 255";
      return false;
    }
    if (archive::LongestGameFolderFor(name, true) < kGameFolderChars) {
      error = shown + ": below a game folder of 100 characters the installer could not place it: with the " +
              std::to_string(archive::PathChars(name)) + " characters of its name, a path it uses would be " +
              "longer than the " + std::to_string(archive::kMaxFilePathChars) + " characters (" +
              std::to_string(archive::kMaxFolderPathChars) + " for a folder) Windows allows";
      return false;
    }
    if (!archive::IsSafeRecordName(name)) {
      error = shown + ": not a name the installer accepts (device name, trailing dot or space, or a character Windows refuses)";
      return false;
    }
    const uint64_t size = f.file_size(ec);
    if (ec) {
      error = shown + ": " + ec.message();
      return false;
    }
    if (size == 0) {
      error = shown + ": empty file; a record of size 0 would end the extraction";
      return false;
    }
    if (size > kMaxFileSize) {
      error = shown + ": 4 GiB or larger; a record holds at most 4294967295 bytes";
      return false;
    }
    items.push_back({name, f.path()});
  }
  for (const auto& d : folders) {
    std::string level;
    if (!LevelName(d.path(), level, error)) return false;
    if (!Collect(d.path(), prefix + level + "\\", items, error)) return false;
  }
  return true;
}

}  // namespace

bool CollectFolder(const fs::path& folder, std::vector<PackItem>& items, std::string& error) {
  items.clear();
  if (!fs::is_directory(folder)) {
    error = folder.string() + ": not a folder";
    return false;
  }
  if (!Collect(folder, "", items, error)) return false;
  if (items.empty()) {
    error = folder.string() + ": no files to pack";
    return false;
  }
  return true;
}

}  // namespace packer
