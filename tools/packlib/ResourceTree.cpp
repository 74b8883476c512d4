// The resource tree reader, and the keys and lookups over the resources it reads.
#include "packlib/ResourceTree.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "packlib/PeFormat.h"
#include "packlib/PeParse.h"

namespace pe {
namespace {

constexpr size_t kMaxResources = 65536;

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

}  // namespace

bool ReadResourceTree(archive::RandomSource& file, const Image& image, uint64_t treeAt, uint64_t treeSize,
                      size_t heldBytes, std::vector<Resource>& out, std::string& error) {
  TreeBytes tree(file, treeAt, treeSize);
  TreeReader reader(file, image, tree, heldBytes);
  return reader.Read(out, error);
}

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

}  // namespace pe
