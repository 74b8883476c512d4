#include "packlib/PeResources.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <tuple>

namespace pe {
namespace {

constexpr uint32_t kDirResources = 2;
constexpr uint32_t kDirCertificates = 4;
constexpr uint32_t kDirRelocations = 5;
constexpr uint32_t kDirDebug = 6;
constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kMaxResources = 65536;
constexpr size_t kDataAlignment = 8;

// Where the fields a reader or a rewrite touches lie: from the DOS header's
// start, the COFF file header's, the optional header's, a section header's,
// a data directory entry's and a debug directory entry's.
constexpr size_t kPeOffsetField = 0x3C;
constexpr size_t kCoffSectionCount = 2, kCoffSymbolTable = 8, kCoffOptionalSize = 16, kCoffSize = 20;
constexpr size_t kOptInitialisedData = 8, kOptSectionAlignment = 32, kOptFileAlignment = 36,
                 kOptSizeOfImage = 56, kOptChecksum = 64, kOptSubsystem = 68;
constexpr size_t kOptDirectories32 = 96, kOptDirectories64 = 112;  // the data directories, PE32 and PE32+
constexpr size_t kSectionVirtualSize = 8, kSectionAddress = 12, kSectionRawSize = 16, kSectionRawOffset = 20,
                 kSectionHeaderSize = 40;
constexpr size_t kDirectoryEntrySize = 8, kDirectorySizeField = 4;
constexpr size_t kDebugEntrySize = 28, kDebugRawPointer = 24;
constexpr size_t kHeadBytes = 64 * 1024;  // the headers must lie in the file's first 64 KiB
constexpr size_t kChunk = 256 * 1024;     // copies go through a buffer of this size

uint16_t Get16(std::span<const uint8_t> b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }
uint32_t Get32(std::span<const uint8_t> b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int k = 0; k < 4; ++k) p[k] = static_cast<uint8_t>(v >> (8 * k));
}
bool Fits(uint64_t offset, uint64_t size, uint64_t limit) { return offset <= limit && size <= limit - offset; }
uint64_t AlignUp(uint64_t v, uint64_t alignment) { return (v + alignment - 1) / alignment * alignment; }
bool PowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

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

struct Directory {
  uint32_t rva = 0;
  uint32_t size = 0;
};

Directory GetDirectory(std::span<const uint8_t> file, const Layout& layout, uint32_t index) {
  if (index >= layout.directoryCount) return {};
  const size_t at = layout.directories + kDirectoryEntrySize * index;
  return {Get32(file, at), Get32(file, at + kDirectorySizeField)};
}

// The section whose address range holds the `size` bytes at `rva`, counting
// only the bytes the file holds; sections.size() when none.
size_t SectionOf(const Image& image, uint64_t rva, uint64_t size) {
  for (size_t i = 0; i < image.sections.size(); ++i) {
    const Section& s = image.sections[i];
    if (rva >= s.virtualAddress && Fits(rva - s.virtualAddress, size, s.rawSize)) return i;
  }
  return image.sections.size();
}

// The bytes of the resource tree, read from the file a page at a time: the
// directory tables, entries and names are small and close together, and the
// data beside them may be gigabytes.
class TreeBytes {
 public:
  TreeBytes(archive::RandomSource& file, uint64_t at, uint64_t size) : file_(file), at_(at), size_(size) {}
  uint64_t size() const { return size_; }
  bool failed() const { return failed_; }
  // The caller has checked that the bytes lie within size().
  uint16_t Get16(uint64_t offset) { return static_cast<uint16_t>(Byte(offset) | Byte(offset + 1) << 8); }
  uint32_t Get32(uint64_t offset) {
    return Get16(offset) | static_cast<uint32_t>(Get16(offset + 2)) << 16;
  }

 private:
  static constexpr uint64_t kPage = 4096;
  static constexpr size_t kMaxPages = 256;

  uint8_t Byte(uint64_t offset) {
    const uint64_t page = offset / kPage;
    auto it = pages_.find(page);
    if (it == pages_.end()) {
      if (pages_.size() >= kMaxPages) pages_.clear();
      std::vector<uint8_t> bytes(static_cast<size_t>(std::min(kPage, size_ - page * kPage)));
      if (!file_.ReadAt(at_ + page * kPage, bytes.data(), bytes.size())) {
        failed_ = true;
        std::fill(bytes.begin(), bytes.end(), 0);
      }
      it = pages_.emplace(page, std::move(bytes)).first;
    }
    return it->second[static_cast<size_t>(offset % kPage)];
  }

