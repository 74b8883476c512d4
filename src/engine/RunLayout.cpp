#include "engine/RunLayout.h"

#include <algorithm>
#include <cstdio>

#include "text/PathRules.h"

namespace archive {
namespace {

constexpr std::string_view kStagingPrefix = "~ps", kStagingSuffix = ".stg", kKeptSuffix = ".old";
constexpr std::string_view kFreshSuffix = ".new";
constexpr size_t kStagingChars = 12;  // "~ps" + 5 hex digits + ".stg"
// From the game folder's end to a kept original's path: "\~psXXXXX.stg\o\".
constexpr size_t kKeptPrefixChars = 1 + kStagingChars + 1 + 1 + 1;

// `limit` - `used`, or 0 when nothing is left.
size_t Left(size_t limit, size_t used) { return used < limit ? limit - used : 0; }

}  // namespace

std::string StagingName(uint32_t seed) {
  char name[16];
  std::snprintf(name, sizeof name, "~ps%05x.stg", static_cast<unsigned>(seed & 0xFFFFFu));
  return name;
}

bool IsStagingName(std::string_view name) {
  if (name.size() != kStagingChars || name.substr(0, 3) != kStagingPrefix || name.substr(8) != kStagingSuffix) {
    return false;
  }
  for (char c : name.substr(3, 5))
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

std::string KeptFolderName(std::string_view stagingName) {
  return std::string(stagingName.substr(0, 8)) + std::string(kKeptSuffix);
}

std::string FreshFileName(size_t index) {
  char name[32];
  std::snprintf(name, sizeof name, "%05zu.new", index);
  return name;
}

bool IsFreshFileName(std::string_view name) {
  if (name.size() < 5 + kFreshSuffix.size() || name.substr(name.size() - kFreshSuffix.size()) != kFreshSuffix) {
    return false;
  }
  const std::string_view digits = name.substr(0, name.size() - kFreshSuffix.size());
  return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

size_t PathChars(std::string_view cp932) {
  size_t chars = 0;
  for (size_t i = 0; i < cp932.size(); i = pathrules::NextChar(cp932, i)) ++chars;
  return chars;
}

size_t LongestGameFolderFor(std::string_view name, bool keepsOriginal) {
  const size_t n = PathChars(name);
  const size_t slash = pathrules::LastDelimiter(name, "\\");
  const size_t folder = slash == std::string_view::npos ? 0 : PathChars(name.substr(0, slash));
  // game + "\" + name, and its folder
  size_t longest = Left(kMaxFilePathChars, 1 + n);
  if (folder > 0) longest = std::min(longest, Left(kMaxFolderPathChars, 1 + folder));
  if (keepsOriginal) {  // game + "\~psXXXXX.stg\o\" + name, and its folder
    longest = std::min(longest, Left(kMaxFilePathChars, kKeptPrefixChars + n));
    if (folder > 0) longest = std::min(longest, Left(kMaxFolderPathChars, kKeptPrefixChars + folder));
  }
  return longest;
}

size_t LongestGameFolderForRun() {
  // The folder of kept originals, game + "\~psXXXXX.stg\o", is the longest
  // folder; the journal and the new files ("\00007.new") are shorter files.
  return std::min({Left(kMaxFolderPathChars, kKeptPrefixChars - 1),
                   Left(kMaxFilePathChars, 1 + kStagingChars + 1 + FreshFileName(0).size()),
                   Left(kMaxFilePathChars, 1 + kStagingChars + 1 + sizeof "journal" - 1)});
}

}  // namespace archive
