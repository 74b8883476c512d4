// Writing decoded output on a thread of its own, so that the next block is
// decoded while the last one is written.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/OutputSink.h"

namespace archive {

class PipelinedSink;

// One writing thread and a fixed ring of 64 KiB blocks, shared by every sink
// wrapped by it. An extraction keeps one for all its records: no thread is
// started per file, and memory stays the same whatever the archive's size.
// Its sinks are written from one thread (the decoding one) and must be gone
// before it is.
class WriterThread {
 public:
  static constexpr size_t kBlockSize = 64 * 1024;
  static constexpr size_t kDefaultBlocks = 8;

  // `blocks` 0 starts no thread: the sinks then write in the caller, as they
  // also do when the thread cannot be started. The thread and the blocks are
  // made when a sink first hands a block over.
  explicit WriterThread(size_t blocks = kDefaultBlocks) : blockCount_(blocks) {}
  ~WriterThread();
  WriterThread(const WriterThread&) = delete;
  WriterThread& operator=(const WriterThread&) = delete;

  // `sink` with its writes going through this thread; null stays null.
  std::unique_ptr<OutputSink> Wrap(std::unique_ptr<OutputSink> sink);

 private:
  friend class PipelinedSink;
  struct Block {
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
    PipelinedSink* sink = nullptr;
  };

  bool Start();  // true when the thread runs
  void Run() noexcept;  // the thread's entry: nothing may leave it
  void WaitForBlocks(uint64_t done);
  void WakeWriter();
  // Half the ring, at least one block: how many blocks a sleeping side waits
  // for, so that the two threads do not wake each other for every block.
  uint64_t Batch() const { return (blocks_.size() + 1) / 2; }

  size_t blockCount_;
  std::vector<Block> blocks_;  // block number k is blocks_[k % size]
  bool started_ = false;
  std::thread thread_;

  // The ring: blocks [written_, queued_) wait to be written. Each counter
  // has one writing thread; the other only reads it.
  std::atomic<uint64_t> queued_{0};
  std::atomic<uint64_t> written_{0};

  // Sleeping. A side that must wait publishes what it waits for, then
  // checks once more and sleeps under mutex_; the other side, having moved
  // its counter, wakes it only when that has come.
  std::mutex mutex_;
  std::condition_variable writerWake_;
  std::condition_variable sinkWake_;
  std::atomic<uint64_t> writerWaitsFor_{0};  // queued_ the writer sleeps for; 0 while awake
  std::atomic<uint64_t> sinkWaitsFor_{0};    // written_ the decoding thread sleeps for; 0 while awake
  std::atomic<bool> draining_{false};        // a sink waits for all its blocks: no batching
  std::atomic<bool> stopping_{false};
};

// Wraps a sink: Write() copies the data into the writer's blocks (waiting
// only while all of them are queued) and the writer's thread hands them to
// the wrapped sink in order. A failure there is never lost: the blocks after
// it are dropped, and a later Write() and Close() return false. Close()
// waits until every block is written, closes the wrapped sink (after a
// failure too, to let go of the file) and reports both. The destructor waits
// for the queued blocks as well; the wrapped sink's own destructor then runs.
class PipelinedSink : public OutputSink {
 public:
  PipelinedSink(WriterThread& writer, std::unique_ptr<OutputSink> sink);
  ~PipelinedSink() override;
  PipelinedSink(const PipelinedSink&) = delete;
  PipelinedSink& operator=(const PipelinedSink&) = delete;

  bool Write(const uint8_t* data, size_t size) override;
  bool Close() override;

 private:
  friend class WriterThread;
  void WaitUntilWritten(uint64_t blocks, bool orFailed);
  void Drain();  // returns once all of this sink's blocks are written

  WriterThread& writer_;
  std::unique_ptr<OutputSink> sink_;
  bool threaded_ = false;     // its blocks go through the writer's thread
  bool wroteBefore_ = false;  // Write() was called before
  bool closed_ = false;
  uint64_t end_ = 0;                // the writer's queued_ after this sink's last block
  std::atomic<bool> failed_{false};  // the wrapped sink refused a block
};

}  // namespace archive
