#include "text/LineRules.h"

#include <cstring>

#include "text/PathRules.h"

namespace text {

int ReadLinesFrom(const std::function<int()>& next, std::string* lines, std::uint32_t maxLines, const char* mode) {
  const bool inverted = std::strcmp(mode, "rb") == 0;
  const bool text = std::strchr(mode, 'b') == nullptr;
  std::uint32_t i = 0;
  while (i < maxLines) {
    int b = next();
    if (b < 0) break;
    if (text) {
      if (b == 0x1A) break;
      if (b == 0x0D) continue;
    }
    if (inverted) b = 0xFF - b;
    if (b == 0x0A) {
      ++i;
      continue;
    }
    lines[i].push_back(static_cast<char>(b));
  }
  return static_cast<int>(i);
}

int ReplaceFirst(std::string& text, const std::string& from, const std::string& to) {
  if (from.empty() || text.empty()) return 0;
  const size_t at = text.find(from);
  if (at == std::string::npos) return 0;
  text.replace(at, from.size(), to);
  return 1;
}

bool IsNamePart(std::string_view text) {
  for (size_t i = 0; i < text.size(); i = pathrules::NextChar(text, i)) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (pathrules::IsLeadByte(b)) {
      if (i + 1 >= text.size()) return false;
      const auto trail = static_cast<unsigned char>(text[i + 1]);
      if (trail < 0x40 || trail == 0x7F || trail > 0xFC) return false;
      continue;
    }
    if (b < 0x20 || b == 0x7F || std::strchr("\\/:*?\"<>|", b) != nullptr) return false;
  }
  return true;
}

}  // namespace text
