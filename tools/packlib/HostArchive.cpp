#include "packlib/HostArchive.h"

#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string_view>
#include <system_error>
#include <thread>

#include "engine/ByteReader.h"
#include "engine/Check.h"
#include "engine/Decoder.h"
#include "engine/RecordHeader.h"
#include "engine/RecordName.h"
#include "engine/RunLayout.h"
#include "engine/Trailer.h"
#include "packlib/HostNames.h"
#include "packlib/RandomFile.h"
#include "packlib/StreamScan.h"

namespace fs = std::filesystem;

namespace packer {
namespace {

constexpr uint64_t kMaxFileSize = 0xFFFFFFFFull;

// Every path the installer uses for a file (the file itself, and the original
// it replaces, kept aside in the run's folder) must fit below a game folder of
// this many characters (engine/RunLayout.h).
constexpr size_t kGameFolderChars = 100;

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f != nullptr) std::fclose(f);
  }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// True when the part before the extension (or the whole name) ends in '~'
// and digits, like PROGRA~1.TXT or DATA~12: Windows could take it for the
// short name of another file in the game folder. (ASCII bytes in UTF-8 are
// always whole characters.)
bool HasShortNameForm(std::string_view utf8) {
  const std::string_view stem = utf8.substr(0, utf8.rfind('.'));
  size_t digits = 0;
  while (digits < stem.size() && stem[stem.size() - 1 - digits] >= '0' && stem[stem.size() - 1 - digits] <= '9') {
    ++digits;
  }
  return digits > 0 && digits < stem.size() && stem[stem.size() - 1 - digits] == '~';
}

// One level of a name in CP932, refused when it has no exact CP932 form
// (iconv maps some characters to look-alikes: ¥ to 0x5C, which would split
// the level), holds a '\', which is a separator in a record name, or has the
// short-name form.
bool LevelName(const fs::path& entry, std::string& cp932, std::string& error) {
  const std::string utf8 = entry.filename().string();
  const auto converted = Utf8ToCp932(utf8);
  if (!converted || Cp932ToUtf8(*converted) != utf8) {
    error = entry.string() + ": the name cannot be written in code page 932";
    return false;
  }
  if (utf8.find('\\') != std::string::npos) {
    error = entry.string() + ": not a name the installer accepts ('\\' separates folder levels)";
    return false;
  }
  if (HasShortNameForm(utf8)) {
    error = entry.string() +
            ": a short-name form ('~' and digits before the extension, like PROGRA~1.TXT): on Windows it could "
            "stand for another file of the game folder";
    return false;
  }
  cp932 = *converted;
  return true;
}

// Refuses two entries of one folder whose names differ only in case (a file
// and a folder too): on Windows they would be one file or folder. Checked in
// every folder, this covers whole paths: two paths that differ only in case
// first differ in two such entries.
bool CheckCaseCollisions(const std::vector<fs::directory_entry>& files,
                         const std::vector<fs::directory_entry>& folders, std::string& error) {
  std::map<std::u32string, fs::path> seen;
  for (const auto* entries : {&files, &folders}) {
    for (const auto& e : *entries) {
      const auto folded = CaseFolded(e.path().filename().string());
      if (!folded) {
        error = "cannot compare names ignoring case (on Linux this needs the C.UTF-8 locale)";
        return false;
      }
      const auto [it, fresh] = seen.emplace(*folded, e.path());
      if (!fresh) {
        error = it->second.string() + " and " + e.path().string() +
                ": the names differ only in case, and Windows does not tell them apart";
        return false;
      }
    }
  }
  return true;
}