  archive::RandomSource& file_;
  uint64_t at_, size_;
  std::map<uint64_t, std::vector<uint8_t>> pages_;
  bool failed_ = false;
};

// Walks the three levels of the resource tree (type, name, language).
class TreeReader {
 public:
  TreeReader(archive::RandomSource& file, const Image& image, TreeBytes& tree, size_t heldBytes)
      : file_(file), image_(image), tree_(tree), heldBytes_(heldBytes), fileSize_(file.Length()) {}

  bool Read(std::vector<Resource>& out, std::string& error) {
    Resource path;
    const bool ok = Walk(0, 0, path, out, error);
    if (tree_.failed()) {
      error = "cannot read the resource directory";
      return false;
    }
    return ok;
  }

 private:
  bool Walk(uint32_t offset, int level, Resource& path, std::vector<Resource>& out, std::string& error) {
    if (!Fits(offset, 16, tree_.size()) || !visited_.insert(offset).second) {
      error = "damaged resource directory (a table outside the section or used twice)";
      return false;
    }
    const uint32_t count = tree_.Get16(offset + 12) + static_cast<uint32_t>(tree_.Get16(offset + 14));
    if (!Fits(offset + 16, static_cast<uint64_t>(count) * 8, tree_.size())) {
      error = "damaged resource directory (entries outside the section)";
      return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
      const size_t entry = offset + 16 + 8 * static_cast<size_t>(i);
      ResourceKey key;
      if (!Key(tree_.Get32(entry), key, error)) return false;
      const uint32_t target = tree_.Get32(entry + 4);
      const bool subdirectory = (target & kHighBit) != 0;
      if (subdirectory != (level < 2)) {
        error = "damaged resource directory (not three levels: type, name, language)";
        return false;
      }
      if (level == 0) path.type = key;
      if (level == 1) path.name = key;
      if (level < 2) {
        if (!Walk(target & ~kHighBit, level + 1, path, out, error)) return false;
        continue;
      }
      if (key.IsNamed()) {
        error = "damaged resource directory (a language given by name)";
        return false;
      }
      path.language = key.id;
      if (!Data(target, path, out, error)) return false;
    }
    return true;
  }

  bool Key(uint32_t field, ResourceKey& key, std::string& error) {
    if ((field & kHighBit) == 0) {
      if (field > 0xFFFF) {
        error = "damaged resource directory (an identifier above 65535)";
        return false;
      }
      key = ResourceKey::Number(static_cast<uint16_t>(field));
      return true;
    }
    const uint32_t at = field & ~kHighBit;
    if (!Fits(at, 2, tree_.size()) || !Fits(at + 2, 2ull * tree_.Get16(at), tree_.size()) || tree_.Get16(at) == 0) {
      error = "damaged resource directory (a name outside the section or empty)";
      return false;
    }
    key.id = 0;
    key.name.clear();
    for (uint32_t k = 0; k < tree_.Get16(at); ++k) key.name.push_back(static_cast<char16_t>(tree_.Get16(at + 2 + 2 * k)));
    return true;
  }

  bool Data(uint32_t offset, Resource& path, std::vector<Resource>& out, std::string& error) {
    if (!Fits(offset, 16, tree_.size())) {
      error = "damaged resource directory (a data entry outside the section)";
      return false;
    }
    const uint32_t rva = tree_.Get32(offset);
    const uint32_t size = tree_.Get32(offset + 4);
    const size_t section = SectionOf(image_, rva, size);
    if (section == image_.sections.size()) {
      error = "damaged resource " + path.type.Show() + "/" + path.name.Show() + " (its data lies outside the file)";
      return false;
    }
    totalBytes_ += size;
    if (out.size() >= kMaxResources || totalBytes_ > fileSize_) {
      error = "damaged resource directory (more resources or bytes than the file holds)";
      return false;
    }
    const Section& s = image_.sections[section];
    const uint64_t at = s.rawOffset + static_cast<uint64_t>(rva - s.virtualAddress);
    path.codepage = tree_.Get32(offset + 8);
    path.fileOffset = at;
    path.size = size;
    path.from = nullptr;
    path.data.clear();
    if (size > heldBytes_) {
      path.from = &file_;
    } else {
      path.data.resize(size);
      if (!file_.ReadAt(at, path.data.data(), size)) {
        error = "cannot read resource " + path.type.Show() + "/" + path.name.Show();
        return false;
      }
    }
    out.push_back(path);
    return true;
  }

