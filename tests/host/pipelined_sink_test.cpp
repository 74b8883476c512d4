#include "engine/PipelinedSink.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "TestBytes.h"

using archive::OutputSink;
using archive::WriterThread;
using namespace testbytes;

namespace {

constexpr size_t kBlock = WriterThread::kBlockSize;

// What reached a wrapped sink. Read only after the writer's Finish().
struct Log {
  Bytes bytes;
  std::vector<size_t> blocks;
  std::set<std::thread::id> threads;
  int calls = 0;  // Write() calls, refused ones too
  int closes = 0;
  bool destroyed = false;
};

// Refuses its `failAt`-th block (from 0) and any after; slow enough that the
// writer's blocks fill up (it yields: <chrono> does not compile with CP932
// literals, so there is no sleep_for).
class RecordingSink : public OutputSink {
 public:
  explicit RecordingSink(Log& log, int failAt = -1, bool failClose = false)
      : log_(log), failAt_(failAt), failClose_(failClose) {}
  ~RecordingSink() override { log_.destroyed = true; }
  bool Write(const uint8_t* data, size_t size) override {
    for (int i = 0; i < 20; ++i) std::this_thread::yield();
    log_.threads.insert(std::this_thread::get_id());
    if (log_.calls++ >= failAt_ && failAt_ >= 0) return false;
    log_.blocks.push_back(size);
    log_.bytes.insert(log_.bytes.end(), data, data + size);
    return true;
  }
  bool Close() override {
    ++log_.closes;
    return !failClose_;
  }

 private:
  Log& log_;
  int failAt_;
  bool failClose_;
};

Bytes Pattern(size_t size, uint8_t seed) {
  Bytes b(size);
  for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(i * 7 + seed + (i >> 16));
  return b;
}

// 0: no thread (the fallback), 1: every write waits for the last, and the default ring.
const size_t kRings[] = {0, 1, WriterThread::kDefaultBlocks};

TEST(PipelinedSink, WritesAndClosesEverythingInOrderOnOneThreadForAllRecords) {
  const std::vector<std::vector<size_t>> records = {
      {kBlock, 1, kBlock - 1, kBlock + 1, 0, 3 * kBlock + 5, 7},
      {kBlock - 1},
      {},  // an empty file
      {1, kBlock, 5},
  };
  for (size_t ring : kRings) {
    SCOPED_TRACE(ring);
    WriterThread writer(ring);
    EXPECT_EQ(writer.Wrap(nullptr), nullptr);  // a failed open stays a failed open
    std::vector<Log> logs(records.size());
    std::vector<Bytes> wants(records.size());
    for (size_t r = 0; r < records.size(); ++r) {  // one sink per record, one writer for all
      auto sink = writer.Wrap(std::make_unique<RecordingSink>(logs[r]), "record " + std::to_string(r));
      for (size_t size : records[r]) {
        const Bytes data = Pattern(size, static_cast<uint8_t>(wants[r].size()));
        ASSERT_TRUE(sink->Write(data.data(), data.size()));
        wants[r].insert(wants[r].end(), data.begin(), data.end());
      }
      ASSERT_TRUE(sink->Close());  // queued: the next record starts at once
      EXPECT_FALSE(sink->Write(wants[r].data(), 1));  // nothing is taken after Close
    }
    EXPECT_EQ(writer.Finish(), std::nullopt);
    // Finish returned: everything is written and each wrapped sink closed once.
    std::set<std::thread::id> threads;
    for (size_t r = 0; r < records.size(); ++r) {
      SCOPED_TRACE(r);
      EXPECT_TRUE(logs[r].bytes == wants[r]);
      EXPECT_EQ(logs[r].closes, 1);
      EXPECT_TRUE(logs[r].destroyed);
      for (size_t block : logs[r].blocks) EXPECT_LE(block, ring == 0 ? block : kBlock);  // the ring's are 64 KiB
      threads.insert(logs[r].threads.begin(), logs[r].threads.end());
    }
    EXPECT_EQ(threads.size(), 1u);  // one thread for every record
    EXPECT_EQ(threads.count(std::this_thread::get_id()), ring == 0 ? 1u : 0u);
  }
}

TEST(PipelinedSink, AFailureEndsTheWritingAndFinishNamesItsSink) {
  struct Case {
    const char* what;
    int failAt;  // block the wrapped sink refuses, -1 none
    bool failClose;
  };
  const Case cases[] = {
      {"first block refused", 0, false},
      {"third block refused", 2, false},
      {"last block refused", 9, false},
      {"close fails", -1, true},
      {"block refused and close fails", 2, true},
  };
  for (size_t ring : kRings) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + ", ring " + std::to_string(ring));
      WriterThread writer(ring);
      Log log, next;
      auto sink = writer.Wrap(std::make_unique<RecordingSink>(log, c.failAt, c.failClose), "failing");
      const Bytes block = Pattern(kBlock, 1);
      int refusedFrom = -1;
      for (int i = 0; i < 10; ++i) {
        const bool ok = sink->Write(block.data(), block.size());
        EXPECT_FALSE(ok && refusedFrom >= 0) << "a Write succeeded after one failed";
        if (!ok && refusedFrom < 0) refusedFrom = i;
      }
      const bool closed = sink->Close();
      if (ring == 0) {
        EXPECT_EQ(refusedFrom, c.failAt);  // without a thread, at once
        EXPECT_FALSE(closed);
      } else if (refusedFrom >= 0) {
        EXPECT_GT(refusedFrom, c.failAt);  // the thread refused an earlier block
      }
      // The next record's sink refuses what it is given once the failure is
      // known, and its file is still closed.
      auto after = writer.Wrap(std::make_unique<RecordingSink>(next), "next");
      EXPECT_EQ(writer.Finish(), "failing");
      EXPECT_FALSE(after->Write(block.data(), block.size()));
      EXPECT_FALSE(after->Close());
      EXPECT_EQ(writer.Finish(), "failing");  // the first failure stays the answer
      EXPECT_EQ(log.closes, 1);  // closed after a failure too, so the file is let go
      EXPECT_EQ(next.closes, 1);
      EXPECT_TRUE(next.bytes.empty());
      // Nothing reaches the wrapped sink after the block it refused.
      EXPECT_EQ(log.blocks.size(), c.failAt >= 0 ? static_cast<size_t>(c.failAt) : 10u);
      EXPECT_EQ(log.calls, c.failAt >= 0 ? c.failAt + 1 : 10);
    }
  }
}

TEST(PipelinedSink, DestroyedUnclosedItStillWritesWhatItAccepted) {
  for (size_t ring : kRings) {
    SCOPED_TRACE(ring);
    Log log;
    WriterThread writer(ring);
    auto sink = writer.Wrap(std::make_unique<RecordingSink>(log));
    const Bytes data = Pattern(5 * kBlock, 3);
    ASSERT_TRUE(sink->Write(data.data(), data.size()));
    sink.reset();
    EXPECT_EQ(writer.Finish(), std::nullopt);
    EXPECT_TRUE(log.destroyed);
    EXPECT_EQ(log.bytes.size(), data.size());
    EXPECT_EQ(log.closes, 0);  // closing is the wrapped sink's own destructor's business
  }
}

}  // namespace