bool Collect(const fs::path& folder, const std::string& prefix, std::vector<PackItem>& items,
             std::string& error) {
  std::error_code ec;
  std::vector<fs::directory_entry> files, folders;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::file_status st = it->symlink_status(ec);
    if (ec) break;
    if (fs::is_directory(st)) {
      folders.push_back(*it);
    } else if (fs::is_regular_file(st)) {
      files.push_back(*it);
    } else {
      error = it->path().string() + ": neither a regular file nor a folder (links are not followed)";
      return false;
    }
  }
  if (ec) {
    error = folder.string() + ": " + ec.message();
    return false;
  }
  auto byName = [](const fs::directory_entry& a, const fs::directory_entry& b) {
    return a.path().filename().string() < b.path().filename().string();
  };
  std::sort(files.begin(), files.end(), byName);
  std::sort(folders.begin(), folders.end(), byName);
  if (!CheckCaseCollisions(files, folders, error)) return false;

  for (const auto& f : files) {
    const std::string shown = f.path().string();
    std::string level;
    if (!LevelName(f.path(), level, error)) return false;
    const std::string name = prefix + level;
    if (name.size() > 255) {
      error = shown + ": the name is " + std::to_string(name.size()) + " bytes in code page 932, more than 255";
      return false;
    }
    if (archive::LongestGameFolderFor(name, true) < kGameFolderChars) {
      error = shown + ": below a game folder of 100 characters the installer could not place it: with the " +
              std::to_string(archive::PathChars(name)) + " characters of its name, a path it uses would be " +
              "longer than the " + std::to_string(archive::kMaxFilePathChars) + " characters (" +
              std::to_string(archive::kMaxFolderPathChars) + " for a folder) Windows allows";
      return false;
    }
    if (!archive::IsSafeRecordName(name)) {
      error = shown + ": not a name the installer accepts (device name, trailing dot or space, or a character Windows refuses)";
      return false;
    }
    const uint64_t size = f.file_size(ec);
    if (ec) {
      error = shown + ": " + ec.message();
      return false;
    }
    if (size == 0) {
      error = shown + ": empty file; a record of size 0 would end the extraction";
      return false;
    }
    if (size > kMaxFileSize) {
      error = shown + ": 4 GiB or larger; a record holds at most 4294967295 bytes";
      return false;
    }
    items.push_back({name, f.path()});
  }
  for (const auto& d : folders) {
    std::string level;
    if (!LevelName(d.path(), level, error)) return false;
    if (!Collect(d.path(), prefix + level + "\\", items, error)) return false;
  }
  return true;
}

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
  EncodePool(unsigned threads, size_t slots, Parsing parsing) : slots_(slots), parsing_(parsing) {
    try {
      for (unsigned i = 0; i < threads; ++i) threads_.emplace_back(&EncodePool::Run, this);
    } catch (const std::system_error&) {
      // Goes on with the threads that started, if any.
    }
  }
  ~EncodePool() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    work_.notify_all();
    for (std::thread& t : threads_) t.join();
  }
  EncodePool(const EncodePool&) = delete;
  EncodePool& operator=(const EncodePool&) = delete;

  size_t Threads() const { return threads_.size(); }
  bool Full() const { return submitted_ - released_ == slots_.size(); }
  bool Empty() const { return submitted_ == released_; }

  // The slot to fill for the next block (only when not Full()), then Submit().
  Slot& Next() { return slots_[submitted_ % slots_.size()]; }
  void Submit() {
    {
      std::lock_guard lock(mutex_);
      ++submitted_;
    }
    work_.notify_one();
  }
  // The oldest block in flight (only when not Empty()), once parsed; then Release().
  Slot& Oldest() {
    Slot& slot = slots_[released_ % slots_.size()];
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return slot.done; });
    return slot;
  }
  void Release() {
    std::lock_guard lock(mutex_);
    slots_[released_ % slots_.size()].done = false;
    ++released_;
  }

 private:
  void Run() {
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

// Reads the files one after the other, a block at a time, into slots.
class BlockReader {
 public:
  BlockReader(const std::vector<PackItem>& items, const std::vector<uint64_t>& sizes)
      : items_(items), sizes_(sizes) {}

  bool More() const { return next_ < items_.size() || file_ != nullptr; }

  // Fills the slot with the next block (and the header before a record's first).
  bool Fill(Slot& slot, std::string& error) {
    slot.header.clear();
    const bool first = file_ == nullptr;
    if (first) {
      const PackItem& item = items_[next_];
      left_ = sizes_[next_];
      if (left_ == 0 || left_ > kMaxFileSize) {
        error = item.file.string() + ": size changed while packing";
        return false;
      }
      file_.reset(OpenFile(item.file, "rb"));
      if (!file_) {
        error = item.file.string() + ": cannot read";
        return false;
      }
      const auto size = static_cast<uint32_t>(left_);
      slot.header.push_back(static_cast<uint8_t>(item.name.size()));
      slot.header.insert(slot.header.end(), item.name.begin(), item.name.end());
      for (int k = 0; k < 4; ++k) slot.header.push_back(static_cast<uint8_t>(size >> (8 * k)));
    }
    const PackItem& item = items_[next_];
    const size_t n = static_cast<size_t>(std::min<uint64_t>(left_, kEncodeBlock));
    slot.historyLen = first ? 0 : kEncodeHistory;
    slot.previousHeadLen = first ? 0 : kBlockHead;
    slot.input.resize(slot.historyLen + n);
    if (!first) {
      std::memcpy(slot.input.data(), history_, kEncodeHistory);
      std::memcpy(slot.previousHead, head_, kBlockHead);
    }
    uint8_t* const block = slot.input.data() + slot.historyLen;
    const bool got = std::fread(block, 1, n, file_.get()) == n;
    left_ -= n;
    // The file must end where its size said when the packing started.
    if (got && left_ == 0 && std::fgetc(file_.get()) == EOF && !std::ferror(file_.get())) {
      slot.last = true;
      file_.reset();
      ++next_;
      return true;
    }
    if (!got || left_ == 0) {
      error = item.file.string() + (std::ferror(file_.get()) ? ": cannot read" : ": size changed while packing");
      return false;
    }
    // Not the last block, so a full one: the next block's history and head.
    slot.last = false;
    std::memcpy(history_, block + n - kEncodeHistory, kEncodeHistory);
    std::memcpy(head_, block, kBlockHead);
    return true;
  }

 private:
  const std::vector<PackItem>& items_;
  const std::vector<uint64_t>& sizes_;
  size_t next_ = 0;  // the file being read, or the next one
  File file_;
  uint64_t left_ = 0;
  uint8_t history_[kEncodeHistory] = {};
  uint8_t head_[kBlockHead] = {};
};

std::string ShowName(const std::string& cp932) {
  if (auto utf8 = RecordNameToHostPath(cp932)) return *utf8;
  std::string shown;
  char hex[5];
  for (unsigned char b : cp932) {
    if (b >= 0x20 && b < 0x7F) {
      shown += static_cast<char>(b);
    } else {
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      shown += hex;
    }
  }
  return shown;
}

const char* Describe(archive::ExtractStop reason) {
  switch (reason) {
    case archive::ExtractStop::kUnsafeName: return "unsafe record name";
    case archive::ExtractStop::kDamagedArchive: return "damaged archive (it ends inside a record)";
    case archive::ExtractStop::kCannotOpenOutput: return "cannot open the output file";
    case archive::ExtractStop::kCannotWriteOutput: return "cannot write the output file";
  }
  return "stopped";
}

}  // namespace