  archive::RandomSource& file_;
  const Image& image_;
  TreeBytes& tree_;
  size_t heldBytes_;
  uint64_t fileSize_;
  std::set<uint32_t> visited_;
  uint64_t totalBytes_ = 0;
};

// Resource directories order named entries before numbered ones, names by
// their code units with ASCII letters folded to capitals (as the loader
// searches them), numbers ascending.
bool KeyLess(const ResourceKey& a, const ResourceKey& b) {
  if (a.IsNamed() != b.IsNamed()) return a.IsNamed();
  if (!a.IsNamed()) return a.id < b.id;
  auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; };
  return std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
                                      [&](char16_t x, char16_t y) { return fold(x) < fold(y); });
}

struct KeyOrder {
  bool operator()(const ResourceKey& a, const ResourceKey& b) const { return KeyLess(a, b); }
};

using LanguageMap = std::map<uint16_t, const Resource*>;
using NameMap = std::map<ResourceKey, LanguageMap, KeyOrder>;
using TypeMap = std::map<ResourceKey, NameMap, KeyOrder>;

// Lays the tree out as linkers do: every directory table, then the data
// entries, then the name strings, then the data (8-byte aligned).
class TreeWriter {
 public:
  bool Build(const std::vector<Resource>& resources, std::string& error) {
    for (const Resource& r : resources) {
      if (!types_[r.type][r.name].emplace(r.language, &r).second) {
        error = "resource " + r.type.Show() + "/" + r.name.Show() + " language " + std::to_string(r.language) +
                " given twice";
        return false;
      }
    }
    uint64_t size = 16 + 8 * types_.size();
    for (const auto& [type, names] : types_) {
      size += 16 + 8 * names.size();
      for (const auto& [name, languages] : names) size += 16 + 8 * languages.size();
    }
    dataEntries_ = size;
    size += 16 * resources.size();
    stringsAt_ = size;
    for (const auto& [type, names] : types_) {
      size += KeyBytes(type);
      for (const auto& [name, languages] : names) size += KeyBytes(name);
    }
    dataAt_ = AlignUp(size, kDataAlignment);
    size = dataAt_;
    for (const Resource& r : resources) size = AlignUp(size + r.Size(), kDataAlignment);
    size_ = size;
    if (size_ > 0xFFFFFFFFull) {
      error = "the resources come to 4 GiB or more";
      return false;
    }
    return true;
  }

  uint64_t Size() const { return size_; }

