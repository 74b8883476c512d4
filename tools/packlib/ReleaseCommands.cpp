#include "packlib/ReleaseCommands.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <system_error>

#include "packlib/HostArchive.h"
#include "packlib/Progress.h"
#include "packlib/RandomFile.h"

namespace fs = std::filesystem;

namespace packer {
namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "packer: %s\n", message.c_str());
  return 1;
}

int BuildUsage() {
  std::fprintf(stderr, "usage: packer build [-j N] [--quiet] FOLDER -o OUT.exe [--stub STUB]\n");
  return 2;
}

std::string Languages(const std::vector<uint16_t>& languages) {
  std::string text;
  for (uint16_t l : languages) text += (text.empty() ? "" : ", ") + std::to_string(l);
  return text;
}

std::string Plural(uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Why an installer is refused for its size. `atLeast` is "at least " when
// the packing stopped before the archive was whole.
std::string TooLarge(uint64_t imageSize, uint64_t imageLimit, const char* atLeast) {
  return std::string("the installer's image would be ") + atLeast + Plural(imageSize, "byte", "bytes") +
         ", more than the " + std::to_string(imageLimit) +
         " bytes that Windows can be relied on to load; split the patch into several installers, each a complete "
         "patch of part of the files";
}

const char* Describe(archive::ExtractStop reason) {
  switch (reason) {
    case archive::ExtractStop::kUnsafeName: return "an unsafe record name";
    case archive::ExtractStop::kDamagedArchive: return "a damaged archive (it ends inside a record)";
    case archive::ExtractStop::kCannotOpenOutput: return "an output it cannot open";
    case archive::ExtractStop::kCannotWriteOutput: return "an output it cannot write";
  }
  return "a stop";
}

// Opens a file named on the command line for reading, saying why not.
std::unique_ptr<InputFile> OpenInput(const fs::path& path, std::string& error, FrontEnd& frontEnd) {
  std::error_code ec;
  std::unique_ptr<InputFile> file;
  if (!fs::is_regular_file(path, ec)) {
    error = frontEnd.ShowPath(path) + ": no such file";
  } else if (!(file = InputFile::Open(path))) {
    error = frontEnd.ShowPath(path) + ": cannot open";
  }
  return file;
}

}  // namespace

bool IsInside(const fs::path& path, const fs::path& folder) {
  std::error_code ec;
  const fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
  const fs::path f = fs::weakly_canonical(fs::absolute(folder, ec), ec);
  if (p.empty() || f.empty()) return false;
  const auto [end, rest] = std::mismatch(f.begin(), f.end(), p.begin(), p.end());
  return end == f.end() || (std::next(end) == f.end() && end->empty());  // "folder/" ends in an empty element
}

bool SameFile(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::equivalent(a, b, ec) && !ec) return true;
  const fs::path ca = fs::weakly_canonical(fs::absolute(a, ec), ec);
  const fs::path cb = fs::weakly_canonical(fs::absolute(b, ec), ec);
  return !ca.empty() && ca == cb;
}

std::vector<std::string> DescribeInspection(const Inspection& in, FrontEnd& frontEnd) {
  std::vector<std::string> lines;
  auto line = [&](const char* label, const std::string& text) { lines.push_back(std::string(label) + text); };
  char offset[32];
  std::snprintf(offset, sizeof offset, "0x%" PRIx64, in.archiveOffset);
  line("program:    ", std::string(in.pe32plus ? "PE32+" : "PE32") +
                          (in.subsystem == 2 ? ", Windows GUI" : ", subsystem " + std::to_string(in.subsystem)) +
                          (in.checksumMatches ? ", checksum matches" : ", checksum does not match"));
  line("image:      ", Plural(in.imageSize, "byte", "bytes") + " in memory, limit " + std::to_string(kImageLimit));
  if (NearImageLimit(in.imageSize)) {
    line("warning:    ", "the image is within 10% of the limit, or past it: Windows may refuse to start the "
                         "installer on some machines; split the patch into several installers");
  }
  line("archive:    ", Plural(in.archiveBytes, "byte", "bytes") + " at file offset " + offset + ", resource " +
                          kArchiveType + "/" + kArchiveName + " in " +
                          Plural(in.languages.size(), "language", "languages") + " (" + Languages(in.languages) + ")" +
                          (in.copiesDiffer ? "; the languages carry DIFFERENT archives" : ""));
  line("records:    ", Plural(in.records, "record", "records") + ", " +
                          Plural(in.decodedBytes, "byte", "bytes") + " decoded" +
                          (in.complete ? "" : "; the archive is damaged after them"));
  if (in.check.count > 0) {
    line("extraction: ", "the installer writes " + Plural(static_cast<uint64_t>(in.check.count), "file", "files"));
  } else if (in.check.stopped) {
    line("extraction: ", std::string("the installer stops at ") + Describe(in.check.reason) + " (" +
                             frontEnd.ShowCp932(in.check.stoppedAt) + ") and reports failure");
  } else {
    line("extraction: ", "the installer writes nothing and reports failure");
  }
  switch (in.trailer) {
    case archive::TrailerStatus::kAbsent: line("trailer:    ", "absent"); break;
    case archive::TrailerStatus::kMatches: line("trailer:    ", "present, matches"); break;
    case archive::TrailerStatus::kMismatch: line("trailer:    ", "present, does NOT match the archive"); break;
  }
  line("version:    ", in.hasVersion ? frontEnd.ShowCp932(in.version) : std::string("none (no version.txt)"));
  line("signature:  ", in.isSigned ? "signed (" + Plural(in.certificateBytes, "byte", "bytes") +
                                         " of certificates; check it with osslsigncode verify or signtool verify)"
                                   : std::string("not signed"));
  return lines;
}

