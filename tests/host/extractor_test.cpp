#include "archive/engine/Extractor.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "TestBytes.h"

using archive::ExtractStop;
using archive::Ring;
using namespace testbytes;

namespace {

// Files and folders in memory, and a log of every call in order.
class FakeHost : public archive::ExtractHost {
 public:
  class Sink : public archive::OutputSink {
   public:
    Sink(FakeHost& host, std::string path) : host_(host), path_(std::move(path)) {}
    bool Write(const uint8_t* data, size_t size) override {
      if (host_.failWrite) return false;
      Bytes& f = host_.files[path_];
      f.insert(f.end(), data, data + size);
      return true;
    }
    bool Close() override {
      host_.log.push_back("close " + path_);
      return !host_.failClose;
    }

   private:
    FakeHost& host_;
    std::string path_;
  };

  bool MakeFolder(const std::string& folderPart) override {
    log.push_back("folder " + folderPart);
    return failFolders.count(folderPart) == 0;
  }
  std::unique_ptr<archive::OutputSink> OpenOutput(const std::string& path) override {
    log.push_back("open " + path);
    if (failOpen) return nullptr;
    files[path].clear();
    return std::make_unique<Sink>(*this, path);
  }
  void ShowFile(const std::string& path) override { log.push_back("show " + path); }
  void FileWritten(uint64_t offset) override {
    log.push_back("written " + std::to_string(offset));
    offsets.push_back(offset);
  }
  void FolderFailed() override { log.push_back("folder failed"); }
  void Stopped(ExtractStop reason, const std::string& path) override {
    log.push_back("stopped " + path);
    stops.push_back(reason);
  }

