// The resource tree writer: the tree sized from the resources, then its tables, entries and names.
#include "packlib/ResourceWriter.h"

#include <algorithm>

#include "packlib/PeFormat.h"

namespace pe {
namespace {

constexpr size_t kDataAlignment = 8;
// A directory table counts its named and its numbered entries in 16 bits each.
constexpr size_t kMaxTableEntries = 0xFFFF;

// How many entries of a table are named, and how many numbered.
template <typename Map>
std::pair<size_t, size_t> Counts(const Map& map) {
  size_t named = 0;
  for (const auto& item : map) named += item.first.IsNamed() ? 1 : 0;
  return {named, map.size() - named};
}

// False, with a message naming the table, for a table of more entries of
// either kind than its counts hold: written, the count would be cut short.
bool TableFits(std::pair<size_t, size_t> counts, const std::string& what, std::string& error) {
  const auto [named, numbered] = counts;
  if (named <= kMaxTableEntries && numbered <= kMaxTableEntries) return true;
  const bool byName = named > kMaxTableEntries;
  error = what + ": " + std::to_string(byName ? named : numbered) + (byName ? " by name" : " by number") +
          ", more than a resource directory table holds (" + std::to_string(kMaxTableEntries) + ")";
  return false;
}

}  // namespace

bool KeyOrder::operator()(const ResourceKey& a, const ResourceKey& b) const {
  if (a.IsNamed() != b.IsNamed()) return a.IsNamed();
  if (!a.IsNamed()) return a.id < b.id;
  auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; };
  return std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
                                      [&](char16_t x, char16_t y) { return fold(x) < fold(y); });
}

bool TreeWriter::Build(const std::vector<Resource>& resources, std::string& error) {
  for (const Resource& r : resources) {
    if (!types_[r.type][r.name].emplace(r.language, &r).second) {
      error = "resource " + r.type.Show() + "/" + r.name.Show() + " language " + std::to_string(r.language) +
              " given twice";
      return false;
    }
  }
  if (!TableFits(Counts(types_), "resource types", error)) return false;
  for (const auto& [type, names] : types_) {
    if (!TableFits(Counts(names), "names of resource type " + type.Show(), error)) return false;
    for (const auto& [name, languages] : names) {
      if (!TableFits({0, languages.size()}, "languages of resource " + type.Show() + "/" + name.Show(), error)) {
        return false;
      }
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

std::vector<uint8_t> TreeWriter::Directory(uint32_t rva, std::vector<std::pair<uint64_t, const Resource*>>& placed) {
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
  // Tables breadth first: the root, every type's, every name's.
  const auto [typesNamed, typesNumbered] = Counts(types_);
  const uint64_t root = table(typesNamed, typesNumbered);
  std::vector<uint64_t> typeTables;
  size_t t = 0;
  for (const auto& [type, names] : types_) {
    const auto [named, numbered] = Counts(names);
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

}  // namespace pe