  // The directory part of the tree for a section at `rva`: the tables, data
  // entries and names (DataAt() bytes); `placed` receives every resource
  // with the offset of its data, in the order of those offsets.
  std::vector<uint8_t> Directory(uint32_t rva, std::vector<std::pair<uint64_t, const Resource*>>& placed) {
    std::vector<uint8_t> bytes(static_cast<size_t>(dataAt_), 0);
    uint8_t* out = bytes.data();
    uint64_t tables = 0, entries = dataEntries_, strings = stringsAt_, data = dataAt_;
    auto table = [&](size_t named, size_t numbered) {
      const uint64_t at = tables;
      Put16(out + at + 12, static_cast<uint16_t>(named));
      Put16(out + at + 14, static_cast<uint16_t>(numbered));
      tables += 16 + 8 * (named + numbered);
      return at;
    };
    auto key = [&](uint8_t* entry, const ResourceKey& k) {
      if (!k.IsNamed()) {
        Put32(entry, k.id);
        return;
      }
      Put32(entry, static_cast<uint32_t>(strings) | kHighBit);
      Put16(out + strings, static_cast<uint16_t>(k.name.size()));
      for (size_t i = 0; i < k.name.size(); ++i) Put16(out + strings + 2 + 2 * i, k.name[i]);
      strings += KeyBytes(k);
    };
    auto counts = [](const auto& map) {
      size_t named = 0;
      for (const auto& item : map) named += item.first.IsNamed() ? 1 : 0;
      return std::pair<size_t, size_t>(named, map.size() - named);
    };
    // Tables breadth first: the root, every type's, every name's.
    const auto [typesNamed, typesNumbered] = counts(types_);
    const uint64_t root = table(typesNamed, typesNumbered);
    std::vector<uint64_t> typeTables;
    size_t t = 0;
    for (const auto& [type, names] : types_) {
      const auto [named, numbered] = counts(names);
      typeTables.push_back(table(named, numbered));
      key(out + root + 16 + 8 * t, type);
      Put32(out + root + 16 + 8 * t + 4, static_cast<uint32_t>(typeTables.back()) | kHighBit);
      ++t;
    }
    t = 0;
    placed.clear();
    for (const auto& [type, names] : types_) {
      size_t n = 0;
      for (const auto& [name, languages] : names) {
        const uint64_t nameTable = table(0, languages.size());
        uint8_t* nameEntry = out + typeTables[t] + 16 + 8 * n;
        key(nameEntry, name);
        Put32(nameEntry + 4, static_cast<uint32_t>(nameTable) | kHighBit);
        size_t l = 0;
        for (const auto& [language, resource] : languages) {
          uint8_t* languageEntry = out + nameTable + 16 + 8 * l;
          Put32(languageEntry, language);
          Put32(languageEntry + 4, static_cast<uint32_t>(entries));
          Put32(out + entries, rva + static_cast<uint32_t>(data));
          Put32(out + entries + 4, static_cast<uint32_t>(resource->Size()));
          Put32(out + entries + 8, resource->codepage);
          entries += 16;
          placed.emplace_back(data, resource);
          data = AlignUp(data + resource->Size(), kDataAlignment);
          ++l;
        }
        ++n;
      }
      ++t;
    }
    return bytes;
  }

 private:
  static uint64_t KeyBytes(const ResourceKey& k) { return k.IsNamed() ? 2 + 2 * k.name.size() : 0; }

  TypeMap types_;
  uint64_t dataEntries_ = 0, stringsAt_ = 0, dataAt_ = 0, size_ = 0;
};

}  // namespace

ResourceKey ResourceKey::Named(const char* ascii) {
  ResourceKey k;
  for (const char* p = ascii; *p; ++p) k.name.push_back(static_cast<char16_t>(static_cast<unsigned char>(*p)));
  return k;
}

std::string ResourceKey::Show() const {
  std::string shown;
  if (!IsNamed()) return shown.append("#").append(std::to_string(id));
  for (char16_t c : name) {
    if (c >= 0x20 && c < 0x7F) {
      shown += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\u%04X", static_cast<unsigned>(c));
      shown += hex;
    }
  }
  return shown;
}

std::vector<const Resource*> Image::Find(const ResourceKey& type, const ResourceKey& name) const {
  std::vector<const Resource*> found;
  for (const Resource& r : resources) {
    if (r.type == type && r.name == name) found.push_back(&r);
  }
  return found;
}

namespace {

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
  if (layout.directoryCount > kDirCertificates) image.certificateEntry = layout.directories + kDirectoryEntrySize * kDirCertificates;
  for (const Section& s : image.sections) {
    if (s.rawSize != 0) image.sectionsEnd = std::max<uint64_t>(image.sectionsEnd, static_cast<uint64_t>(s.rawOffset) + s.rawSize);
  }
  const Directory certificates = GetDirectory(head, layout, kDirCertificates);
  if (certificates.size != 0) {
    if (!Fits(certificates.rva, certificates.size, fileSize) || certificates.rva < layout.sectionTable) {
      error = "damaged certificate table entry (outside the file)";
      return false;
    }
    image.certificateOffset = certificates.rva;
    image.certificateSize = certificates.size;
  }
  const Directory resources = GetDirectory(head, layout, kDirResources);
  if (resources.rva == 0 || resources.size == 0) return true;
  const size_t section = SectionOf(image, resources.rva, 16);
  if (section == image.sections.size()) {
    error = "damaged resource directory entry (outside every section)";
    return false;
  }
  const Section& s = image.sections[section];
  const uint64_t treeAt = s.rawOffset + static_cast<uint64_t>(resources.rva - s.virtualAddress);
  TreeBytes tree(file, treeAt, s.rawOffset + static_cast<uint64_t>(s.rawSize) - treeAt);
  TreeReader reader(file, image, tree, heldBytes);
  if (!reader.Read(image.resources, error)) return false;
  image.resourceSection = section;
  image.hasResources = true;
  return true;
}

