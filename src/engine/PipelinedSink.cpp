#include "engine/PipelinedSink.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

// Every wake-up of a sleeping thread is a trip through the scheduler, which
// on a busy machine costs more than writing a block. So the two threads hand
// blocks over through two counters, without a lock, and sleep only when they
// must: the writer when nothing is queued (until half a ring is, or a sink
// waits to be drained), the decoding thread when all blocks are queued
// (until half of them are free) or while it drains a sink.

namespace archive {

WriterThread::~WriterThread() {
  stopping_.store(true);
  WakeWriter();
  if (thread_.joinable()) thread_.join();
}

std::unique_ptr<OutputSink> WriterThread::Wrap(std::unique_ptr<OutputSink> sink) {
  if (!sink) return nullptr;
  return std::make_unique<PipelinedSink>(*this, std::move(sink));
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

void WriterThread::Run() noexcept {
  uint64_t done = 0;
  for (;;) {
    if (queued_.load(std::memory_order_acquire) == done) {
      WaitForBlocks(done);
      if (queued_.load(std::memory_order_acquire) == done) return;  // stopping, and all written
    }
    Block& block = blocks_[done % blocks_.size()];
    PipelinedSink& sink = *block.sink;
    bool ok = false;
    if (!sink.failed_.load(std::memory_order_relaxed)) {  // after a failure its blocks are dropped
      try {
        ok = sink.sink_->Write(block.bytes.get(), block.size);
      } catch (...) {
        ok = false;  // nothing may escape this thread; a throwing sink has failed
      }
    }
    if (!ok) sink.failed_.store(true);
    written_.store(++done);
    // `sink` may be gone from here on.
    const uint64_t awaited = sinkWaitsFor_.load();
    if (awaited != 0 && (done >= awaited || !ok)) {
      std::lock_guard<std::mutex> lock(mutex_);
      sinkWake_.notify_one();
    }
  }
}

PipelinedSink::PipelinedSink(WriterThread& writer, std::unique_ptr<OutputSink> sink)
    : writer_(writer), sink_(std::move(sink)) {}

PipelinedSink::~PipelinedSink() { Drain(); }

void PipelinedSink::WaitUntilWritten(uint64_t blocks, bool orFailed) {
  WriterThread& w = writer_;
  std::unique_lock<std::mutex> lock(w.mutex_);
  w.sinkWaitsFor_.store(blocks);
  while (w.written_.load() < blocks && !(orFailed && failed_.load())) w.sinkWake_.wait(lock);
  w.sinkWaitsFor_.store(0);
}

void PipelinedSink::Drain() {
  WriterThread& w = writer_;
  if (!threaded_ || w.written_.load(std::memory_order_acquire) >= end_) return;
  w.draining_.store(true);
  if (w.writerWaitsFor_.load() != 0) w.WakeWriter();
  WaitUntilWritten(end_, false);
  w.draining_.store(false);
}

bool PipelinedSink::Write(const uint8_t* data, size_t size) {
  if (closed_) return false;
  // A first write smaller than a block is written at once: the decoder hands
  // over whole blocks but for a record's last, so this is a record of one
  // block, and handing it over would only add two thread switches to its
  // file. The writer's thread starts with the first block handed over, so an
  // archive of small files never starts it. Without a thread all is written here.
  const bool small = !wroteBefore_ && size < WriterThread::kBlockSize;
  wroteBefore_ = true;
  if (!small && !threaded_) threaded_ = writer_.Start();
  if (!threaded_) {
    if (!failed_.load(std::memory_order_relaxed) && !sink_->Write(data, size)) failed_.store(true);
    return !failed_.load(std::memory_order_relaxed);
  }
  WriterThread& w = writer_;
  const uint64_t ring = w.blocks_.size();
  while (size > 0) {
    const uint64_t queued = w.queued_.load(std::memory_order_relaxed);  // only this thread moves it
    if (queued - w.written_.load(std::memory_order_acquire) == ring) {
      WaitUntilWritten(queued - ring + w.Batch(), true);  // until half the ring is free
    }
    if (failed_.load()) return false;
    const size_t n = std::min(size, WriterThread::kBlockSize);
    WriterThread::Block& block = w.blocks_[queued % ring];
    std::memcpy(block.bytes.get(), data, n);
    block.size = n;
    block.sink = this;
    end_ = queued + 1;
    w.queued_.store(end_);
    const uint64_t awaited = w.writerWaitsFor_.load();
    if (awaited != 0 && end_ >= awaited) w.WakeWriter();
    data += n;
    size -= n;
  }
  return true;
}

bool PipelinedSink::Close() {
  if (closed_) return false;
  closed_ = true;
  Drain();  // after it the writer's thread no longer touches this sink
  const bool wrote = !failed_.load();
  const bool closed = sink_->Close();
  return wrote && closed;
}

}  // namespace archive