namespace {

int Inspect(FrontEnd& frontEnd, const fs::path& exe) {
  std::string error;
  const auto file = OpenInput(exe, error, frontEnd);
  if (!file) return Fail(error);
  Inspection inspection;
  if (!InspectInstaller(*file, inspection, error)) return Fail(frontEnd.ShowPath(exe) + ": " + error);
  std::printf("%s: %s\n", frontEnd.ShowPath(exe).c_str(), Plural(file->Length(), "byte", "bytes").c_str());
  for (const std::string& l : DescribeInspection(inspection, frontEnd)) std::printf("%s\n", l.c_str());
  const bool good = inspection.check.count > 0 && inspection.complete && !inspection.copiesDiffer &&
                    inspection.trailer != archive::TrailerStatus::kMismatch;
  return good ? 0 : 1;
}

// An image size the installer is certain to reach once its archive has
// `archiveBytes`: the stub's image with every copy of its archive replaced,
// less what a new layout may save in alignment.
uint64_t ImageAtLeast(const pe::Image& stub, uint64_t archiveBytes) {
  uint64_t image = stub.sizeOfImage;
  for (const pe::Resource* r : stub.Find(pe::ResourceKey::Named(kArchiveType), pe::ResourceKey::Named(kArchiveName))) {
    image = image - std::min<uint64_t>(image, r->Size()) + archiveBytes;
  }
  const uint64_t slack = 4 * uint64_t{stub.sectionAlignment};
  return image > slack ? image - slack : 0;
}

// Packs `folder` into the archive file `archive`, showing progress unless
// told not to; stops once the installer would certainly pass `imageLimit`.
// Prints the summary line.
bool PackFolder(const fs::path& folder, const fs::path& archive, const pe::Image& stub, unsigned jobs, bool quiet,
                uint64_t imageLimit, std::string& error) {
  std::vector<PackItem> items;
  if (!CollectFolder(folder, items, error)) return false;
  PackOptions options;
  options.jobs = jobs;
  ProgressLine progress(stderr, !quiet);
  options.progress = [&](uint64_t done, uint64_t total) { progress.Update(done, total); };
  uint64_t tooLarge = 0;  // the image size that stopped the packing
  options.keepGoing = [&](uint64_t archiveBytes) {
    const uint64_t image = ImageAtLeast(stub, archiveBytes);
    if (image > imageLimit) tooLarge = image;
    return tooLarge == 0;
  };
  PackReport report;
  const bool packed = WriteArchive(items, archive, options, report, error);
  progress.Clear();
  if (tooLarge != 0) error = TooLarge(tooLarge, imageLimit, "at least ");
  if (!packed) return false;
  std::printf("%u files, %llu bytes -> archive of %llu bytes\n", report.files,
              static_cast<unsigned long long>(report.inputBytes), static_cast<unsigned long long>(report.archiveBytes));
  return true;
}

// Writes the installer through OUT.part, renamed over `out` at the end.
bool WriteInstaller(FrontEnd& frontEnd, InputFile& stub, InputFile& archive, const fs::path& out,
                    uint64_t imageLimit, std::string& error) {
  fs::path part = out;
  part += ".part";
  std::error_code ec;
  auto file = OutputFile::Create(part);
  if (!file) {
    error = frontEnd.ShowPath(part) + ": cannot create";
    return false;
  }
  EmbedReport report;
  bool ok = EmbedArchive(stub, archive, *file, report, error, imageLimit);
  if (!ok && report.imageSize > imageLimit) error = TooLarge(report.imageSize, imageLimit, "");
  if (!file->Close() && ok) {
    error = frontEnd.ShowPath(part) + ": cannot write";
    ok = false;
  }
  if (ok) {
    frontEnd.MarkProgram(part);
    fs::rename(part, out, ec);
    if (ec) error = frontEnd.ShowPath(out) + ": cannot replace (" + ec.message() + ")";
    ok = !ec;
  }
  if (!ok) fs::remove(part, ec);
  return ok;
}

int Build(FrontEnd& frontEnd, const std::vector<fs::path>& args, uint64_t imageLimit) {
  fs::path folder, out, stub;
  unsigned jobs = 0;
  bool quiet = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if ((args[i] == "-o" || args[i] == "--stub") && i + 1 < args.size()) {
      (args[i] == "-o" ? out : stub) = args[i + 1];
      ++i;
    } else if (args[i] == "-j") {
      if (i + 1 == args.size() || !ParseJobs(args[++i].string(), jobs)) return BuildUsage();
    } else if (args[i] == "--quiet") {
      quiet = true;
    } else if (args[i].native().empty() || args[i].native()[0] == '-' || !folder.empty()) {
      return BuildUsage();
    } else {
      folder = args[i];
    }
  }
  if (folder.empty() || out.empty()) return BuildUsage();
  if (stub.empty()) stub = frontEnd.ProgramFolder() / kStubFileName;

