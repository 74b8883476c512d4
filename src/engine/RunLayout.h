// Where a patch run keeps its own files below the game folder, and how long
// the paths it works with become. Shared by the installer, which checks a
// game folder against them before it touches anything, and by the packer,
// which refuses names that would not fit below a game folder of ordinary
// length.
//
// The run's folder, at the game folder's root:
//   ~psXXXXX.stg\journal           the journal (Journal.h)
//   ~psXXXXX.stg\00007.new         item 7's new file, until it is placed
//   ~psXXXXX.stg\o\<item's path>   item 7's original, kept aside under its own
//                                  path, so that it can be put back even
//                                  without a readable journal
// A run that cannot put an original back renames its folder ~psXXXXX.old:
// the player is told, and no later start acts on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace archive {

// The run's folder name for a seed (its low 20 bits), and the test for one.
std::string StagingName(uint32_t seed);
bool IsStagingName(std::string_view name);
// The name a run's folder takes when it keeps originals for good.
std::string KeptFolderName(std::string_view stagingName);
// "00007.new": item 7's new file in the run's folder; and the test for one.
std::string FreshFileName(size_t index);
bool IsFreshFileName(std::string_view name);
// The folder below the run's folder that holds the kept-aside originals.
inline constexpr char kKeptOriginals[] = "o";

// Windows opens a path of at most 259 characters and makes a folder of at
// most 247 (room for an 8.3 name below it), counted in UTF-16 units, unless
// a program opts into long paths; this one does not.
inline constexpr size_t kMaxFilePathChars = 259;
inline constexpr size_t kMaxFolderPathChars = 247;

// The number of characters (UTF-16 units) of a CP932 string: one for each
// single-byte and each double-byte character.
size_t PathChars(std::string_view cp932);

// The longest game folder, in characters, below which a run can place the
// record `name` (and keep the original it replaces aside, if `keepsOriginal`)
// with every path it uses within those limits; 0 when there is none.
size_t LongestGameFolderFor(std::string_view name, bool keepsOriginal);
// The same for the run's own folder, its journal and its new files.
size_t LongestGameFolderForRun();

}  // namespace archive
