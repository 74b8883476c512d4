// An installer as a file: the stub the patch archive goes into, the archive
// it carries, and what `packer inspect` tells about it. Portable: both the
// Linux packer and the Windows packer use it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/Check.h"
#include "packlib/PeResources.h"

namespace packer {

// The installer finds its archive as resource type SMF, name KASTER.
inline constexpr char kArchiveType[] = "SMF";
inline constexpr char kArchiveName[] = "KASTER";

// Parses `file` and checks it is one of our installers: it carries the
// archive resource (in one language or more). Refuses anything else with a
// message saying what it is.
bool ReadInstaller(std::span<const uint8_t> file, pe::Image& image, std::string& error);

// The carried archive's languages, in directory order.
std::vector<uint16_t> ArchiveLanguages(const pe::Image& image);

struct EmbedReport {
  size_t languages = 0;        // archive resources replaced
  bool droppedSignature = false;
};

// The installer `stub` with `archive` as its carried archive in every
// language the stub has it in, written without Windows (the resource
// section rebuilt in place). A signed stub loses its signature.
bool EmbedArchive(std::span<const uint8_t> stub, std::span<const uint8_t> archive, std::vector<uint8_t>& out,
                  EmbedReport& report, std::string& error);

// The file without its certificate table (and the directory entry that
// names it), checksum set anew; `file` unchanged when it is not signed.
bool DropSignature(std::span<const uint8_t> file, std::vector<uint8_t>& out, std::string& error);

// What an installer carries.
struct Inspection {
  bool pe32plus = false;
  uint16_t subsystem = 0;
  std::vector<uint16_t> languages;
  uint64_t archiveBytes = 0;
  uint64_t archiveOffset = 0;  // file offset of the (first) carried archive
  bool copiesDiffer = false;   // the languages carry different archives
  uint32_t records = 0;        // records before the end or an ending record
  uint64_t decodedBytes = 0;   // their sizes added up
  bool complete = false;       // every record decodes to its full size
  archive::CheckResult check;  // what the installer's extraction will do
  archive::TrailerStatus trailer = archive::TrailerStatus::kAbsent;
  bool hasVersion = false;
  std::string version;         // the first line of version.txt, CP932 bytes
  bool isSigned = false;
  uint32_t certificateBytes = 0;
  bool checksumMatches = false;  // the header's checksum field (0 counts as unset, not a match)
};

bool InspectInstaller(std::span<const uint8_t> file, Inspection& inspection, std::string& error);

}  // namespace packer