  std::map<std::string, Bytes> files;
  std::vector<std::string> log;
  std::vector<uint64_t> offsets;
  std::vector<ExtractStop> stops;
  std::set<std::string> failFolders;
  bool failOpen = false, failWrite = false, failClose = false;
};

struct Outcome {
  int count;
  uint64_t offset;  // where the reader stopped
};

Outcome Extract(const Bytes& archiveBytes, FakeHost& host, Ring& ring, const std::string& target = "T") {
  archive::MemorySource source(archiveBytes);
  archive::ByteReader reader(source);
  const int count = archive::ExtractArchive(reader, target, ring, host);
  return {count, reader.Offset()};
}

Outcome Extract(const Bytes& archiveBytes, FakeHost& host, const std::string& target = "T") {
  Ring ring;
  return Extract(archiveBytes, host, ring, target);
}

const Bytes kSixteen = Hex("05 61 2E 74 78 74 06 00 00 00 07 61 62 63 EE F0");  // a.txt = "abcabc"

Bytes File(std::string_view name, std::string_view content) {
  return Record(name, static_cast<uint32_t>(content.size()), Literals(Str(content)));
}

TEST(ExtractArchive, SixteenByteRecord) {
  FakeHost host;
  const Outcome run = Extract(kSixteen, host);
  EXPECT_EQ(run.count, 1);
  EXPECT_EQ(host.files["T\\a.txt"], Str("abcabc"));
  const std::vector<std::string> want = {"folder T", "open T\\a.txt", "show T\\a.txt", "close T\\a.txt",
                                         "written 16"};
  EXPECT_EQ(host.log, want);
}

TEST(ExtractArchive, CutReferenceAndTheNextRecordRightAfterIt) {
  Bytes archive = kSixteen;
  archive[6] = 5;  // size 5
  archive = Cat({archive, File("b.txt", "xyz")});
  FakeHost host;
  EXPECT_EQ(Extract(archive, host).count, 2);
  EXPECT_EQ(host.files["T\\a.txt"], Str("abcab"));
  EXPECT_EQ(host.files["T\\b.txt"], Str("xyz"));
  EXPECT_EQ(host.offsets, (std::vector<uint64_t>{16, archive.size()}));
}

TEST(ExtractArchive, EndingRecords) {
  struct Case {
    const char* what;
    Bytes archive;
    int count;
    std::vector<std::string> files;  // all files afterwards
    uint64_t stop;                   // reader offset afterwards: nothing after an ending record is read
  };
  const Bytes one = File("one.txt", "1");
  const Case cases[] = {
      {"empty archive", {}, 0, {}, 0},
      {"name length 0 first", Hex("00 01 00 00 00 FF"), 0, {}, 5},
      {"first name byte 0", Cat({Hex("02 00 41 03 00 00 00"), one}), 0, {}, 7},
      {"name length 0 after a file", Cat({one, Hex("00"), one}), 1, {"T\\one.txt"}, one.size() + 5},
      {"name length 0 as the last byte", Cat({one, Hex("00")}), 1, {"T\\one.txt"}, one.size() + 1},
      {"size 0 leaves an empty file", Cat({one, Record("e.txt", 0, {}), one}), 1, {"T\\e.txt", "T\\one.txt"},
       one.size() + 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeHost host;
    const Outcome run = Extract(c.archive, host);
    EXPECT_EQ(run.count, c.count);
    EXPECT_EQ(run.offset, c.stop);
    std::vector<std::string> names;
    for (const auto& [name, bytes] : host.files) names.push_back(name);
    EXPECT_EQ(names, c.files);
    EXPECT_TRUE(host.stops.empty());
  }
}

TEST(ExtractArchive, NamesBecomePathsBelowTheTarget) {
  struct Case {
    const char* what;
    std::string target;
    std::string name;  // record name field
    std::string path;
    std::string folder;
  };
  const Case cases[] = {
      {"top level", "T", "a.txt", "T\\a.txt", "T"},
      {"two levels deep", "T", "a\\b\\c.txt", "T\\a\\b\\c.txt", "T\\a\\b"},
      {"0x5C trail byte in a folder name", "T", "\x83\x5C\\x.txt", "T\\\x83\x5C\\x.txt", "T\\\x83\x5C"},
      {"0x5C trail byte at the end of a file name", "T", "d\\\x95\x5C", "T\\d\\\x95\x5C", "T\\d"},
      {"separator added after a target ending in one", "C:\\G\\", "a.txt", "C:\\G\\\\a.txt", "C:\\G\\\\"},
      {"drive root target", "C:", "a.txt", "C:\\a.txt", "C:\\"},
      {"zero byte inside the name field", "T", std::string("ab\0cd", 5), "T\\ab", "T"},
      {"255-byte name", "T", std::string(251, 'n') + ".txt", "T\\" + std::string(251, 'n') + ".txt", "T"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeHost host;
    EXPECT_EQ(Extract(Cat({File(c.name, "data"), File("z", "1")}), host, c.target).count, 2);
    EXPECT_EQ(host.files[c.path], Str("data"));
    EXPECT_EQ(host.log.at(0), "folder " + c.folder);
  }
}

TEST(ExtractArchive, FolderThatCannotBeCreated) {
  FakeHost host;
  host.failFolders = {"T\\sub"};
  EXPECT_EQ(Extract(Cat({File("a", "1"), File("sub\\b", "2"), File("c", "3")}), host).count, 0);
  EXPECT_EQ(host.log.back(), "folder failed");
  EXPECT_EQ(host.files.size(), 1u);  // the first file stays
}

TEST(ExtractArchive, UnsafeNamesStopBeforeAnythingIsCreated) {
  const std::string names[] = {"..\\x",  "a\\..\\..\\x", "\\x",     "C:\\x", "c:x", "a\\\\b",
                               "a\\",    "a/../b",      "CON",     "a.",    "\x83"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    FakeHost host;
    EXPECT_EQ(Extract(Cat({File("ok", "1"), File(name, "evil"), File("z", "1")}), host).count, 0);
    EXPECT_EQ(host.stops, std::vector<ExtractStop>{ExtractStop::kUnsafeName});
    // The log ends with the first record; nothing at all for the second.
    EXPECT_EQ(host.log.at(host.log.size() - 2), "written 9");
    EXPECT_EQ(host.files.size(), 1u);
  }
}

TEST(ExtractArchive, DamagedArchives) {
  const Bytes good = File("a", "1");
  const Bytes next = File("bb", "12345678901234567890");
  struct Case {
    const char* what;
    size_t keep;  // bytes of `next` kept
    bool created; // whether the cut record got its file
  };
  const Case cases[] = {
      {"ends inside the name", 2, false},
      {"ends inside the size", 5, false},
      {"ends before the stream", 7, true},
      {"ends inside the stream", 12, true},
      {"ends one byte short", next.size() - 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeHost host;
    const Bytes archive = Cat({good, Bytes(next.begin(), next.begin() + static_cast<long>(c.keep))});
    EXPECT_EQ(Extract(archive, host).count, 0);
    EXPECT_EQ(host.stops, std::vector<ExtractStop>{ExtractStop::kDamagedArchive});
    EXPECT_EQ(host.files.count("T\\bb"), c.created ? 1u : 0u);
  }
}

TEST(ExtractArchive, HugeSizeWithAShortStreamIsDamaged) {
  FakeHost host;
  EXPECT_EQ(Extract(Record("big", 0x80000000u, Hex("00 00 0F 00 0F")), host).count, 0);
  EXPECT_EQ(host.stops, std::vector<ExtractStop>{ExtractStop::kDamagedArchive});
  EXPECT_EQ(host.files["T\\big"].size(), 36u);
}

TEST(ExtractArchive, OutputFailures) {
  struct Case {
    const char* what;
    bool failOpen, failWrite, failClose;
    ExtractStop stop;
  };
  const Case cases[] = {
      {"cannot open", true, false, false, ExtractStop::kCannotOpenOutput},
      {"cannot write", false, true, false, ExtractStop::kCannotWriteOutput},
      {"cannot close", false, false, true, ExtractStop::kCannotWriteOutput},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeHost host;
    host.failOpen = c.failOpen;
    host.failWrite = c.failWrite;
    host.failClose = c.failClose;
    EXPECT_EQ(Extract(Cat({File("a", "1"), File("b", "2")}), host).count, 0);
    EXPECT_EQ(host.stops, std::vector<ExtractStop>{c.stop});
    EXPECT_TRUE(host.offsets.empty());
  }
  // An empty file of an ending record that cannot be closed is a failure too.
  FakeHost host;
  host.failClose = true;
  EXPECT_EQ(Extract(Record("e", 0, {}), host).count, 0);
}

TEST(ExtractArchive, RingCarriesOverBetweenExtractions) {
  const Bytes first = File("a", "abcdefghijklmnopqr");  // a..r into ring positions 4078..4095
  const Bytes second = Record("b", 6, Hex("00 EE F3"));  // reads 4078.. before writing it
  Ring ring;
  FakeHost host;
  ASSERT_EQ(Extract(first, host, ring).count, 1);
  ASSERT_EQ(Extract(second, host, ring).count, 1);
  EXPECT_EQ(host.files["T\\b"], Str("abcdef"));
  FakeHost fresh;
  ASSERT_EQ(Extract(second, fresh).count, 1);
  EXPECT_EQ(fresh.files["T\\b"], Bytes(6, 0));
}

}  // namespace