bool ParseJobs(std::string_view text, unsigned& jobs) {
  unsigned n = 0;
  for (const char c : text) {
    if (c < '0' || c > '9' || n > kMaxPackJobs) return false;
    n = n * 10 + static_cast<unsigned>(c - '0');
  }
  if (text.empty() || n == 0 || n > kMaxPackJobs) return false;
  jobs = n;
  return true;
}

bool CollectFolder(const fs::path& folder, std::vector<PackItem>& items, std::string& error) {
  items.clear();
  if (!fs::is_directory(folder)) {
    error = folder.string() + ": not a folder";
    return false;
  }
  if (!Collect(folder, "", items, error)) return false;
  if (items.empty()) {
    error = folder.string() + ": no files to pack";
    return false;
  }
  return true;
}

bool WriteArchive(const std::vector<PackItem>& items, const fs::path& archivePath, Parsing parsing,
                  PackReport& report, std::string& error) {
  PackOptions options;
  options.parsing = parsing;
  return WriteArchive(items, archivePath, options, report, error);
}

bool WriteArchive(const std::vector<PackItem>& items, const fs::path& archivePath, const PackOptions& options,
                  PackReport& report, std::string& error) {
  report = {};
  std::vector<uint64_t> sizes;
  uint64_t totalBytes = 0;
  for (const PackItem& item : items) {
    std::error_code ec;
    sizes.push_back(fs::file_size(item.file, ec));
    if (ec) {
      error = item.file.string() + ": cannot read";
      return false;
    }
    totalBytes += sizes.back();
  }
  unsigned jobs = options.jobs != 0 ? options.jobs : std::thread::hardware_concurrency();
  jobs = std::clamp(jobs, 1u, kMaxPackJobs);

  const fs::path temp = archivePath.string() + ".part";
  File out(OpenFile(temp, "wb"));
  if (!out) {
    error = temp.string() + ": cannot create";
    return false;
  }
  bool ok = true;
  uint32_t crc = 0;
  auto put = [&](const uint8_t* bytes, size_t n) {
    ok = ok && std::fwrite(bytes, 1, n, out.get()) == n;
    crc = archive::Crc32(crc, bytes, n);
    report.archiveBytes += n;
  };
  {
    // Three blocks a thread in flight keep every thread busy while the
    // oldest block is written and the next one read.
    EncodePool pool(jobs, size_t{3} * jobs, options.parsing);
    if (pool.Threads() == 0) {
      error = "cannot start the encoding threads";
      ok = false;
    }
    BlockReader reader(items, sizes);
    GroupWriter writer;
    std::vector<uint8_t> groups;
    while (ok) {
      while (!pool.Full() && reader.More()) {
        if (!reader.Fill(pool.Next(), error)) {
          ok = false;
          break;
        }
        pool.Submit();
      }
      if (!ok || pool.Empty()) break;
      const Slot& slot = pool.Oldest();
      if (slot.failed) {
        error = "out of memory";
        ok = false;
        break;
      }
      if (!slot.header.empty()) put(slot.header.data(), slot.header.size());
      writer.Put(slot.parsed, groups);
      if (slot.last) writer.Finish(groups);
      put(groups.data(), groups.size());
      groups.clear();
      if (!ok) {
        error = temp.string() + ": write failed";
        break;
      }
      report.stats += slot.parsed.stats;
      report.inputBytes += slot.input.size() - slot.historyLen;
      report.files += slot.last;
      pool.Release();
      if (options.progress) options.progress(report.inputBytes, totalBytes);
      if (options.keepGoing && !options.keepGoing(report.archiveBytes)) {
        error = archivePath.string() + ": packing stopped";
        ok = false;
      }
    }
  }
  if (ok) {
    // The ending record: name length 0 and size 0, so that readers which take
    // the size field first stop here as well. Then the integrity trailer over
    // everything before it.
    const uint8_t ending[5] = {};
    put(ending, sizeof ending);
    uint8_t trailer[archive::Trailer::kSize];
    archive::EncodeTrailer({report.archiveBytes, crc}, trailer);
    put(trailer, sizeof trailer);
    if (!ok) error = temp.string() + ": write failed";
  }
  // On the disk before the rename, so that a crash never leaves a short
  // archive under the final name.
  if (ok && !SyncFile(out.get())) {
    error = temp.string() + ": write failed";
    ok = false;
  }
  if (std::fclose(out.release()) != 0 && ok) {
    error = temp.string() + ": write failed";
    ok = false;
  }
  std::error_code ec;
  if (ok) fs::rename(temp, archivePath, ec);
  if (ok && ec) {
    error = archivePath.string() + ": " + ec.message();
    ok = false;
  }
  if (!ok) fs::remove(temp, ec);
  return ok;
}

