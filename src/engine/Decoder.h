// Decoding of one record's LZSS stream.
#pragma once

#include <cstdint>

#include "engine/ByteReader.h"
#include "engine/OutputSink.h"
#include "engine/Ring.h"

namespace archive {

enum class DecodeStatus {
  kComplete,      // all `count` bytes decoded and written
  kArchiveEnded,  // the archive ended inside the stream
  kWriteFailed,   // the output refused a block
};

struct DecodeResult {
  uint32_t decoded = 0;  // bytes produced (all of them written unless kWriteFailed)
  DecodeStatus status = DecodeStatus::kComplete;
};

// Decodes one stream from the archive's current position into `output`,
// producing `count` bytes, or fewer if the archive ends first. The stream is
// groups of a flag byte (bits LSB first: 1 literal byte, 0 two-byte reference
// to an absolute ring position, length 3..18) and up to eight items. Decoding
// stops as soon as `count` bytes are out, even inside a reference, so the
// archive is left right after the last byte consumed (the next record's first
// byte for a well-formed stream). Resets ring positions 0..4077 first, and
// leaves the ring as the decoded bytes left it.
DecodeResult DecodeEntry(Ring& ring, ByteReader& archive, OutputSink& output, uint32_t count);

}  // namespace archive
