// Item-level statistics and well-formedness of record streams, for `verify`.
#pragma once

#include <array>
#include <cstdint>

#include "engine/ByteReader.h"

namespace packer {

struct StreamScan {
  bool complete = false;           // the stream produced its full size
  uint64_t literals = 0;
  std::array<uint64_t, 19> referencesByLength{};
  uint64_t carriedReads = 0;       // bytes read from positions 4078..4095 before this record wrote them
  uint64_t cutReferences = 0;      // references that ran past the size
};

// Walks one stream of `count` decoded bytes item by item without producing
// output. Reports what the decoder does not check: references into the
// previous record's leftovers and references cut at the size.
StreamScan ScanStream(archive::ByteReader& archive, uint32_t count);

}  // namespace packer
