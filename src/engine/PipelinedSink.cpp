#include "engine/PipelinedSink.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

// Every wake-up of a sleeping thread is a trip through the scheduler, which
// on a busy machine costs more than writing a block. So the two threads hand
// entries over through two counters, without a lock, and sleep only when they
// must: the writer when nothing is queued (until half a ring is, or Finish()
// waits for it), the decoding thread when all entries are queued (until half
// of them are free) or in Finish(). Closing a file is an entry like a block,
// so the decoding thread never waits for one file to be written before it
// starts the next.

namespace archive {

WriterThread::~WriterThread() {
  stopping_.store(true);
  if (thread_.joinable()) {
    WakeWriter();
    thread_.join();
  }
}

std::unique_ptr<OutputSink> WriterThread::Wrap(std::unique_ptr<OutputSink> sink, std::string name) {
  if (!sink) return nullptr;
  auto output = std::make_unique<Output>();
  output->sink = std::move(sink);
  output->name = std::move(name);
  return std::make_unique<PipelinedSink>(*this, std::move(output));
}

std::optional<std::string> WriterThread::Finish() {
  const uint64_t end = queued_.load(std::memory_order_relaxed);  // only the decoding thread moves it
  if (written_.load(std::memory_order_acquire) < end) {
    draining_.store(true);
    if (writerWaitsFor_.load() != 0) WakeWriter();
    WaitUntilWritten(end);
    draining_.store(false);
  }
  if (!Failed()) return std::nullopt;
  return failedName_;
}

bool WriterThread::Start() {
  if (!started_) {
    started_ = true;
    try {
      blocks_.resize(blockCount_);
      for (Block& block : blocks_) block.bytes.reset(new uint8_t[kBlockSize]);
      if (!blocks_.empty()) thread_ = std::thread(&WriterThread::Run, this);
    } catch (const std::system_error&) {
      blocks_.clear();  // no thread: the sinks write in the caller
    } catch (const std::bad_alloc&) {
      blocks_.clear();
    }
  }
  return thread_.joinable();
}

void WriterThread::Fail(const std::string& name) {
  bool first = false;
  if (failed_.compare_exchange_strong(first, true)) failedName_ = name;
}

void WriterThread::WakeWriter() {
  std::lock_guard<std::mutex> lock(mutex_);
  writerWake_.notify_one();
}

void WriterThread::WaitForBlocks(uint64_t done) {
  std::unique_lock<std::mutex> lock(mutex_);
  writerWaitsFor_.store(done + Batch());
  auto ready = [&] {
    const uint64_t queued = queued_.load();
    return queued >= done + Batch() || (queued > done && draining_.load()) || stopping_.load();
  };
  while (!ready()) writerWake_.wait(lock);
  writerWaitsFor_.store(0);
}

void WriterThread::WaitUntilWritten(uint64_t blocks) {
  std::unique_lock<std::mutex> lock(mutex_);
  sinkWaitsFor_.store(blocks);
  while (written_.load() < blocks) sinkWake_.wait(lock);
  sinkWaitsFor_.store(0);
}

WriterThread::Block& WriterThread::NextFree() {
  const uint64_t queued = queued_.load(std::memory_order_relaxed);
  const uint64_t ring = blocks_.size();
  if (queued - written_.load(std::memory_order_acquire) == ring) {
    WaitUntilWritten(queued - ring + Batch());  // until half the ring is free
  }
  return blocks_[queued % ring];
}

void WriterThread::Queue() {
  const uint64_t queued = queued_.load(std::memory_order_relaxed) + 1;
  queued_.store(queued);
  const uint64_t awaited = writerWaitsFor_.load();
  if (awaited != 0 && queued >= awaited) WakeWriter();
}

void WriterThread::Handle(Block& block) noexcept {
  // Nothing may escape this thread: a sink that throws has failed.
  if (block.size > 0 && !Failed()) {  // after a failure the blocks are dropped
    bool ok = false;
    try {
      ok = block.output->sink->Write(block.bytes.get(), block.size);
    } catch (...) {
    }
    if (!ok) Fail(block.output->name);
  }
  if (block.last) {
    if (block.close) {  // closed after a failure too, to let go of the file
      bool ok = false;
      try {
        ok = block.last->sink->Close();
      } catch (...) {
      }
      if (!ok) Fail(block.last->name);
    }
    block.last.reset();
  }
  block.output = nullptr;
}

void WriterThread::Run() noexcept {
  uint64_t done = 0;
  for (;;) {
    if (queued_.load(std::memory_order_acquire) == done) {
      WaitForBlocks(done);
      if (queued_.load(std::memory_order_acquire) == done) return;  // stopping, and all handled
    }
    Handle(blocks_[done % blocks_.size()]);
    written_.store(++done);
    const uint64_t awaited = sinkWaitsFor_.load();
    if (awaited != 0 && done >= awaited) {
      std::lock_guard<std::mutex> lock(mutex_);
      sinkWake_.notify_one();
    }
  }
}

PipelinedSink::PipelinedSink(WriterThread& writer, std::unique_ptr<WriterThread::Output> output)
    : writer_(writer), output_(std::move(output)), threaded_(writer.Start()) {}

PipelinedSink::~PipelinedSink() {
  if (threaded_ && output_) HandOver(false);
}

void PipelinedSink::HandOver(bool close) {
  WriterThread::Block& block = writer_.NextFree();
  block.size = 0;
  block.output = output_.get();
  block.close = close;
  block.last = std::move(output_);
  writer_.Queue();
}

bool PipelinedSink::Write(const uint8_t* data, size_t size) {
  if (closed_ || writer_.Failed()) return false;
  if (!threaded_) {
    if (output_->sink->Write(data, size)) return true;
    writer_.Fail(output_->name);
    return false;
  }
  while (size > 0) {
    if (writer_.Failed()) return false;
    WriterThread::Block& block = writer_.NextFree();
    const size_t n = std::min(size, WriterThread::kBlockSize);
    std::memcpy(block.bytes.get(), data, n);
    block.size = n;
    block.output = output_.get();
    writer_.Queue();
    data += n;
    size -= n;
  }
  return true;
}

bool PipelinedSink::Close() {
  if (closed_) return false;
  closed_ = true;
  if (threaded_) {
    HandOver(true);
  } else if (!output_->sink->Close()) {
    writer_.Fail(output_->name);
  }
  return !writer_.Failed();
}

}  // namespace archive