bool FolderHost::HostPath(const std::string& enginePath, fs::path& out) const {
  // Every engine path is "." followed by nothing or by "\" and the rest.
  if (enginePath.empty() || enginePath[0] != '.') return false;
  const auto rest = RecordNameToHostPath(std::string_view(enginePath).substr(1));
  if (!rest) return false;
  out = root_ / fs::path(rest->empty() ? std::string() : rest->substr(1));
  return true;
}

bool FolderHost::MakeFolder(const std::string& folderPart) {
  fs::path dir;
  if (!HostPath(folderPart, dir)) return false;
  std::error_code ec;
  fs::create_directories(dir, ec);
  return fs::is_directory(dir, ec);
}

std::unique_ptr<archive::OutputSink> FolderHost::OpenOutput(const std::string& path) {
  fs::path file;
  if (!HostPath(path, file)) return nullptr;
  // A file already there may be an earlier record's of the same name (or one
  // the file system takes for it), still being written: truncating it now
  // would let those blocks land in this one.
  std::error_code ec;
  if (fs::exists(fs::symlink_status(file, ec))) writer_.Finish();
  std::FILE* f = OpenFile(file, "wb");
  if (f == nullptr) return nullptr;
  std::setvbuf(f, nullptr, _IONBF, 0);  // the decoder already hands over 64 KiB blocks
  return writer_.Wrap(std::make_unique<archive::StdioSink>(f), path);
}

