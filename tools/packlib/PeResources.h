// The resources of a Windows executable (PE32 or PE32+) read and rewritten
// without Windows: what `packer build` and `packer inspect` do with an
// installer. Files are read at offsets and written in order, so an installer
// of any size takes memory for its headers and code, not for its archive.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/ByteReader.h"

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

// A resource's data is held in `data`, or, when `from` is set, it is `size`
// bytes of `from` at `fileOffset` (Parse leaves large resources in the file).
struct Resource {
  ResourceKey type;
  ResourceKey name;
  uint16_t language = 0;
  uint32_t codepage = 0;
  std::vector<uint8_t> data;
  uint64_t fileOffset = 0;  // where Parse found the data
  uint32_t size = 0;        // its length, when it is not held
  archive::RandomSource* from = nullptr;

  uint64_t Size() const { return from != nullptr ? size : data.size(); }
};

// Where a rewrite writes: in order, then the checksum over what it wrote.
class Output {
 public:
  virtual ~Output() = default;
  virtual bool Write(const uint8_t* data, size_t size) = 0;
  // Overwrites bytes already written.
  virtual bool Overwrite(uint64_t offset, const uint8_t* data, size_t size) = 0;
};

class VectorOutput : public Output {
 public:
  explicit VectorOutput(std::vector<uint8_t>& out) : out_(out) { out_.clear(); }
  bool Write(const uint8_t* data, size_t size) override;
  bool Overwrite(uint64_t offset, const uint8_t* data, size_t size) override;

 private:
  std::vector<uint8_t>& out_;
};

// The PE checksum summed over a file given in pieces, in order.
class ChecksumSum {
 public:
  explicit ChecksumSum(uint64_t checksumOffset) : field_(checksumOffset) {}
  void Add(const uint8_t* data, size_t size);
  uint32_t Value() const;  // for the bytes added so far, as the whole file

 private:
  uint64_t field_;
  uint64_t sum_ = 0;
  uint64_t length_ = 0;
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
// with a message for anything that is not a well-formed executable. From a
// random source, resources of more than kHeldBytes stay in the file (`from`
// is the source, which must outlive the image); from memory all are held.
inline constexpr size_t kHeldBytes = 1 << 20;
bool Parse(archive::RandomSource& file, Image& image, std::string& error);
bool Parse(std::span<const uint8_t> file, Image& image, std::string& error);

// The PE checksum: 16-bit one's-complement sum of the file (the checksum
// field taken as 0) plus the file's length.
uint32_t Checksum(std::span<const uint8_t> file, size_t checksumOffset);
// The same, read from the source in pieces; false when it cannot be read.
bool Checksum(archive::RandomSource& file, size_t checksumOffset, uint32_t& sum);

// What a rewrite did besides putting the resources in.
struct RewriteReport {
  bool droppedSignature = false;
  uint32_t movedSections = 0;  // sections after the resources (base relocations) moved on
  uint64_t imageSize = 0;      // the new image's size in memory (SizeOfImage)
  uint64_t fileSize = 0;
};

// The file with `resources` in place of its resource tree. The resource
// section is rebuilt where it is; the sections after it (only the base
// relocations may follow it) move on by whole section alignments, with the
// directory entries pointing at them. The certificate table is dropped (its
// signature would no longer match), anything else after the last section is
// kept, and the image size, initialised-data size and checksum are set anew.
// Refuses, before writing anything, an image larger than `imageLimit` bytes.
bool Rewrite(archive::RandomSource& file, const Image& image, const std::vector<Resource>& resources, Output& out,
             RewriteReport& report, std::string& error, uint64_t imageLimit = UINT64_MAX);
bool Rewrite(std::span<const uint8_t> file, const Image& image, const std::vector<Resource>& resources,
             std::vector<uint8_t>& out, RewriteReport& report, std::string& error);

// The file without its certificate table, the directory entry naming it
// cleared and the checksum set anew (zero bytes a signer added before the
// table to align it stay). A copy of `file` when it is not signed.
bool DropCertificates(std::span<const uint8_t> file, const Image& image, std::vector<uint8_t>& out,
                      std::string& error);

}  // namespace pe
