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

bool ReadLayout(std::span<const uint8_t> file, Image& image, Layout& layout, std::string& error) {
  if (file.size() < 0x40 || file[0] != 'M' || file[1] != 'Z') {
    error = "not a Windows executable (no MZ header)";
    return false;
  }
  const uint32_t peOffset = Get32(file, 0x3C);
  if (!Fits(peOffset, 24, file.size()) || std::memcmp(&file[peOffset], "PE\0\0", 4) != 0) {
    error = "not a Windows executable (no PE header)";
    return false;
  }
  layout.coff = peOffset + 4;
  const uint16_t sectionCount = Get16(file, layout.coff + 2);
  const uint16_t optionalSize = Get16(file, layout.coff + 16);
  layout.optional = layout.coff + 20;
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
  const size_t directoriesAt = image.pe32plus ? 112 : 96;
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
  image.sectionAlignment = Get32(file, layout.optional + 32);
  image.fileAlignment = Get32(file, layout.optional + 36);
  image.sizeOfImage = Get32(file, layout.optional + 56);
  image.checksumOffset = layout.optional + 64;
  image.checksum = Get32(file, image.checksumOffset);
  image.subsystem = Get16(file, layout.optional + 68);
  if (!PowerOfTwo(image.fileAlignment) || !PowerOfTwo(image.sectionAlignment) ||
      image.sectionAlignment < image.fileAlignment) {
    error = "damaged PE header (alignments)";
    return false;
  }
  layout.sectionTable = layout.optional + optionalSize;
  if (!Fits(layout.sectionTable, static_cast<uint64_t>(sectionCount) * 40, file.size())) {
    error = "damaged PE header (section table beyond the end of the file)";
    return false;
  }
  image.sections.clear();
  for (size_t i = 0; i < sectionCount; ++i) {
    const size_t at = layout.sectionTable + 40 * i;
    Section s;
    s.name.assign(reinterpret_cast<const char*>(&file[at]), 8);
    s.name.resize(std::min(s.name.find('\0'), s.name.size()));
    s.virtualSize = Get32(file, at + 8);
    s.virtualAddress = Get32(file, at + 12);
    s.rawSize = Get32(file, at + 16);
    s.rawOffset = Get32(file, at + 20);
    if (s.rawSize != 0 && !Fits(s.rawOffset, s.rawSize, file.size())) {
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
  const size_t at = layout.directories + 8 * index;
  return {Get32(file, at), Get32(file, at + 4)};
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

// Walks the three levels of the resource tree (type, name, language).
class TreeReader {
 public:
  TreeReader(std::span<const uint8_t> file, const Image& image, std::span<const uint8_t> tree)
      : file_(file), image_(image), tree_(tree) {}

  bool Read(std::vector<Resource>& out, std::string& error) {
    Resource path;
    return Walk(0, 0, path, out, error);
  }

 private:
  bool Walk(uint32_t offset, int level, Resource& path, std::vector<Resource>& out, std::string& error) {
    if (!Fits(offset, 16, tree_.size()) || !visited_.insert(offset).second) {
      error = "damaged resource directory (a table outside the section or used twice)";
      return false;
    }
    const uint32_t count = Get16(tree_, offset + 12) + static_cast<uint32_t>(Get16(tree_, offset + 14));
    if (!Fits(offset + 16, static_cast<uint64_t>(count) * 8, tree_.size())) {
      error = "damaged resource directory (entries outside the section)";
      return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
      const size_t entry = offset + 16 + 8 * static_cast<size_t>(i);
      ResourceKey key;
      if (!Key(Get32(tree_, entry), key, error)) return false;
      const uint32_t target = Get32(tree_, entry + 4);
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
    if (!Fits(at, 2, tree_.size()) || !Fits(at + 2, 2ull * Get16(tree_, at), tree_.size()) || Get16(tree_, at) == 0) {
      error = "damaged resource directory (a name outside the section or empty)";
      return false;
    }
    key.id = 0;
    key.name.clear();
    for (uint32_t k = 0; k < Get16(tree_, at); ++k) key.name.push_back(static_cast<char16_t>(Get16(tree_, at + 2 + 2 * k)));
    return true;
  }

  bool Data(uint32_t offset, Resource& path, std::vector<Resource>& out, std::string& error) {
    if (!Fits(offset, 16, tree_.size())) {
      error = "damaged resource directory (a data entry outside the section)";
      return false;
    }
    const uint32_t rva = Get32(tree_, offset);
    const uint32_t size = Get32(tree_, offset + 4);
    const size_t section = SectionOf(image_, rva, size);
    if (section == image_.sections.size()) {
      error = "damaged resource " + path.type.Show() + "/" + path.name.Show() + " (its data lies outside the file)";
      return false;
    }
    totalBytes_ += size;
    if (out.size() >= kMaxResources || totalBytes_ > file_.size()) {
      error = "damaged resource directory (more resources or bytes than the file holds)";
      return false;
    }
    const Section& s = image_.sections[section];
    const size_t at = s.rawOffset + (rva - s.virtualAddress);
    path.codepage = Get32(tree_, offset + 8);
    path.fileOffset = at;
    path.data.assign(file_.begin() + static_cast<std::ptrdiff_t>(at),
                     file_.begin() + static_cast<std::ptrdiff_t>(at + size));
    out.push_back(path);
    return true;
  }

  std::span<const uint8_t> file_;
  const Image& image_;
  std::span<const uint8_t> tree_;
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
    for (const Resource& r : resources) size = AlignUp(size + r.data.size(), kDataAlignment);
    size_ = size;
    if (size_ > 0xFFFFFFFFull) {
      error = "the resources come to 4 GiB or more";
      return false;
    }
    return true;
  }

  uint64_t Size() const { return size_; }

  // Writes the tree into `out` (Size() bytes, zeroed) for a section at `rva`.
  void Write(uint8_t* out, uint32_t rva) {
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
          Put32(out + entries + 4, static_cast<uint32_t>(resource->data.size()));
          Put32(out + entries + 8, resource->codepage);
          entries += 16;
          if (!resource->data.empty()) std::memcpy(out + data, resource->data.data(), resource->data.size());
          data = AlignUp(data + resource->data.size(), kDataAlignment);
          ++l;
        }
        ++n;
      }
      ++t;
    }
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

bool Parse(std::span<const uint8_t> file, Image& image, std::string& error) {
  image = {};
  Layout layout;
  if (!ReadLayout(file, image, layout, error)) return false;
  if (layout.directoryCount > kDirCertificates) image.certificateEntry = layout.directories + 8 * kDirCertificates;
  for (const Section& s : image.sections) {
    if (s.rawSize != 0) image.sectionsEnd = std::max<uint64_t>(image.sectionsEnd, static_cast<uint64_t>(s.rawOffset) + s.rawSize);
  }
  const Directory certificates = GetDirectory(file, layout, kDirCertificates);
  if (certificates.size != 0) {
    if (!Fits(certificates.rva, certificates.size, file.size()) || certificates.rva < layout.sectionTable) {
      error = "damaged certificate table entry (outside the file)";
      return false;
    }
    image.certificateOffset = certificates.rva;
    image.certificateSize = certificates.size;
  }
  const Directory resources = GetDirectory(file, layout, kDirResources);
  if (resources.rva == 0 || resources.size == 0) return true;
  const size_t section = SectionOf(image, resources.rva, 16);
  if (section == image.sections.size()) {
    error = "damaged resource directory entry (outside every section)";
    return false;
  }
  const Section& s = image.sections[section];
  const size_t treeAt = s.rawOffset + (resources.rva - s.virtualAddress);
  const std::span<const uint8_t> tree = file.subspan(treeAt, s.rawOffset + s.rawSize - treeAt);
  TreeReader reader(file, image, tree);
  if (!reader.Read(image.resources, error)) return false;
  image.resourceSection = section;
  image.hasResources = true;
  return true;
}

uint32_t Checksum(std::span<const uint8_t> file, size_t checksumOffset) {
  uint64_t sum = 0;
  for (size_t i = 0; i < file.size(); i += 2) {
    uint32_t word = file[i] | (i + 1 < file.size() ? file[i + 1] << 8 : 0);
    if (i >= checksumOffset && i < checksumOffset + 4) word = 0;
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + file.size());
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

bool Rewrite(std::span<const uint8_t> file, const Image& image, const std::vector<Resource>& resources,
             std::vector<uint8_t>& out, RewriteReport& report, std::string& error) {
  report = {};
  Image current;
  Layout layout;
  if (!ReadLayout(file, current, layout, error)) return false;
  if (!image.hasResources) {
    error = "the file has no resource section to rewrite";
    return false;
  }
  const size_t rsrcIndex = image.resourceSection;
  const Section& rsrc = image.sections[rsrcIndex];
  if (GetDirectory(file, layout, kDirResources).rva != rsrc.virtualAddress) {
    error = "the resources do not start their section (" + rsrc.name + ")";
    return false;
  }
  if (rsrc.rawSize == 0 || rsrc.rawOffset % image.fileAlignment != 0) {
    error = "the resource section has no file data or is not aligned";
    return false;
  }

  // What lies after the resource section must be movable: only base
  // relocations, whose content names other sections' addresses, not its own.
  const Directory relocations = GetDirectory(file, layout, kDirRelocations);
  std::vector<size_t> moved;
  uint64_t rawEnd = 0;
  for (size_t i = 0; i < image.sections.size(); ++i) {
    const Section& s = image.sections[i];
    if (s.rawSize != 0) rawEnd = std::max<uint64_t>(rawEnd, static_cast<uint64_t>(s.rawOffset) + s.rawSize);
    if (i == rsrcIndex) continue;
    const bool afterInMemory = s.virtualAddress > rsrc.virtualAddress;
    const bool afterInFile = s.rawSize != 0 && s.rawOffset >= rsrc.rawOffset;
    if (!afterInMemory && !afterInFile) continue;
    const bool isRelocations = relocations.size != 0 && relocations.rva >= s.virtualAddress &&
                               relocations.rva - s.virtualAddress < std::max(s.virtualSize, s.rawSize);
    if (!afterInMemory || !isRelocations || (s.rawSize != 0 && !afterInFile)) {
      error = "section " + s.name + " follows the resources and cannot be moved";
      return false;
    }
    moved.push_back(i);
  }
  std::sort(moved.begin(), moved.end(), [&](size_t a, size_t b) {
    return image.sections[a].virtualAddress < image.sections[b].virtualAddress;
  });
  // Nothing else may point into what moves.
  for (uint32_t d = 0; d < layout.directoryCount; ++d) {
    if (d == kDirResources || d == kDirCertificates || d == kDirRelocations) continue;
    const Directory dir = GetDirectory(file, layout, d);
    if (dir.size == 0) continue;
    for (size_t i : moved) {
      const Section& s = image.sections[i];
      if (dir.rva >= s.virtualAddress && dir.rva - s.virtualAddress < std::max(s.virtualSize, s.rawSize)) {
        error = "data directory " + std::to_string(d) + " points into " + s.name + ", which has to move";
        return false;
      }
    }
    if (d == kDirDebug) {
      // Debug data is found by file offset as well.
      const size_t section = SectionOf(image, dir.rva, dir.size);
      if (section == image.sections.size()) continue;
      const Section& s = image.sections[section];
      for (uint64_t at = s.rawOffset + (dir.rva - s.virtualAddress), end = at + dir.size; at + 28 <= end; at += 28) {
        if (Get32(file, at + 24) >= rsrc.rawOffset) {
          error = "debug data lies after the resources";
          return false;
        }
      }
    }
  }

  // Anything after the sections stays, except the certificate table: a
  // signature over the old file means nothing for the new one.
  uint64_t tailEnd = file.size();
  if (image.Signed()) {
    if (static_cast<uint64_t>(image.certificateOffset) + image.certificateSize != file.size() ||
        image.certificateOffset < rawEnd) {
      error = "the certificate table is not at the end of the file";
      return false;
    }
    tailEnd = image.certificateOffset;
    report.droppedSignature = true;
  }
  const uint32_t symbols = Get32(file, layout.coff + 8);
  if (symbols != 0 && symbols >= rsrc.rawOffset && symbols < rawEnd) {
    error = "the symbol table lies among the sections that move";
    return false;
  }

  TreeWriter tree;
  if (!tree.Build(resources, error)) return false;
  const uint64_t treeSize = tree.Size();
  const uint64_t rsrcRaw = AlignUp(treeSize, image.fileAlignment);
  uint64_t newSize = rsrc.rawOffset + rsrcRaw;
  for (size_t i : moved) newSize = AlignUp(newSize, image.fileAlignment) + image.sections[i].rawSize;
  newSize = AlignUp(newSize, image.fileAlignment) + (tailEnd - std::min<uint64_t>(rawEnd, tailEnd));
  if (newSize > 0xFFFFFFFFull) {
    error = "the executable would be 4 GiB or larger";
    return false;
  }

  out.assign(file.begin(), file.begin() + rsrc.rawOffset);
  out.resize(rsrc.rawOffset + rsrcRaw, 0);
  tree.Write(out.data() + rsrc.rawOffset, rsrc.virtualAddress);
  uint8_t* header = out.data() + layout.sectionTable + 40 * rsrcIndex;
  Put32(header + 8, static_cast<uint32_t>(treeSize));
  Put32(header + 16, static_cast<uint32_t>(rsrcRaw));

  uint64_t nextAddress = AlignUp(static_cast<uint64_t>(rsrc.virtualAddress) + treeSize, image.sectionAlignment);
  for (size_t i : moved) {
    const Section& s = image.sections[i];
    const uint64_t address = nextAddress;
    out.resize(AlignUp(out.size(), image.fileAlignment), 0);
    header = out.data() + layout.sectionTable + 40 * i;
    Put32(header + 12, static_cast<uint32_t>(address));
    if (s.rawSize != 0) {
      Put32(header + 20, static_cast<uint32_t>(out.size()));
      out.insert(out.end(), file.begin() + s.rawOffset, file.begin() + s.rawOffset + s.rawSize);
    }
    if (relocations.rva >= s.virtualAddress && relocations.rva - s.virtualAddress < std::max(s.virtualSize, s.rawSize)) {
      Put32(out.data() + layout.directories + 8 * kDirRelocations,
            static_cast<uint32_t>(address + (relocations.rva - s.virtualAddress)));
    }
    nextAddress = AlignUp(address + std::max(s.virtualSize, s.rawSize), image.sectionAlignment);
    ++report.movedSections;
  }
  const uint64_t newRawEnd = AlignUp(out.size(), image.fileAlignment);
  out.resize(newRawEnd, 0);
  if (rawEnd < tailEnd) out.insert(out.end(), file.begin() + static_cast<std::ptrdiff_t>(rawEnd), file.begin() + static_cast<std::ptrdiff_t>(tailEnd));
  if (symbols != 0 && symbols >= rawEnd) {
    Put32(out.data() + layout.coff + 8, static_cast<uint32_t>(symbols - rawEnd + newRawEnd));
  }

  // The image ends with its last section, whichever that is now.
  uint64_t imageEnd = 0;
  for (size_t i = 0; i < image.sections.size(); ++i) {
    const size_t at = layout.sectionTable + 40 * i;
    const uint64_t span = std::max(Get32(out, at + 8), Get32(out, at + 16));
    imageEnd = std::max(imageEnd, AlignUp(Get32(out, at + 12) + span, image.sectionAlignment));
  }
  Put32(out.data() + layout.optional + 56, static_cast<uint32_t>(imageEnd));
  const uint32_t initialised = Get32(out, layout.optional + 8);
  Put32(out.data() + layout.optional + 8, initialised - rsrc.rawSize + static_cast<uint32_t>(rsrcRaw));
  Put32(out.data() + layout.directories + 8 * kDirResources, rsrc.virtualAddress);
  Put32(out.data() + layout.directories + 8 * kDirResources + 4, static_cast<uint32_t>(treeSize));
  if (layout.directoryCount > kDirCertificates) {
    Put32(out.data() + layout.directories + 8 * kDirCertificates, 0);
    Put32(out.data() + layout.directories + 8 * kDirCertificates + 4, 0);
  }
  Put32(out.data() + image.checksumOffset, 0);
  Put32(out.data() + image.checksumOffset, Checksum(out, image.checksumOffset));
  return true;
}

}  // namespace pe
