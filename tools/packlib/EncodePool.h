// The threads that parse a packing's blocks, and the ring of slots the blocks pass through.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "packlib/LzssEncoder.h"

namespace packer {

// One block on its way: read, parsed on a pool thread, written.
struct Slot {
  std::vector<uint8_t> input;  // the 4096 bytes before the block (not for a record's first), then the block
  size_t historyLen = 0;
  uint8_t previousHead[kBlockHead] = {};
  size_t previousHeadLen = 0;
  std::vector<uint8_t> header;  // the record's header, written before its first block
  bool last = false;            // the record's last block: the record's last group follows it
  ParsedBlock parsed;
  bool done = false;    // parsed (guarded by the pool's mutex)
  bool failed = false;  // out of memory while parsing
};

// Parses blocks on its threads in the order they are handed in, each in a
// slot of a ring: there are never more blocks in flight than slots.
class EncodePool {
 public:
  EncodePool(unsigned threads, size_t slots, Parsing parsing);
  ~EncodePool();
  EncodePool(const EncodePool&) = delete;
  EncodePool& operator=(const EncodePool&) = delete;

  size_t Threads() const { return threads_.size(); }
  bool Full() const { return submitted_ - released_ == slots_.size(); }
  bool Empty() const { return submitted_ == released_; }

  // The slot to fill for the next block (only when not Full()), then Submit().
  Slot& Next() { return slots_[submitted_ % slots_.size()]; }
  void Submit();
  // The oldest block in flight (only when not Empty()), once parsed; then Release().
  Slot& Oldest();
  void Release();

 private:
  void Run();

  std::vector<Slot> slots_;
  const Parsing parsing_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable work_;  // a block was handed in, or stop_
  std::condition_variable done_;  // a block was parsed
  // submitted_ and released_ change only on the writing thread.
  uint64_t submitted_ = 0;  // blocks handed in
  uint64_t started_ = 0;    // blocks a thread has taken
  uint64_t released_ = 0;   // blocks written and their slots free
  bool stop_ = false;
};

}  // namespace packer
