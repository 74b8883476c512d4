// Writing decoded output on a thread of its own, so that the next block is
// decoded while the last one is written.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/OutputSink.h"

namespace archive {

class PipelinedSink;

// One writing thread and a fixed ring of 64 KiB blocks, shared by every sink
// wrapped by it. An extraction keeps one for all its records: no thread is
// started per file, and memory stays the same whatever the archive's size.
//
// Closing a sink queues its closing too, so decoding goes on into the next
// record while the last one's blocks are written; Finish() waits for all of
// it. A failure of any wrapped sink ends the writing: every later block is
// dropped (the files are still closed, to let go of them), every later
// Write() and Close() returns false, and Finish() names the sink that failed.
// Its sinks are written from one thread (the decoding one) and must be gone
// before it is.
class WriterThread {
 public:
  static constexpr size_t kBlockSize = 64 * 1024;
  static constexpr size_t kDefaultBlocks = 8;

  // `blocks` 0 starts no thread: the sinks then write and close in the
  // caller, as they also do when the thread cannot be started. The thread and
  // the blocks are made when the first sink is wrapped.
  explicit WriterThread(size_t blocks = kDefaultBlocks) : blockCount_(blocks) {}
  ~WriterThread();  // writes and closes everything queued first
  WriterThread(const WriterThread&) = delete;
  WriterThread& operator=(const WriterThread&) = delete;

  // `sink` with its writes and its closing going through this thread; null
  // stays null. `name` stands for it in Finish()'s answer.
  std::unique_ptr<OutputSink> Wrap(std::unique_ptr<OutputSink> sink, std::string name = {});

  // Returns once everything handed over is written and every closed sink is
  // closed: the name of the first sink whose write or close failed, if one did.
  std::optional<std::string> Finish();

 private:
  friend class PipelinedSink;
  // A wrapped sink and its name. The PipelinedSink owns it until it is
  // closed or destroyed; then its last entry in the ring does.
  struct Output {
    std::unique_ptr<OutputSink> sink;
    std::string name;
  };
  // An entry of the ring: a block of bytes for `output`, or, when `last` is
  // set, the end of that output: closed if `close`, then destroyed.
  struct Block {
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
    Output* output = nullptr;
    std::unique_ptr<Output> last;
    bool close = false;
  };

  bool Start();  // true when the thread runs
  void Run() noexcept;  // the thread's entry: nothing may leave it
  void Handle(Block& block) noexcept;
  void Fail(const std::string& name);  // the first failure's name is kept
  bool Failed() const { return failed_.load(std::memory_order_acquire); }
  // The next free entry, waiting while all are queued; Queue() hands it over.
  Block& NextFree();
  void Queue();
  void WaitUntilWritten(uint64_t blocks);
  void WaitForBlocks(uint64_t done);
  void WakeWriter();
  // Half the ring, at least one block: how many blocks a sleeping side waits
  // for, so that the two threads do not wake each other for every block.
  uint64_t Batch() const { return (blocks_.size() + 1) / 2; }

  size_t blockCount_;
  std::vector<Block> blocks_;  // entry number k is blocks_[k % size]
  bool started_ = false;
  std::thread thread_;

  // The ring: entries [written_, queued_) wait to be handled. Each counter
  // has one writing thread; the other only reads it.
  std::atomic<uint64_t> queued_{0};
  std::atomic<uint64_t> written_{0};

  // The first failure. `failedName_` is written once, by the thread that set
  // `failed_`, and read only by the decoding thread after Finish().
  std::atomic<bool> failed_{false};
  std::string failedName_;

  // Sleeping. A side that must wait publishes what it waits for, then
  // checks once more and sleeps under mutex_; the other side, having moved
  // its counter, wakes it only when that has come.
  std::mutex mutex_;
  std::condition_variable writerWake_;
  std::condition_variable sinkWake_;
  std::atomic<uint64_t> writerWaitsFor_{0};  // queued_ the writer sleeps for; 0 while awake
  std::atomic<uint64_t> sinkWaitsFor_{0};    // written_ the decoding thread sleeps for; 0 while awake
  std::atomic<bool> draining_{false};        // Finish() waits for every entry: no batching
  std::atomic<bool> stopping_{false};
};

// Wraps a sink: Write() copies the data into the writer's blocks (waiting
// only while all of them are queued) and the writer's thread hands them to
// the wrapped sink in order. Close() queues the closing and returns at once:
// false only when a failure is already known. Destroyed unclosed, it queues
// the wrapped sink's destruction after its blocks instead.
class PipelinedSink : public OutputSink {
 public:
  PipelinedSink(WriterThread& writer, std::unique_ptr<WriterThread::Output> output);
  ~PipelinedSink() override;
  PipelinedSink(const PipelinedSink&) = delete;
  PipelinedSink& operator=(const PipelinedSink&) = delete;

  bool Write(const uint8_t* data, size_t size) override;
  bool Close() override;

 private:
  void HandOver(bool close);  // queues the end of the output

  WriterThread& writer_;
  std::unique_ptr<WriterThread::Output> output_;  // until handed over
  const bool threaded_;  // its blocks go through the writer's thread
  bool closed_ = false;
};

}  // namespace archive
