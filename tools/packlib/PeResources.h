// The resources of a Windows executable (PE32 or PE32+) read and rewritten
// in memory, without Windows: what `packer build` and `packer inspect` do
// with an installer on the build host.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pe {

// A resource type or name: a number, or a string of UTF-16 code units.
struct ResourceKey {
  std::u16string name;  // empty for a number
  uint16_t id = 0;

  static ResourceKey Named(const char* ascii);
  static ResourceKey Number(uint16_t id) { return {{}, id}; }
  bool IsNamed() const { return !name.empty(); }
  std::string Show() const;  // "SMF", "#10"
  bool operator==(const ResourceKey&) const = default;
};

struct Resource {
  ResourceKey type;
  ResourceKey name;
  uint16_t language = 0;
  uint32_t codepage = 0;
  std::vector<uint8_t> data;
  uint64_t fileOffset = 0;  // where Parse found the data
};

struct Section {
  std::string name;
  uint32_t virtualAddress = 0;
  uint32_t virtualSize = 0;
  uint32_t rawOffset = 0;
  uint32_t rawSize = 0;
};

// Where things are in a parsed file.
struct Image {
  bool pe32plus = false;
  uint16_t subsystem = 0;
  uint32_t fileAlignment = 0;
  uint32_t sectionAlignment = 0;
  uint32_t sizeOfImage = 0;
  uint32_t checksum = 0;        // as stored
  size_t checksumOffset = 0;    // file offset of the checksum field
  std::vector<Section> sections;
  size_t resourceSection = 0;   // index into sections; valid when hasResources
  bool hasResources = false;
  std::vector<Resource> resources;  // in directory order
  uint32_t certificateOffset = 0;   // the attribute certificate table: a file range,
  uint32_t certificateSize = 0;     // both 0 when the file is not signed
  size_t certificateEntry = 0;      // file offset of its directory entry (0: no such entry)
  uint64_t sectionsEnd = 0;         // end of the last section's file data

  bool Signed() const { return certificateSize != 0; }
  // The data of every resource of this type and name, one per language.
  std::vector<const Resource*> Find(const ResourceKey& type, const ResourceKey& name) const;
};

// Reads the headers, the section table, the resource tree and the
// certificate table entry. Every offset is checked against the file; false
// with a message for anything that is not a well-formed executable.
bool Parse(std::span<const uint8_t> file, Image& image, std::string& error);

// The PE checksum: 16-bit one's-complement sum of the file (the checksum
// field taken as 0) plus the file's length.
uint32_t Checksum(std::span<const uint8_t> file, size_t checksumOffset);

// What a rewrite did besides putting the resources in.
struct RewriteReport {
  bool droppedSignature = false;
  uint32_t movedSections = 0;  // sections after the resources (base relocations) moved on
};

// The file with `resources` in place of its resource tree. The resource
// section is rebuilt where it is; the sections after it (only the base
// relocations may follow it) move on by whole section alignments, with the
// directory entries pointing at them. The certificate table is dropped (its
// signature would no longer match), anything else after the last section is
// kept, and the image size, initialised-data size and checksum are set anew.
bool Rewrite(std::span<const uint8_t> file, const Image& image, const std::vector<Resource>& resources,
             std::vector<uint8_t>& out, RewriteReport& report, std::string& error);

// The file without its certificate table, the directory entry naming it
// cleared and the checksum set anew (zero bytes a signer added before the
// table to align it stay). A copy of `file` when it is not signed.
bool DropCertificates(std::span<const uint8_t> file, const Image& image, std::vector<uint8_t>& out,
                      std::string& error);

}  // namespace pe
