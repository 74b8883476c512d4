// packer: makes, lists, verifies and extracts patch archives on the build host.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "packlib/HostArchive.h"
#include "packlib/HostFrontEnd.h"
#include "packlib/Progress.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: packer pack [--greedy] [-j N] [--quiet] FOLDER ARCHIVE  pack every file below FOLDER\n"
               "       packer list ARCHIVE                     names, sizes and coded sizes\n"
               "       packer verify ARCHIVE                   whether the installer extracts every file\n"
               "       packer extract ARCHIVE FOLDER           unpack with the installer's engine\n"
               "       packer build [-j N] [--quiet] FOLDER -o OUT.exe [--stub STUB]\n"
               "                                               pack FOLDER into a copy of the installer stub\n"
               "       packer inspect INSTALLER                what an installer carries\n"
               "pack and build code on N threads (1..256; default: one per core) and shows its progress on a\n"
               "terminal, unless --quiet. list, verify and extract also take an installer in place of ARCHIVE.\n");
  return 2;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void PrintLengths(const std::array<uint64_t, 19>& byLength) {
  std::printf("reference lengths:");
  for (int n = 3; n <= 18; ++n) std::printf(" %d:%llu", n, static_cast<unsigned long long>(byLength[n]));
  std::printf("\n");
}

int Pack(int argc, char** argv) {
  packer::PackOptions options;
  bool quiet = false;
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--greedy") == 0) {
      options.parsing = packer::Parsing::kGreedy;
    } else if (std::strcmp(argv[i], "--quiet") == 0) {
      quiet = true;
    } else if (std::strcmp(argv[i], "-j") == 0) {
      if (i + 1 == argc || !packer::ParseJobs(argv[++i], options.jobs)) return Usage();
    } else {
      args.emplace_back(argv[i]);
    }
  }
  if (args.size() != 2) return Usage();
  std::string error;
  std::vector<packer::PackItem> items;
  if (!packer::CollectFolder(args[0], items, error)) {
    std::fprintf(stderr, "packer: %s\n", error.c_str());
    return 1;
  }
  const auto start = std::chrono::steady_clock::now();
  packer::PackReport report;
  packer::ProgressLine progress(stderr, !quiet);
  options.progress = [&](uint64_t done, uint64_t total) { progress.Update(done, total); };
  const bool packed = packer::WriteArchive(items, args[1], options, report, error);
  progress.Clear();
  if (!packed) {
    std::fprintf(stderr, "packer: %s\n", error.c_str());
    return 1;
  }
  const double seconds = Seconds(start);
  std::printf("%u files, %llu bytes -> %llu bytes, ratio %.3f:1, %.1f MB/s\n", report.files,
              static_cast<unsigned long long>(report.inputBytes),
              static_cast<unsigned long long>(report.archiveBytes),
              static_cast<double>(report.inputBytes) / static_cast<double>(report.archiveBytes),
              report.inputBytes / 1e6 / seconds);
  std::printf("literals: %llu, references: %llu\n", static_cast<unsigned long long>(report.stats.literals),
              static_cast<unsigned long long>(report.stats.References()));
  PrintLengths(report.stats.referencesByLength);
  return 0;
}

const char* TrailerText(archive::TrailerStatus status) {
  switch (status) {
    case archive::TrailerStatus::kAbsent: return "absent";
    case archive::TrailerStatus::kMatches: return "present, matches";
    case archive::TrailerStatus::kMismatch: return "present, does NOT match the archive";
  }
  return "?";
}

// `list` prints the records; `verify` judges whether the installer extracts
// every file, and exits non-zero only when it would stop or refuse.
int ListOrVerify(archive::RandomSource& archive, bool verify) {
  packer::VerifyReport report;
  packer::VerifyArchive(archive, report);
  uint64_t total = 0;
  for (const auto& r : report.records) {
    if (!verify) {
      std::printf("%10u %10llu  %s\n", r.size, static_cast<unsigned long long>(r.codedBytes), r.name.c_str());
    }
    total += r.size;
  }
  std::printf("%zu records, %llu bytes decoded%s\n", report.records.size(), static_cast<unsigned long long>(total),
              report.endingRecord ? ", then an ending record" : "");
  std::printf("trailer: %s\n", TrailerText(report.trailer));
  if (!verify) return 0;

  PrintLengths(report.referencesByLength);
  return packer::PrintVerdict(report);
}

int Extract(archive::RandomSource& archive, const char* folder) {
  std::string error;
  const auto start = std::chrono::steady_clock::now();
  const int count = packer::ExtractArchiveFile(archive, folder, error);
  if (count <= 0) {
    std::fprintf(stderr, "packer: extraction returned %d%s%s\n", count, error.empty() ? "" : ": ", error.c_str());
    return 1;
  }
  std::printf("%d files extracted in %.3f s\n", count, Seconds(start));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  if (command == "pack") return Pack(argc - 2, argv + 2);
  if (command == "build" || (command == "inspect" && argc == 3)) {
    packer::HostFrontEnd frontEnd;
    if (command == "inspect") return packer::InspectCommand(frontEnd, argv[2]);
    return packer::BuildCommand(frontEnd, std::vector<std::filesystem::path>(argv + 2, argv + argc));
  }
  // list, verify and extract take an installer too: they work on the archive it carries.
  const bool oneArchive = (command == "list" || command == "verify") && argc == 3;
  if (!oneArchive && !(command == "extract" && argc == 4)) return Usage();
  packer::ArchiveInput input;
  std::string error;
  if (!input.Open(argv[2], error)) {
    std::fprintf(stderr, "packer: %s\n", error.c_str());
    return 1;
  }
  if (command == "extract") return Extract(input.Archive(), argv[3]);
  return ListOrVerify(input.Archive(), command == "verify");
}