  std::string error;
  const auto stubFile = OpenInput(stub, error, frontEnd);
  if (!stubFile) return Fail("stub " + error + " (name one with --stub)");
  if (SameFile(out, stub)) {
    return Fail("the output " + frontEnd.ShowPath(out) + " is the stub itself; write the installer elsewhere");
  }
  if (IsInside(out, folder)) {
    return Fail("the output " + frontEnd.ShowPath(out) +
                " lies in the folder being packed (the next build would carry it); write it elsewhere");
  }
  pe::Image image;
  if (!ReadInstaller(*stubFile, image, error)) {
    return Fail("the stub " + frontEnd.ShowPath(stub) + ": " + error);
  }
  if (image.Signed()) {
    std::printf("note: the stub %s is signed; its signature will be dropped (sign the new installer afterwards)\n",
                frontEnd.ShowPath(stub).c_str());
  }

  PrivateFolder temp;
  if (temp.Path().empty()) return Fail("cannot create a temporary folder");
  const fs::path archivePath = temp.Path() / "patch.smf";
  if (!PackFolder(folder, archivePath, image, jobs, quiet, imageLimit, error)) return Fail(error);
  const auto archiveFile = InputFile::Open(archivePath);
  if (!archiveFile) return Fail(frontEnd.ShowPath(archivePath) + ": cannot open");
  if (!WriteInstaller(frontEnd, *stubFile, *archiveFile, out, imageLimit, error)) return Fail(error);

  // Read the result back as the installer will: every language's archive
  // byte for byte, no signature left, and the engine's extraction succeeding.
  const auto written = InputFile::Open(out);
  if (!written) return Fail(frontEnd.ShowPath(out) + ": cannot open");
  pe::Image result;
  if (!ReadInstaller(*written, result, error)) return Fail(frontEnd.ShowPath(out) + ": " + error);
  const std::vector<uint16_t> languages = ArchiveLanguages(result);
  const uint64_t archiveBytes = archiveFile->Length();
  for (const pe::Resource* r : result.Find(pe::ResourceKey::Named(kArchiveType), pe::ResourceKey::Named(kArchiveName))) {
    if (r->Size() != archiveBytes || !SameBytes(*written, r->fileOffset, *archiveFile, 0, archiveBytes)) {
      return Fail(frontEnd.ShowPath(out) + ": the carried archive (language " + std::to_string(r->language) +
                  ") does not read back as written");
    }
  }
  if (languages != ArchiveLanguages(image) || result.Signed()) {
    return Fail(frontEnd.ShowPath(out) + ": the written installer's resources or signature are not as intended");
  }
  Inspection inspection;
  if (!InspectInstaller(*written, inspection, error)) return Fail(frontEnd.ShowPath(out) + ": " + error);
  std::printf("%s: %s, carrying the archive (%s) in %s\n", frontEnd.ShowPath(out).c_str(),
              Plural(written->Length(), "byte", "bytes").c_str(), Plural(archiveBytes, "byte", "bytes").c_str(),
              Plural(languages.size(), "language", "languages").c_str());
  if (inspection.check.count <= 0) return Fail(frontEnd.ShowPath(out) + ": the installer would not extract this archive");
  std::printf("version: %s\n",
              inspection.hasVersion ? frontEnd.ShowCp932(inspection.version).c_str() : "none (no version.txt)");
  return 0;
}

}  // namespace

int InspectCommand(FrontEnd& frontEnd, const fs::path& exe) {
  try {
    return Inspect(frontEnd, exe);
  } catch (const std::exception& e) {  // a name the system cannot convert, memory
    return Fail(e.what());
  }
}

int BuildCommand(FrontEnd& frontEnd, const std::vector<fs::path>& args, uint64_t imageLimit) {
  try {
    return Build(frontEnd, args, imageLimit);
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
}

}  // namespace packer
