// Parse: the headers and section table, then the certificate entry and the resource tree.
#include "packlib/PeParse.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "packlib/Certificates.h"
#include "packlib/PeFormat.h"
#include "packlib/ResourceTree.h"

namespace pe {
namespace {

constexpr size_t kHeadBytes = 64 * 1024;  // the headers must lie in the file's first 64 KiB

bool ParseFrom(archive::RandomSource& file, Image& image, std::string& error, size_t heldBytes) {
  image = {};
  const uint64_t fileSize = file.Length();
  std::vector<uint8_t> head(static_cast<size_t>(std::min<uint64_t>(fileSize, kHeadBytes)));
  if (!file.ReadAt(0, head.data(), head.size())) {
    error = "cannot read the file";
    return false;
  }
  Layout layout;
  if (!ReadLayout(head, fileSize, image, layout, error)) return false;
  for (const Section& s : image.sections) {
    if (s.rawSize != 0) image.sectionsEnd = std::max<uint64_t>(image.sectionsEnd, static_cast<uint64_t>(s.rawOffset) + s.rawSize);
  }
  if (!ReadCertificateEntry(head, layout, fileSize, image, error)) return false;
  const Directory resources = GetDirectory(head, layout, kDirResources);
  if (resources.rva == 0 || resources.size == 0) return true;
  const size_t section = SectionOf(image, resources.rva, 16);
  if (section == image.sections.size()) {
    error = "damaged resource directory entry (outside every section)";
    return false;
  }
  const Section& s = image.sections[section];
  const uint64_t treeAt = s.rawOffset + static_cast<uint64_t>(resources.rva - s.virtualAddress);
  const uint64_t treeSize = s.rawOffset + static_cast<uint64_t>(s.rawSize) - treeAt;
  if (!ReadResourceTree(file, image, treeAt, treeSize, heldBytes, image.resources, error)) return false;
  image.resourceSection = section;
  image.hasResources = true;
  return true;
}

}  // namespace

bool ReadLayout(std::span<const uint8_t> file, uint64_t fileSize, Image& image, Layout& layout, std::string& error) {
  if (file.size() < 0x40 || file[0] != 'M' || file[1] != 'Z') {
    error = "not a Windows executable (no MZ header)";
    return false;
  }
  const uint32_t peOffset = Get32(file, kPeOffsetField);
  if (!Fits(peOffset, 24, file.size()) || std::memcmp(&file[peOffset], "PE\0\0", 4) != 0) {
    error = "not a Windows executable (no PE header)";
    return false;
  }
  layout.coff = peOffset + 4;
  const uint16_t sectionCount = Get16(file, layout.coff + kCoffSectionCount);
  const uint16_t optionalSize = Get16(file, layout.coff + kCoffOptionalSize);
  layout.optional = layout.coff + kCoffSize;
  if (sectionCount == 0 || sectionCount > 96 || !Fits(layout.optional, optionalSize, file.size()) ||
      optionalSize < 2) {
    error = "damaged PE header (section count or optional header size)";
    return false;
  }
  const uint16_t magic = Get16(file, layout.optional);
  if (magic != 0x10B && magic != 0x20B) {
    error = "damaged PE header (unknown optional header)";
    return false;
  }
  image.pe32plus = magic == 0x20B;
  const size_t directoriesAt = image.pe32plus ? kOptDirectories64 : kOptDirectories32;
  if (optionalSize < directoriesAt) {
    error = "damaged PE header (optional header too short)";
    return false;
  }
  layout.directories = layout.optional + directoriesAt;
  layout.directoryCount = Get32(file, layout.directories - 4);
  if (layout.directoryCount > 16 || directoriesAt + layout.directoryCount * 8 > optionalSize) {
    error = "damaged PE header (data directory count)";
    return false;
  }
  image.sectionAlignment = Get32(file, layout.optional + kOptSectionAlignment);
  image.fileAlignment = Get32(file, layout.optional + kOptFileAlignment);
  image.sizeOfImage = Get32(file, layout.optional + kOptSizeOfImage);
  image.checksumOffset = layout.optional + kOptChecksum;
  image.checksum = Get32(file, image.checksumOffset);
  image.subsystem = Get16(file, layout.optional + kOptSubsystem);
  if (!PowerOfTwo(image.fileAlignment) || !PowerOfTwo(image.sectionAlignment) ||
      image.sectionAlignment < image.fileAlignment) {
    error = "damaged PE header (alignments)";
    return false;
  }
  layout.sectionTable = layout.optional + optionalSize;
  if (!Fits(layout.sectionTable, static_cast<uint64_t>(sectionCount) * kSectionHeaderSize, file.size())) {
    error = "damaged PE header (section table beyond the end of the file)";
    return false;
  }
  image.sections.clear();
  for (size_t i = 0; i < sectionCount; ++i) {
    const size_t at = layout.sectionTable + kSectionHeaderSize * i;
    Section s;
    s.name.assign(reinterpret_cast<const char*>(&file[at]), 8);
    s.name.resize(std::min(s.name.find('\0'), s.name.size()));
    s.virtualSize = Get32(file, at + kSectionVirtualSize);
    s.virtualAddress = Get32(file, at + kSectionAddress);
    s.rawSize = Get32(file, at + kSectionRawSize);
    s.rawOffset = Get32(file, at + kSectionRawOffset);
    if (s.rawSize != 0 && !Fits(s.rawOffset, s.rawSize, fileSize)) {
      error = "damaged section table (" + s.name + " lies beyond the end of the file)";
      return false;
    }
    image.sections.push_back(s);
  }
  return true;
}

Directory GetDirectory(std::span<const uint8_t> file, const Layout& layout, uint32_t index) {
  if (index >= layout.directoryCount) return {};
  const size_t at = layout.directories + kDirectoryEntrySize * index;
  return {Get32(file, at), Get32(file, at + kDirectorySizeField)};
}

size_t SectionOf(const Image& image, uint64_t rva, uint64_t size) {
  for (size_t i = 0; i < image.sections.size(); ++i) {
    const Section& s = image.sections[i];
    if (rva >= s.virtualAddress && Fits(rva - s.virtualAddress, size, s.rawSize)) return i;
  }
  return image.sections.size();
}

bool Parse(archive::RandomSource& file, Image& image, std::string& error) {
  return ParseFrom(file, image, error, kHeldBytes);
}

bool Parse(std::span<const uint8_t> file, Image& image, std::string& error) {
  archive::MemoryRandomSource source(file);
  return ParseFrom(source, image, error, SIZE_MAX);
}

}  // namespace pe
