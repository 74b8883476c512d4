// Where an installer carries its patch archive: a resource of type SMF and
// name KASTER, as a resource compiler stores them (upper case; the system
// finds resource names and types ignoring case).
#pragma once

namespace archive {

inline constexpr char kArchiveType[] = "SMF";
inline constexpr char kArchiveName[] = "KASTER";

}  // namespace archive
