// An installer as a file: the stub the patch archive goes into, the archive
// it carries, and what `packer inspect` tells about it. Portable: both the
// Linux packer and the Windows packer use it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/ArchiveResource.h"
#include "engine/Check.h"
#include "packlib/PeResources.h"

namespace packer {

using archive::kArchiveName;
using archive::kArchiveType;

// The largest image `build` writes. Windows maps a program's whole image
// into the lower 2 GB of the process before it runs a line of it, beside the
// system's DLLs and whatever else is loaded into every process (an IME, a
// virus scanner's hooks); loads were seen to fail from about 1.8 GB. 1.5 GiB
// leaves that margin, and the installer room for its own memory after it.
inline constexpr uint64_t kImageLimit = uint64_t{1536} << 20;

// Parses `file` and checks it is one of our installers: it carries the
// archive resource (in one language or more). Refuses anything else with a
// message saying what it is. From a random source the archive stays in the
// file (see pe::Parse); the source must outlive the image.
bool ReadInstaller(archive::RandomSource& file, pe::Image& image, std::string& error);
bool ReadInstaller(std::span<const uint8_t> file, pe::Image& image, std::string& error);

// True when `size` bytes of `a` at `aAt` equal those of `b` at `bAt`
// (false also when either cannot be read).
bool SameBytes(archive::RandomSource& a, uint64_t aAt, archive::RandomSource& b, uint64_t bAt, uint64_t size);

// The carried archive's languages, in directory order.
std::vector<uint16_t> ArchiveLanguages(const pe::Image& image);

struct EmbedReport {
  size_t languages = 0;        // archive resources replaced
  bool droppedSignature = false;
  uint64_t imageSize = 0;      // the new installer's image size in memory
};

// The installer `stub` with `archive` as its carried archive in every
// language the stub has it in, written without Windows (the resource
// section rebuilt in place) in one pass. A signed stub loses its signature.
// Refuses, before writing, an installer whose image would pass `imageLimit`.
bool EmbedArchive(archive::RandomSource& stub, archive::RandomSource& archive, pe::Output& out,
                  EmbedReport& report, std::string& error, uint64_t imageLimit = kImageLimit);
bool EmbedArchive(std::span<const uint8_t> stub, std::span<const uint8_t> archive, std::vector<uint8_t>& out,
                  EmbedReport& report, std::string& error);

// The file without its certificate table (and the directory entry that
// names it), checksum set anew; `file` unchanged when it is not signed.
bool DropSignature(std::span<const uint8_t> file, std::vector<uint8_t>& out, std::string& error);

// What an installer carries.
struct Inspection {
  bool pe32plus = false;
  uint16_t subsystem = 0;
  uint32_t imageSize = 0;      // in memory, as the loader maps it
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

// Reads the archive where it lies in the file, a buffer at a time.
bool InspectInstaller(archive::RandomSource& file, Inspection& inspection, std::string& error);
bool InspectInstaller(std::span<const uint8_t> file, Inspection& inspection, std::string& error);

// True when an image of `imageSize` bytes comes within 10% of kImageLimit.
bool NearImageLimit(uint64_t imageSize);

}  // namespace packer