// Copies `size` bytes of `from` at `at` to `put`, a buffer at a time.
template <typename Put>
bool CopyRange(archive::RandomSource& from, uint64_t at, uint64_t size, Put& put) {
  std::vector<uint8_t> chunk(static_cast<size_t>(std::min<uint64_t>(size, kChunk)));
  while (size > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size, chunk.size()));
    if (!from.ReadAt(at, chunk.data(), n) || !put(chunk.data(), n)) return false;
    at += n;
    size -= n;
  }
  return true;
}

}  // namespace

bool Parse(archive::RandomSource& file, Image& image, std::string& error) {
  return ParseFrom(file, image, error, kHeldBytes);
}

bool Parse(std::span<const uint8_t> file, Image& image, std::string& error) {
  archive::MemoryRandomSource source(file);
  return ParseFrom(source, image, error, SIZE_MAX);
}

void ChecksumSum::Add(const uint8_t* data, size_t size) {
  // Little-endian 16-bit words at even file offsets; the checksum field counts as zero.
  size_t i = 0;
  while (i < size) {
    const uint64_t at = length_ + i;
    const bool pairOutsideField = at + 1 < field_ || at >= field_ + 4;
    if ((at & 1) == 0 && i + 1 < size && pairOutsideField) {
      sum_ += data[i] | static_cast<uint32_t>(data[i + 1]) << 8;
      i += 2;
      continue;
    }
    const uint32_t byte = at >= field_ && at < field_ + 4 ? 0 : data[i];
    sum_ += (at & 1) != 0 ? byte << 8 : byte;
    ++i;
  }
  length_ += size;
}

uint32_t ChecksumSum::Value() const {
  // The one's-complement sum folded into 16 bits, plus the file's length.
  uint64_t sum = sum_;
  while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + length_);
}

uint32_t Checksum(std::span<const uint8_t> file, size_t checksumOffset) {
  ChecksumSum sum(checksumOffset);
  sum.Add(file.data(), file.size());
  return sum.Value();
}

bool Checksum(archive::RandomSource& file, size_t checksumOffset, uint32_t& value) {
  ChecksumSum sum(checksumOffset);
  auto add = [&](const uint8_t* data, size_t size) {
    sum.Add(data, size);
    return true;
  };
  if (!CopyRange(file, 0, file.Length(), add)) return false;
  value = sum.Value();
  return true;
}

bool VectorOutput::Write(const uint8_t* data, size_t size) {
  out_.insert(out_.end(), data, data + size);
  return true;
}

bool VectorOutput::Overwrite(uint64_t offset, const uint8_t* data, size_t size) {
  if (offset > out_.size() || size > out_.size() - offset) return false;
  std::copy(data, data + size, out_.begin() + static_cast<std::ptrdiff_t>(offset));
  return true;
}

bool DropCertificates(std::span<const uint8_t> file, const Image& image, std::vector<uint8_t>& out,
                      std::string& error) {
  if (!image.Signed()) {
    out.assign(file.begin(), file.end());
    return true;
  }
  if (static_cast<uint64_t>(image.certificateOffset) + image.certificateSize != file.size() ||
      image.certificateOffset < image.sectionsEnd) {
    error = "the certificate table is not at the end of the file";
    return false;
  }
  out.assign(file.begin(), file.begin() + image.certificateOffset);
  Put32(out.data() + image.certificateEntry, 0);
  Put32(out.data() + image.certificateEntry + 4, 0);
  Put32(out.data() + image.checksumOffset, 0);
  Put32(out.data() + image.checksumOffset, Checksum(out, image.checksumOffset));
  return true;
}

