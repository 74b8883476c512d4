#include "text/PathRules.h"

namespace pathrules {

bool IsCharStart(std::string_view s, size_t i) {
  // Walk from the start: a lead byte swallows the byte after it.
  size_t k = 0;
  while (k < i) k = NextChar(s, k);
  return k == i;
}

bool IsPathDelimiter(std::string_view s, size_t i) {
  return i < s.size() && s[i] == '\\' && IsCharStart(s, i);
}

bool EndsWithDelimiter(std::string_view s) {
  return !s.empty() && IsPathDelimiter(s, s.size() - 1);
}

size_t LastDelimiter(std::string_view s, std::string_view chars) {
  size_t last = std::string_view::npos;
  for (size_t k = 0; k < s.size(); k = NextChar(s, k)) {
    if (NextChar(s, k) == k + 1 && chars.find(s[k]) != std::string_view::npos) last = k;
  }
  return last;
}

std::string Parent(std::string_view path) {
  const size_t i = LastDelimiter(path, "\\:");
  return i == std::string_view::npos ? std::string() : std::string(path.substr(0, i + 1));
}

std::string WithoutTrailingDelimiter(std::string_view path) {
  if (EndsWithDelimiter(path)) path.remove_suffix(1);
  return std::string(path);
}

std::string FolderPart(std::string_view path) {
  const size_t i = LastDelimiter(path, "\\");
  if (i == std::string_view::npos) return std::string();
  const bool keep = i > 0 && (path[i - 1] == ':' || IsPathDelimiter(path, i - 1));
  return std::string(path.substr(0, keep ? i + 1 : i));
}

bool EndsWithDoubleByte(std::string_view s) {
  return s.size() >= 2 && !IsCharStart(s, s.size() - 1);
}

std::vector<std::string> Levels(std::string_view path) {
  // Where the first level begins: after "X:" and its '\', or after "\\server\share\".
  size_t start = 0;
  if (path.size() >= 2 && path[1] == ':' && static_cast<unsigned char>(path[0]) < 0x80) {
    start = 2;
  } else if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    int separators = 0;
    for (start = 2; start < path.size() && separators < 2; start = NextChar(path, start)) {
      if (IsPathDelimiter(path, start)) ++separators;
    }
  }
  std::vector<std::string> levels;
  size_t levelStart = start;
  for (size_t i = start; i <= path.size(); i = i < path.size() ? NextChar(path, i) : i + 1) {
    if (i < path.size() && !IsPathDelimiter(path, i)) continue;
    if (i > levelStart) levels.emplace_back(path.substr(0, i));
    levelStart = i + 1;
  }
  return levels;
}

}  // namespace pathrules
