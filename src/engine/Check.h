// The check that runs before anything in the game folder is touched: the
// whole archive decoded into nothing, exactly as the extraction will decode it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/ByteReader.h"
#include "engine/Extractor.h"
#include "engine/Ring.h"

namespace archive {

enum class TrailerStatus { kAbsent, kMatches, kMismatch };

// Whether the archive ends in an integrity trailer, and whether its length
// and CRC-32 match the bytes before it.
// The CRC is computed in pieces, so an archive file of any size can be checked.
TrailerStatus CheckTrailer(RandomSource& archive);
TrailerStatus CheckTrailer(std::span<const uint8_t> archive);

struct CheckResult {
  // What the extraction will return: the number of files it writes, or 0.
  int count = 0;
  // Set when the extraction would stop with 0 for a reason of the archive's own.
  bool stopped = false;
  ExtractStop reason = ExtractStop::kDamagedArchive;
  std::string stoppedAt;  // target + "\" + the record's name, when stopped
  // Every output path the extraction opens, in order: the counted files and a
  // named ending record's empty file. Duplicates stay (the last one wins).
  std::vector<std::string> outputs;
  std::vector<uint64_t> sizes;  // each output's decoded bytes, in the same order
  std::vector<uint32_t> crcs;   // and their CRC-32
};

// Walks every record from the reader's position as ExtractArchive would,
// decoding each stream into a counting sink, starting from a copy of `ring`
// (positions 4078..4095 carry over from earlier records). Nothing is written
// anywhere. `target` only prefixes the paths it reports.
CheckResult CheckArchive(ByteReader& archive, const std::string& target, Ring ring);

}  // namespace archive
