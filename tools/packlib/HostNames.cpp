#include "packlib/HostNames.h"

#include <iconv.h>
#include <locale.h>
#include <unistd.h>
#include <wctype.h>

#include <algorithm>
#include <cerrno>

namespace packer {
namespace {

std::optional<std::string> Convert(const char* to, const char* from, std::string_view text) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(text.size() * 4 + 8, '\0');
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* o = out.data();
  size_t outLeft = out.size();
  const size_t rc = iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1) || inLeft != 0) return std::nullopt;
  out.resize(out.size() - outLeft);
  return out;
}

}  // namespace

std::optional<std::string> Utf8ToCp932(std::string_view utf8) { return Convert("CP932", "UTF-8", utf8); }

std::optional<std::string> Cp932ToUtf8(std::string_view cp932) { return Convert("UTF-8", "CP932", cp932); }

std::optional<std::string> RecordNameToHostPath(std::string_view name) {
  // After conversion every '\' left is a separator: 0x5C trail bytes have
  // become parts of their characters.
  auto path = Cp932ToUtf8(name);
  if (path) std::replace(path->begin(), path->end(), '\\', '/');
  return path;
}

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) { return std::fopen(path.c_str(), mode); }

bool SyncFile(std::FILE* file) { return std::fflush(file) == 0 && fsync(fileno(file)) == 0; }

std::optional<std::u32string> CaseFolded(std::string_view utf8) {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) return std::nullopt;
  std::u32string folded;
  for (size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    uint32_t c = n == 1 ? b : b & (0x3Fu >> (n - 1));
    for (size_t k = 1; k < n && i + k < utf8.size(); ++k) c = c << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
    folded += static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), locale));
    i += n;
  }
  return folded;
}

}  // namespace packer
