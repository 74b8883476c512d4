#include "engine/RecordHeader.h"

#include <algorithm>

namespace archive {

HeaderRead ReadRecordHeader(ByteReader& archive, RecordHeader& header) {
  header = {};
  const int length = archive.Get();
  if (length < 0) return HeaderRead::kEnd;
  uint8_t field[255];
  const size_t got = archive.Read(field, static_cast<size_t>(length));
  header.name.assign(reinterpret_cast<const char*>(field),
                     reinterpret_cast<const char*>(std::find(field, field + got, 0)));
  if (got != static_cast<size_t>(length)) return HeaderRead::kCutInName;
  uint8_t size[4];
  if (archive.Read(size, 4) != 4) return HeaderRead::kCutInSize;
  header.size = size[0] | size[1] << 8 | size[2] << 16 | static_cast<uint32_t>(size[3]) << 24;
  return HeaderRead::kRecord;
}

}  // namespace archive
