// packer.exe: the Windows packer for publishers. Makes an installer from a
// folder and the stub beside it, tells what an installer carries, and checks
// an installer's archive with the installer's own engine. Wide command-line
// arguments, so file names are exact whatever the system's code page; text
// out in UTF-8.
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "packlib/HostArchive.h"
#include "packlib/HostFrontEnd.h"

namespace fs = std::filesystem;

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: packer build [-j N] [--quiet] FOLDER -o OUT.exe [--stub STUB]\n"
               "                                               pack FOLDER into a copy of the installer stub\n"
               "       packer inspect INSTALLER                what an installer carries\n"
               "       packer verify INSTALLER|ARCHIVE         decode everything as the installer will\n");
  return 2;
}

int Verify(const fs::path& given) {
  packer::ArchiveInput input;
  std::string error;
  if (!input.Open(given, error)) {
    std::fprintf(stderr, "packer: %s\n", error.c_str());
    return 1;
  }
  packer::VerifyReport report;
  packer::VerifyArchive(input.Archive(), report);
  uint64_t total = 0;
  for (const auto& r : report.records) total += r.size;
  std::printf("%zu records, %llu bytes decoded%s\n", report.records.size(), static_cast<unsigned long long>(total),
              report.endingRecord ? ", then an ending record" : "");
  return packer::PrintVerdict(report);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Names and versions are printed in UTF-8; a console shows them as such.
  SetConsoleOutputCP(CP_UTF8);
  if (argc < 2) return Usage();
  const std::wstring command = argv[1];
  std::vector<fs::path> args(argv + 2, argv + argc);
  packer::HostFrontEnd frontEnd;
  if (command == L"build") return packer::BuildCommand(frontEnd, args);
  if (command == L"inspect" && args.size() == 1) return packer::InspectCommand(frontEnd, args[0]);
  if (command == L"verify" && args.size() == 1) {
    try {
      return Verify(args[0]);
    } catch (const std::exception& e) {  // a name the system cannot convert, memory
      std::fprintf(stderr, "packer: %s\n", e.what());
      return 1;
    }
  }
  return Usage();
}
