// Laying out a resource tree as linkers do, and writing its directory part.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "packlib/PeResources.h"

namespace pe {

// Resource directories order named entries before numbered ones, names by
// their code units with ASCII letters folded to capitals (as the loader
// searches them), numbers ascending.
struct KeyOrder {
  bool operator()(const ResourceKey& a, const ResourceKey& b) const;
};

// Lays the tree out as linkers do: every directory table, then the data
// entries, then the name strings, then the data (8-byte aligned).
class TreeWriter {
 public:
  // Sorts `resources` (which must outlive the writer) into the tree and sizes
  // it; false for a resource given twice, a directory table of more than
  // 65535 named or 65535 numbered entries, or a tree of 4 GiB or more.
  bool Build(const std::vector<Resource>& resources, std::string& error);

  uint64_t Size() const { return size_; }

  // The directory part of the tree for a section at `rva`: the tables, data
  // entries and names, everything before the data; `placed` receives every
  // resource with the offset of its data, in the order of those offsets.
  std::vector<uint8_t> Directory(uint32_t rva, std::vector<std::pair<uint64_t, const Resource*>>& placed);

 private:
  using LanguageMap = std::map<uint16_t, const Resource*>;
  using NameMap = std::map<ResourceKey, LanguageMap, KeyOrder>;
  using TypeMap = std::map<ResourceKey, NameMap, KeyOrder>;

  static uint64_t KeyBytes(const ResourceKey& k) { return k.IsNamed() ? 2 + 2 * k.name.size() : 0; }

  TypeMap types_;
  uint64_t dataEntries_ = 0, stringsAt_ = 0, dataAt_ = 0, size_ = 0;
};

}  // namespace pe
