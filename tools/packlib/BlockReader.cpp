// The block reader: each record's header, then its file a block at a time, held to the size it had.
#include "packlib/BlockReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace packer {

bool BlockReader::Fill(Slot& slot, std::string& error) {
  slot.header.clear();
  const bool first = file_ == nullptr;
  if (first) {
    const PackItem& item = items_[next_];
    left_ = sizes_[next_];
    if (left_ == 0 || left_ > kMaxFileSize) {
      error = item.file.string() + ": size changed while packing";
      return false;
    }
    file_.reset(OpenFile(item.file, "rb"));
    if (!file_) {
      error = item.file.string() + ": cannot read";
      return false;
    }
    const auto size = static_cast<uint32_t>(left_);
    slot.header.push_back(static_cast<uint8_t>(item.name.size()));
    slot.header.insert(slot.header.end(), item.name.begin(), item.name.end());
    for (int k = 0; k < 4; ++k) slot.header.push_back(static_cast<uint8_t>(size >> (8 * k)));
  }
  const PackItem& item = items_[next_];
  const size_t n = static_cast<size_t>(std::min<uint64_t>(left_, kEncodeBlock));
  slot.historyLen = first ? 0 : kEncodeHistory;
  slot.previousHeadLen = first ? 0 : kBlockHead;
  slot.input.resize(slot.historyLen + n);
  if (!first) {
    std::memcpy(slot.input.data(), history_, kEncodeHistory);
    std::memcpy(slot.previousHead, head_, kBlockHead);
  }
  uint8_t* const block = slot.input.data() + slot.historyLen;
  const bool got = std::fread(block, 1, n, file_.get()) == n;
  left_ -= n;
  // The file must end where its size said when the packing started.
  if (got && left_ == 0 && std::fgetc(file_.get()) == EOF && !std::ferror(file_.get())) {
    slot.last = true;
    file_.reset();
    ++next_;
    return true;
  }
  if (!got || left_ == 0) {
    error = item.file.string() + (std::ferror(file_.get()) ? ": cannot read" : ": size changed while packing");
    return false;
  }
  // Not the last block, so a full one: the next block's history and head.
  slot.last = false;
  std::memcpy(history_, block + n - kEncodeHistory, kEncodeHistory);
  std::memcpy(head_, block, kBlockHead);
  return true;
}

}  // namespace packer