void FolderHost::ShowFile(const std::string& outputPath) {
  // The engine shows an ending record without a name as the target itself: no file.
  if (!onFile || outputPath == std::string(kTarget) + "\\") return;
  fs::path file;
  if (HostPath(outputPath, file)) onFile(file.string());
}

void FolderHost::FolderFailed() { error = "cannot create a folder"; }

void FolderHost::Stopped(archive::ExtractStop reason, const std::string& outputPath) {
  error = std::string(Describe(reason)) + ": " + ShowName(outputPath.substr(2));
}

int ExtractArchiveFile(archive::RandomSource& archivePart, const fs::path& folder, std::string& error,
                       const std::function<void(const std::string&)>& onFile) {
  archive::WindowSource source(archivePart, 0, archivePart.Length());
  archive::ByteReader reader(source);
  archive::Ring ring;
  FolderHost host(folder);
  host.onFile = onFile;
  const int count = archive::ExtractArchive(reader, FolderHost::kTarget, ring, host);
  error = host.error;
  return count;
}

int ExtractArchiveFile(const fs::path& archivePath, const fs::path& folder, std::string& error,
                       const std::function<void(const std::string&)>& onFile) {
  const auto in = InputFile::Open(archivePath);
  if (!in) {
    error = archivePath.string() + ": cannot open";
    return -1;
  }
  return ExtractArchiveFile(*in, folder, error, onFile);
}