namespace {

// What a rewrite keeps and where it puts it.
struct RewritePlan {
  std::vector<uint8_t> head;      // the file up to the resources, its headers set for the new file
  Layout layout;
  std::vector<size_t> moved;      // the sections after the resources, by address
  std::vector<uint64_t> movedAt;  // their new file offsets
  uint64_t rawEnd = 0;            // the end of the last section's data in the file
  uint64_t tailEnd = 0;           // the end of what follows the sections and stays
  uint64_t newRawEnd = 0;         // the end of the sections in the new file
};

// The sections after the resource section, which have to move with its new
// size: only base relocations may (their content names other sections'
// addresses, not their own), and nothing else may point into them.
bool FindMovingSections(archive::RandomSource& file, const Image& image, RewritePlan& plan, std::string& error) {
  const Section& rsrc = image.sections[image.resourceSection];
  const Directory relocations = GetDirectory(plan.head, plan.layout, kDirRelocations);
  for (size_t i = 0; i < image.sections.size(); ++i) {
    const Section& s = image.sections[i];
    if (s.rawSize != 0) plan.rawEnd = std::max<uint64_t>(plan.rawEnd, static_cast<uint64_t>(s.rawOffset) + s.rawSize);
    if (i == image.resourceSection) continue;
    const bool afterInMemory = s.virtualAddress > rsrc.virtualAddress;
    const bool afterInFile = s.rawSize != 0 && s.rawOffset >= rsrc.rawOffset;
    if (!afterInMemory && !afterInFile) continue;
    const bool isRelocations = relocations.size != 0 && relocations.rva >= s.virtualAddress &&
                               relocations.rva - s.virtualAddress < std::max(s.virtualSize, s.rawSize);
    if (!afterInMemory || !isRelocations || (s.rawSize != 0 && !afterInFile)) {
      error = "section " + s.name + " follows the resources and cannot be moved";
      return false;
    }
    plan.moved.push_back(i);
  }
  std::sort(plan.moved.begin(), plan.moved.end(), [&](size_t a, size_t b) {
    return image.sections[a].virtualAddress < image.sections[b].virtualAddress;
  });
  for (uint32_t d = 0; d < plan.layout.directoryCount; ++d) {
    if (d == kDirResources || d == kDirCertificates || d == kDirRelocations) continue;
    const Directory dir = GetDirectory(plan.head, plan.layout, d);
    if (dir.size == 0) continue;
    for (size_t i : plan.moved) {
      const Section& s = image.sections[i];
      if (dir.rva >= s.virtualAddress && dir.rva - s.virtualAddress < std::max(s.virtualSize, s.rawSize)) {
        error = "data directory " + std::to_string(d) + " points into " + s.name + ", which has to move";
        return false;
      }
    }
    if (d != kDirDebug) continue;
    // Debug data is found by file offset as well.
    const size_t section = SectionOf(image, dir.rva, dir.size);
    if (section == image.sections.size()) continue;
    const Section& s = image.sections[section];
    std::vector<uint8_t> entries(dir.size);
    if (!file.ReadAt(s.rawOffset + static_cast<uint64_t>(dir.rva - s.virtualAddress), entries.data(), entries.size())) {
      error = "cannot read the debug directory";
      return false;
    }
    for (size_t at = 0; at + kDebugEntrySize <= entries.size(); at += kDebugEntrySize) {
      if (Get32(entries, at + kDebugRawPointer) >= rsrc.rawOffset) {
        error = "debug data lies after the resources";
        return false;
      }
    }
  }
  return true;
}

// Sets the headers in plan.head for a resource tree of `treeSize` bytes: the
// resource section's sizes, the moved sections' addresses and file offsets,
// the symbol table's offset, the image's sizes and directories. The checksum
// field is left 0, to be summed as the file is written.
void LayOutRewrite(const Image& image, uint64_t treeSize, RewritePlan& plan, RewriteReport& report) {
  const Section& rsrc = image.sections[image.resourceSection];
  const Layout& layout = plan.layout;
  uint8_t* const head = plan.head.data();
  auto sectionHeader = [&](size_t i) { return head + layout.sectionTable + kSectionHeaderSize * i; };
  auto directory = [&](uint32_t d) { return head + layout.directories + kDirectoryEntrySize * d; };
  const uint64_t rsrcRaw = AlignUp(treeSize, image.fileAlignment);
  Put32(sectionHeader(image.resourceSection) + kSectionVirtualSize, static_cast<uint32_t>(treeSize));
  Put32(sectionHeader(image.resourceSection) + kSectionRawSize, static_cast<uint32_t>(rsrcRaw));

  const Directory relocations = GetDirectory(plan.head, layout, kDirRelocations);
  uint64_t end = rsrc.rawOffset + rsrcRaw;
  uint64_t nextAddress = AlignUp(static_cast<uint64_t>(rsrc.virtualAddress) + treeSize, image.sectionAlignment);
  for (size_t i : plan.moved) {
    const Section& s = image.sections[i];
    end = AlignUp(end, image.fileAlignment);
    plan.movedAt.push_back(end);
    Put32(sectionHeader(i) + kSectionAddress, static_cast<uint32_t>(nextAddress));
    if (s.rawSize != 0) {
      Put32(sectionHeader(i) + kSectionRawOffset, static_cast<uint32_t>(end));
      end += s.rawSize;
    }
    if (relocations.rva >= s.virtualAddress && relocations.rva - s.virtualAddress < std::max(s.virtualSize, s.rawSize)) {
      Put32(directory(kDirRelocations), static_cast<uint32_t>(nextAddress + (relocations.rva - s.virtualAddress)));
    }
    nextAddress = AlignUp(nextAddress + std::max(s.virtualSize, s.rawSize), image.sectionAlignment);
    ++report.movedSections;
  }
  plan.newRawEnd = AlignUp(end, image.fileAlignment);
  report.fileSize = plan.newRawEnd + (plan.tailEnd - std::min(plan.rawEnd, plan.tailEnd));
  const uint32_t symbols = Get32(plan.head, layout.coff + kCoffSymbolTable);
  if (symbols != 0 && symbols >= plan.rawEnd) {
    Put32(head + layout.coff + kCoffSymbolTable, static_cast<uint32_t>(symbols - plan.rawEnd + plan.newRawEnd));
  }
  // The image ends with its last section, whichever that is now.
  uint64_t imageEnd = 0;
  for (size_t i = 0; i < image.sections.size(); ++i) {
    const size_t at = layout.sectionTable + kSectionHeaderSize * i;
    const uint64_t span = std::max(Get32(plan.head, at + kSectionVirtualSize), Get32(plan.head, at + kSectionRawSize));
    imageEnd = std::max(imageEnd, AlignUp(Get32(plan.head, at + kSectionAddress) + span, image.sectionAlignment));
  }
  report.imageSize = imageEnd;
  Put32(head + layout.optional + kOptSizeOfImage, static_cast<uint32_t>(imageEnd));
  const uint32_t initialised = Get32(plan.head, layout.optional + kOptInitialisedData);
  Put32(head + layout.optional + kOptInitialisedData, initialised - rsrc.rawSize + static_cast<uint32_t>(rsrcRaw));
  Put32(directory(kDirResources), rsrc.virtualAddress);
  Put32(directory(kDirResources) + kDirectorySizeField, static_cast<uint32_t>(treeSize));
  if (layout.directoryCount > kDirCertificates) {
    Put32(directory(kDirCertificates), 0);
    Put32(directory(kDirCertificates) + kDirectorySizeField, 0);
  }
  Put32(head + image.checksumOffset, 0);
}

// Writes the new file in order, summing its checksum on the way, then puts
// the checksum in.
bool WriteRewrite(archive::RandomSource& file, const Image& image, TreeWriter& tree, const RewritePlan& plan,
                  const RewriteReport& report, Output& out, std::string& error) {
  const Section& rsrc = image.sections[image.resourceSection];
  ChecksumSum sum(image.checksumOffset);
  uint64_t written = 0;
  auto put = [&](const uint8_t* data, size_t size) {
    sum.Add(data, size);
    written += size;
    return out.Write(data, size);
  };
  const uint8_t zeros[512] = {};
  auto padTo = [&](uint64_t offset) {
    while (written < offset) {
      if (!put(zeros, static_cast<size_t>(std::min<uint64_t>(offset - written, sizeof zeros)))) return false;
    }
    return true;
  };
  std::vector<std::pair<uint64_t, const Resource*>> placed;
  const std::vector<uint8_t> directory = tree.Directory(rsrc.virtualAddress, placed);
  bool ok = put(plan.head.data(), plan.head.size()) && put(directory.data(), directory.size());
  for (const auto& [offset, resource] : placed) {
    if (!ok) break;
    ok = padTo(rsrc.rawOffset + offset) &&
         (resource->from != nullptr ? CopyRange(*resource->from, resource->fileOffset, resource->size, put)
                                    : put(resource->data.data(), resource->data.size()));
  }
  for (size_t k = 0; k < plan.moved.size() && ok; ++k) {
    const Section& s = image.sections[plan.moved[k]];
    ok = padTo(plan.movedAt[k]) && CopyRange(file, s.rawOffset, s.rawSize, put);
  }
  const uint64_t tail = plan.tailEnd - std::min(plan.rawEnd, plan.tailEnd);
  ok = ok && padTo(plan.newRawEnd) && CopyRange(file, plan.rawEnd, tail, put);
  if (!ok || written != report.fileSize) {
    error = "cannot read the stub, a resource, or write the new file";
    return false;
  }
  uint8_t checksum[4];
  Put32(checksum, sum.Value());
  if (!out.Overwrite(image.checksumOffset, checksum, sizeof checksum)) {
    error = "cannot write the new file";
    return false;
  }
  return true;
}

}  // namespace

