// Writing an archive: its blocks parsed on the pool and written in order, then the end and trailer.
#include "packlib/HostArchive.h"

#include <algorithm>
#include <cstdio>
#include <system_error>
#include <thread>

#include "engine/Trailer.h"
#include "packlib/BlockReader.h"
#include "packlib/EncodePool.h"
#include "packlib/HostNames.h"

namespace fs = std::filesystem;

namespace packer {

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

}  // namespace packer
