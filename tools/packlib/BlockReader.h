// Reading the files to pack one after the other, a block at a time, into the pool's slots.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "packlib/EncodePool.h"
#include "packlib/HostArchive.h"
#include "packlib/HostNames.h"

namespace packer {

// Reads the files one after the other, a block at a time, into slots.
class BlockReader {
 public:
  // `sizes` are the files' sizes when the packing started; both must outlive the reader.
  BlockReader(const std::vector<PackItem>& items, const std::vector<uint64_t>& sizes)
      : items_(items), sizes_(sizes) {}

  bool More() const { return next_ < items_.size() || file_ != nullptr; }

  // Fills the slot with the next block (and the header before a record's first).
  bool Fill(Slot& slot, std::string& error);

 private:
  const std::vector<PackItem>& items_;
  const std::vector<uint64_t>& sizes_;
  size_t next_ = 0;  // the file being read, or the next one
  File file_;
  uint64_t left_ = 0;
  uint8_t history_[kEncodeHistory] = {};
  uint8_t head_[kBlockHead] = {};
};

}  // namespace packer