void VerifyArchive(archive::RandomSource& in, VerifyReport& report) {
  report = {};
  const uint64_t fileSize = in.Length();
  {
    // First what the installer would do with it, then a record-by-record walk.
    archive::WindowSource source(in, 0, fileSize);
    archive::ByteReader reader(source);
    const archive::CheckResult check = archive::CheckArchive(reader, FolderHost::kTarget, archive::Ring{});
    report.engineCount = check.count;
    if (check.stopped) report.engineError = std::string(Describe(check.reason)) + ": " + ShowName(check.stoppedAt.substr(2));
  }
  {
    archive::WindowSource source(in, 0, fileSize);
    archive::ByteReader reader(source);
    for (;;) {
      RecordInfo info;
      info.offset = reader.Offset();
      archive::RecordHeader header;
      const archive::HeaderRead read = archive::ReadRecordHeader(reader, header);
      if (read == archive::HeaderRead::kEnd || read == archive::HeaderRead::kCutInName) break;
      if (archive::EndsArchive(read, header)) {
        report.endingRecord = true;
        if (!header.name.empty()) report.endingName = ShowName(header.name);
        break;
      }
      if (read != archive::HeaderRead::kRecord) break;
      info.name = ShowName(header.name);
      info.size = header.size;
      const uint64_t streamStart = reader.Offset();
      const StreamScan scan = ScanStream(reader, info.size);
      info.codedBytes = reader.Offset() - streamStart;
      report.records.push_back(info);
      report.literals += scan.literals;
      for (size_t n = 0; n < scan.referencesByLength.size(); ++n)
        report.referencesByLength[n] += scan.referencesByLength[n];
      report.carriedReads += scan.carriedReads;
      report.cutReferences += scan.cutReferences;
      if (!scan.complete) break;
    }
    report.endOffset = reader.Offset();
  }

  // The trailer: the last 20 bytes, and the CRC-32 of everything before them.
  uint64_t dataEnd = fileSize;
  report.trailer = archive::CheckTrailer(in);
  uint8_t last[archive::Trailer::kSize];
  if (report.trailer != archive::TrailerStatus::kAbsent && in.ReadAt(fileSize - sizeof last, last, sizeof last)) {
    if (const auto trailer = archive::ParseTrailer(last, fileSize)) dataEnd = trailer->length;
  }
  if (report.endingRecord && report.endOffset < dataEnd) report.bytesAfterEnd = dataEnd - report.endOffset;
  Judge(report);
}

bool VerifyArchive(const fs::path& archivePath, VerifyReport& report, std::string& error) {
  const auto in = InputFile::Open(archivePath);
  if (!in) {
    error = archivePath.string() + ": cannot open";
    return false;
  }
  VerifyArchive(*in, report);
  return true;
}

void Judge(VerifyReport& report) {
  report.notes.clear();
  report.failures.clear();
  if (report.engineCount <= 0 || !report.engineError.empty()) {
    report.failures.push_back("the installer's extraction returns " + std::to_string(report.engineCount) +
                              (report.engineError.empty() ? std::string(": the archive holds no file")
                                                          : ": " + report.engineError));
  }
  if (report.trailer == archive::TrailerStatus::kMismatch) {
    report.failures.push_back("the integrity trailer does not match the archive: the installer refuses it");
  }
  if (report.cutReferences > 0) {
    report.notes.push_back("references that run past their record's size, cut there by the extraction: " +
                           std::to_string(report.cutReferences));
  }
  if (report.carriedReads > 0) {
    report.notes.push_back(
        "bytes read from ring positions 4078..4095 before the record wrote them, which hold what an earlier "
        "record left there (zeros before the first): " +
        std::to_string(report.carriedReads));
  }
  if (!report.endingName.empty()) {
    report.notes.push_back("the ending record is named " + report.endingName +
                           ": the extraction leaves an empty file of that name");
  }
  if (report.bytesAfterEnd > 0) {
    report.notes.push_back("bytes after the ending record, never read by the extraction: " +
                           std::to_string(report.bytesAfterEnd));
  }
  if (report.failures.empty() && static_cast<size_t>(report.engineCount) != report.records.size()) {
    report.notes.push_back("the record walk finds " + std::to_string(report.records.size()) +
                           " records, the extraction writes " + std::to_string(report.engineCount) + " files");
  }
}

int PrintVerdict(const VerifyReport& report) {
  for (const std::string& note : report.notes) std::printf("note: %s\n", note.c_str());
  for (const std::string& failure : report.failures) std::printf("FAIL: %s\n", failure.c_str());
  if (!report.Passes()) {
    std::printf("FAILED: the installer would not extract this archive\n");
    return 1;
  }
  std::printf("OK: the installer extracts %d files\n", report.engineCount);
  return 0;
}

}  // namespace packer