bool Rewrite(archive::RandomSource& file, const Image& image, const std::vector<Resource>& resources, Output& out,
             RewriteReport& report, std::string& error, uint64_t imageLimit) {
  report = {};
  if (!image.hasResources) {
    error = "the file has no resource section to rewrite";
    return false;
  }
  const Section& rsrc = image.sections[image.resourceSection];
  if (rsrc.rawSize == 0 || rsrc.rawOffset % image.fileAlignment != 0) {
    error = "the resource section has no file data or is not aligned";
    return false;
  }
  // Everything before the resources (headers and code) is kept in memory and
  // patched; everything from the resources on is written as it is streamed.
  RewritePlan plan;
  const uint64_t fileSize = file.Length();
  plan.head.resize(rsrc.rawOffset);
  Image current;
  if (!file.ReadAt(0, plan.head.data(), plan.head.size())) {
    error = "cannot read the file";
    return false;
  }
  if (!ReadLayout(plan.head, fileSize, current, plan.layout, error)) return false;
  if (GetDirectory(plan.head, plan.layout, kDirResources).rva != rsrc.virtualAddress) {
    error = "the resources do not start their section (" + rsrc.name + ")";
    return false;
  }
  if (!FindMovingSections(file, image, plan, error)) return false;

  // Anything after the sections stays, except the certificate table: a
  // signature over the old file means nothing for the new one.
  plan.tailEnd = fileSize;
  if (image.Signed()) {
    if (static_cast<uint64_t>(image.certificateOffset) + image.certificateSize != fileSize ||
        image.certificateOffset < plan.rawEnd) {
      error = "the certificate table is not at the end of the file";
      return false;
    }
    plan.tailEnd = image.certificateOffset;
    report.droppedSignature = true;
  }
  const uint32_t symbols = Get32(plan.head, plan.layout.coff + kCoffSymbolTable);
  if (symbols != 0 && symbols >= rsrc.rawOffset && symbols < plan.rawEnd) {
    error = "the symbol table lies among the sections that move";
    return false;
  }

  TreeWriter tree;
  if (!tree.Build(resources, error)) return false;
  LayOutRewrite(image, tree.Size(), plan, report);
  if (report.fileSize > 0xFFFFFFFFull) {
    error = "the executable would be 4 GiB or larger";
    return false;
  }
  if (report.imageSize > imageLimit) {
    error = "the image would take " + std::to_string(report.imageSize) + " bytes of memory, more than the limit of " +
            std::to_string(imageLimit);
    return false;
  }
  return WriteRewrite(file, image, tree, plan, report, out, error);
}

bool Rewrite(std::span<const uint8_t> file, const Image& image, const std::vector<Resource>& resources,
             std::vector<uint8_t>& out, RewriteReport& report, std::string& error) {
  archive::MemoryRandomSource source(file);
  VectorOutput output(out);
  return Rewrite(source, image, resources, output, report, error);
}

}  // namespace pe
