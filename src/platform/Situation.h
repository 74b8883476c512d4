// What on the player's machine would make a patch run fail, tested before the
// run touches the game folder, so that it can say which cause applies.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Why an original file cannot be replaced now.
struct BlockedOriginal {
  enum class Why { kInUse, kReadOnly } why;
  std::string path;     // the original's path (CP932, as given)
  std::string program;  // CP932 name of a program holding it, when the system can tell; else empty
};

// The first of `paths` that exists as a file and is read-only, or in use in a
// way that blocks renaming it aside and deleting it later: a running program
// image, or a file held open without delete sharing. Brief locks (scanners,
// indexers) are waited out for about 2 s first. Writes nothing; other paths
// (missing, folders) are skipped.
std::optional<BlockedOriginal> FindBlockedOriginal(const std::vector<std::string>& paths);

// The name (CP932; characters it lacks become '?') of the first program the
// Restart Manager says holds `path` open; empty when none is known or the
// system cannot tell.
std::string ProgramHolding(const std::string& path);

// Free space for a run.
struct Space {
  uint64_t needed = 0, available = 0;
  bool Enough() const { return available >= needed; }
};

// The space a file of `size` bytes takes in clusters of `cluster` bytes: none
// for an empty file (it takes a directory entry only).
constexpr uint64_t ClusterRounded(uint64_t size, uint64_t cluster) {
  if (cluster == 0) return size;
  return (size / cluster + (size % cluster != 0)) * cluster;
}

// What staging files of `sizes` bytes plus `extra` bytes needs on the volume
// of `folder`, and what is available to the caller there (quotas included);
// `available` is UINT64_MAX when the volume cannot be queried.
Space StagingSpace(const std::string& folder, const std::vector<uint64_t>& sizes, uint64_t extra);

}  // namespace platform
