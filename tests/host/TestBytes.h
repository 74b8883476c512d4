// Helpers for host tests: byte strings written as hex, record building, and a
// plain byte-at-a-time decoder to compare the engine against.
#pragma once

#include <algorithm>
#include <array>
#include <initializer_list>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testbytes {

using Bytes = std::vector<uint8_t>;

// "05 61 2E" -> {0x05, 0x61, 0x2E}; spaces are ignored.
inline Bytes Hex(std::string_view text) {
  Bytes out;
  int high = -1;
  for (char c : text) {
    int v;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else continue;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  return out;
}

inline Bytes Str(std::string_view s) { return Bytes(s.begin(), s.end()); }

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// [L][name][size LE][stream]
inline Bytes Record(std::string_view name, uint32_t size, const Bytes& stream) {
  Bytes out;
  out.reserve(1 + name.size() + 4 + stream.size());
  out.push_back(static_cast<uint8_t>(name.size()));
  out.insert(out.end(), name.begin(), name.end());
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(size >> (8 * k)));
  out.insert(out.end(), stream.begin(), stream.end());
  return out;
}

// A stream of literals only.
inline Bytes Literals(const Bytes& data) {
  Bytes out;
  for (size_t i = 0; i < data.size(); i += 8) {
    const size_t n = std::min<size_t>(8, data.size() - i);
    out.push_back(static_cast<uint8_t>((1u << n) - 1));
    out.insert(out.end(), data.begin() + i, data.begin() + i + n);
  }
  return out;
}

// The decoding rules in their plainest form, one byte at a time, on a
// 4096-byte ring. Returns the output; `consumed` and `ended` report the input.
struct PlainResult {
  Bytes output;
  size_t consumed = 0;
  bool ended = false;
};
inline PlainResult PlainDecode(std::array<uint8_t, 4096>& ring, const Bytes& in, size_t start, uint32_t count) {
  PlainResult res;
  size_t pos = start;
  auto next = [&](unsigned& v) {
    if (pos >= in.size()) return false;
    v = in[pos++];
    return true;
  };
  for (size_t i = 0; i < 4078; ++i) ring[i] = 0;
  unsigned r = 4078, flags = 0;
  uint32_t written = 0;
  while (written < count) {
    flags >>= 1;
    unsigned v;
    if (!(flags & 0x100)) {
      if (!next(v)) { res.ended = true; break; }
      flags = v | 0xFF00;
    }
    if (flags & 1) {
      if (!next(v)) { res.ended = true; break; }
      res.output.push_back(static_cast<uint8_t>(v));
      ring[r] = static_cast<uint8_t>(v);
      r = (r + 1) & 0xFFF;
      ++written;
    } else {
      unsigned b0, b1;
      if (!next(b0) || !next(b1)) { res.ended = true; break; }
      const unsigned p = b0 | ((b1 & 0xF0) << 4), n = (b1 & 0x0F) + 3;
      for (unsigned k = 0; k < n && written < count; ++k) {
        const uint8_t c = ring[(p + k) & 0xFFF];
        res.output.push_back(c);
        ring[r] = c;
        r = (r + 1) & 0xFFF;
        ++written;
      }
    }
  }
  res.consumed = pos - start;
  return res;
}

}  // namespace testbytes
