// A record's header as the archive format defines it: a length byte, a name
// field of that many bytes (the name is used up to its first zero byte), and
// the decoded size, 32-bit little-endian. Read by the extraction, the check,
// and the packer's list, verify and inspect alike.
#pragma once

#include <cstdint>
#include <string>

#include "engine/ByteReader.h"

namespace archive {

enum class HeaderRead {
  kRecord,     // the whole header was read
  kEnd,        // the archive ended before the header's first byte
  kCutInName,  // it ended inside the name field (`name` holds what was read)
  kCutInSize,  // it ended inside the size field (`name` is whole)
};

struct RecordHeader {
  std::string name;
  uint32_t size = 0;  // read only with kRecord; 0 otherwise
};

HeaderRead ReadRecordHeader(ByteReader& archive, RecordHeader& header);

// Whether a header ends the archive: an empty name, whatever follows it, or
// a size of 0 (a named ending record leaves an empty file).
inline bool EndsArchive(HeaderRead read, const RecordHeader& header) {
  return (read == HeaderRead::kRecord || read == HeaderRead::kCutInSize) &&
         (header.name.empty() || (read == HeaderRead::kRecord && header.size == 0));
}

}  // namespace archive
