#include "packlib/HostNames.h"

#include <iconv.h>

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

}  // namespace packer
