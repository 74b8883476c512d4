// The decoder's 4096-byte sliding dictionary.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace archive {

// The ring belongs to whoever extracts (the progress window lives as long as
// the program), not to one record: every record clears positions 0..4077 and
// starts writing at 4078, while positions 4078..4095 keep what the previous
// record left there, across records and across extractions. Zero when created.
struct Ring {
  static constexpr size_t kSize = 4096;
  static constexpr size_t kMask = kSize - 1;
  static constexpr size_t kStart = kSize - 18;  // write position at every record's start

  std::array<uint8_t, kSize> bytes{};
};

}  // namespace archive
