// The encode pool: its threads take the blocks in turn and mark each slot done.
#include "packlib/EncodePool.h"

#include <new>
#include <span>
#include <system_error>

namespace packer {

EncodePool::EncodePool(unsigned threads, size_t slots, Parsing parsing) : slots_(slots), parsing_(parsing) {
  try {
    for (unsigned i = 0; i < threads; ++i) threads_.emplace_back(&EncodePool::Run, this);
  } catch (const std::system_error&) {
    // Goes on with the threads that started, if any.
  }
}

EncodePool::~EncodePool() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  work_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void EncodePool::Submit() {
  {
    std::lock_guard lock(mutex_);
    ++submitted_;
  }
  work_.notify_one();
}

Slot& EncodePool::Oldest() {
  Slot& slot = slots_[released_ % slots_.size()];
  std::unique_lock lock(mutex_);
  done_.wait(lock, [&] { return slot.done; });
  return slot;
}

void EncodePool::Release() {
  std::lock_guard lock(mutex_);
  slots_[released_ % slots_.size()].done = false;
  ++released_;
}

void EncodePool::Run() {
  BlockParser parser;
  std::unique_lock lock(mutex_);
  for (;;) {
    work_.wait(lock, [&] { return stop_ || started_ < submitted_; });
    if (stop_) return;
    Slot& slot = slots_[started_++ % slots_.size()];
    lock.unlock();
    BlockInput input;
    input.history = std::span(slot.input).first(slot.historyLen);
    input.block = std::span(slot.input).subspan(slot.historyLen);
    input.previousHead = std::span(slot.previousHead, slot.previousHeadLen);
    bool failed = false;
    try {
      parser.Parse(input, parsing_, slot.parsed);
    } catch (const std::bad_alloc&) {
      failed = true;
    }
    lock.lock();
    slot.failed = failed;
    slot.done = true;
    done_.notify_one();  // only the writing thread waits
  }
}

}  // namespace packer
