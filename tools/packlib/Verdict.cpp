// The verdict on a verified archive: what stops the installer, what is unusual, the exit code.
#include "packlib/HostArchive.h"

#include <cstdio>

namespace packer {

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
