// Reading a PE file's headers and section table: where everything else is found.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "packlib/PeResources.h"

namespace pe {

// Offsets of the headers a rewrite changes, found again from the file.
struct Layout {
  size_t coff = 0;           // COFF file header
  size_t optional = 0;       // optional header
  size_t directories = 0;    // first data directory entry
  uint32_t directoryCount = 0;
  size_t sectionTable = 0;
};

// `file` is the file's first bytes (all of it, or at least its headers); the
// sections are checked against `fileSize`.
bool ReadLayout(std::span<const uint8_t> file, uint64_t fileSize, Image& image, Layout& layout, std::string& error);

struct Directory {
  uint32_t rva = 0;
  uint32_t size = 0;
};

// Data directory entry `index`; both 0 when the header has no such entry.
Directory GetDirectory(std::span<const uint8_t> file, const Layout& layout, uint32_t index);

// The section whose address range holds the `size` bytes at `rva`, counting
// only the bytes the file holds; sections.size() when none.
size_t SectionOf(const Image& image, uint64_t rva, uint64_t size);

}  // namespace pe
