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

// What reached a wrapped sink. Read only after the wrapper is closed or gone.
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

TEST(PipelinedSink, WritesEverythingInOrderOnOneThreadForAllRecords) {
  struct Record {
    const char* what;
    std::vector<size_t> writes;
    bool onCaller;   // some bytes are written on the caller's thread
    bool onWriter;   // some on the writer's
  };
  const Record records[] = {
      {"whole blocks first", {kBlock, 1, kBlock - 1, kBlock + 1, 0, 3 * kBlock + 5, 7}, false, true},
      {"a record of one block less one byte is written at once", {kBlock - 1}, true, false},
      {"a small first write, then more", {1, kBlock, 5}, true, true},
  };
  for (size_t ring : kRings) {
    SCOPED_TRACE(ring);
    WriterThread writer(ring);
    EXPECT_EQ(writer.Wrap(nullptr), nullptr);  // a failed open stays a failed open
    const auto caller = std::this_thread::get_id();
    std::set<std::thread::id> writers;
    for (const Record& r : records) {  // one sink per record, one writer for all
      SCOPED_TRACE(r.what);
      Log log;
      auto sink = writer.Wrap(std::make_unique<RecordingSink>(log));
      Bytes want;
      for (size_t size : r.writes) {
        const Bytes data = Pattern(size, static_cast<uint8_t>(want.size()));
        ASSERT_TRUE(sink->Write(data.data(), data.size()));
        want.insert(want.end(), data.begin(), data.end());
      }
      ASSERT_TRUE(sink->Close());
      // Close returned: everything is written and the wrapped sink closed once.
      EXPECT_TRUE(log.bytes == want);
      EXPECT_EQ(log.closes, 1);
      EXPECT_FALSE(sink->Write(want.data(), 1));  // nothing is taken after Close
      if (ring == 0) {
        EXPECT_EQ(log.threads, std::set<std::thread::id>{caller});
        continue;
      }
      EXPECT_EQ(log.threads.count(caller), r.onCaller ? 1u : 0u);
      EXPECT_EQ(log.threads.size() - log.threads.count(caller), r.onWriter ? 1u : 0u);
      for (auto id : log.threads) {
        if (id != caller) writers.insert(id);
      }
      for (size_t block : log.blocks) EXPECT_LE(block, kBlock);  // the ring's blocks are 64 KiB
    }
    EXPECT_EQ(writers.size(), ring == 0 ? 0u : 1u);  // one thread for every record
  }
}

TEST(PipelinedSink, FailuresOfTheWrappedSinkAreReported) {
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
      Log log;
      auto sink = writer.Wrap(std::make_unique<RecordingSink>(log, c.failAt, c.failClose));
      const Bytes block = Pattern(kBlock, 1);
      int refusedFrom = -1;
      for (int i = 0; i < 10; ++i) {
        const bool ok = sink->Write(block.data(), block.size());
        EXPECT_FALSE(ok && refusedFrom >= 0) << "a Write succeeded after one failed";
        if (!ok && refusedFrom < 0) refusedFrom = i;
      }
      EXPECT_FALSE(sink->Close());
      EXPECT_EQ(log.closes, 1);  // closed after a failure too, so the file is let go
      if (c.failAt >= 0) {
        // Nothing reaches the wrapped sink after the block it refused.
        EXPECT_EQ(log.blocks.size(), static_cast<size_t>(c.failAt));
        EXPECT_EQ(log.calls, c.failAt + 1);
        if (ring == 0) {
          EXPECT_EQ(refusedFrom, c.failAt);  // without a thread, at once
        } else if (ring == 1) {
          EXPECT_EQ(refusedFrom, c.failAt < 9 ? c.failAt + 1 : -1);  // the next write waits for that block
        } else if (refusedFrom >= 0) {
          EXPECT_GE(refusedFrom, c.failAt);
        }
      } else {
        EXPECT_EQ(refusedFrom, -1);
        EXPECT_EQ(log.blocks.size(), 10u);
      }
      // The next record's sink on the same writer is not affected.
      Log next;
      auto good = writer.Wrap(std::make_unique<RecordingSink>(next));
      EXPECT_TRUE(good->Write(block.data(), block.size()));
      EXPECT_TRUE(good->Close());
      EXPECT_EQ(next.bytes.size(), kBlock);
    }
  }
}

TEST(PipelinedSink, DestroyedUnclosedItStillWritesWhatItAccepted) {
  for (size_t ring : kRings) {
    SCOPED_TRACE(ring);
    Log log;
    {
      WriterThread writer(ring);
      auto sink = writer.Wrap(std::make_unique<RecordingSink>(log));
      const Bytes data = Pattern(5 * kBlock, 3);
      ASSERT_TRUE(sink->Write(data.data(), data.size()));
      sink.reset();  // must not return while the writer's thread still uses the sink
      EXPECT_TRUE(log.destroyed);
      EXPECT_EQ(log.bytes.size(), data.size());
    }
    EXPECT_EQ(log.closes, 0);  // closing is the wrapped sink's own destructor's business
  }
}

}  // namespace
