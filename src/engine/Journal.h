// The journal of a patch run: what the run will create and move in the game
// folder, and what every file it places must be, written and flushed before it
// touches anything there, and the marks of its progress. A later start reads
// it back to finish or undo a run that was cut off (engine/Protocol.h). Only
// its valid part counts: every record carries its own CRC-32, and reading
// stops at the first record that is cut, damaged, out of order or names
// anything but a plain path below the game folder.
//
// Records: kind (1 byte), payload length (32-bit little-endian), payload,
// CRC-32 of the three (32-bit little-endian). The first is the plan; then come
// the marks, in one of the orders
//   commit                      (every new file verified and durable)
//   commit placed               (every new file moved to its place)
//   commit placed finished      (the last step done: only cleaning up remains)
//   commit rollback | commit placed rollback   (everything is being put back)
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace archive {

// What a file the run places must be: its decoded size and CRC-32.
struct FileIdentity {
  uint32_t size = 0;
  uint32_t crc = 0;
  bool operator==(const FileIdentity&) const = default;
};

struct JournalPlan {
  struct Item {
    std::string path;      // the file's place, relative to the game folder (CP932)
    bool original = false;  // a file stood there when the run began: it is kept aside
    FileIdentity identity;  // what the run's new file is, as the archive decodes it
  };
  // The run's own folder at the game folder's root: "~ps" + 5 hex digits +
  // ".stg" (RunLayout.h). It holds the journal, item k's new file and, once
  // the commit has moved it, the kept-aside original.
  std::string staging;
  std::vector<std::string> folders;  // folders the commit makes, outermost first, relative
  std::vector<Item> items;           // in the order the commit places them
};

enum class JournalMark : uint8_t {
  kCommit = 2,    // every new file is complete, verified and durable; originals may now move
  kRollback = 3,  // everything is being put back
  kPlaced = 4,    // every new file went to its place: once they are proven there, the last step
  kFinished = 5,  // the last step (version and shortcut) is done: only cleaning up remains
};

struct JournalState {
  std::optional<JournalPlan> plan;  // absent when not even the plan is valid
  // The plan is valid but of another format than this program's: it is
  // never followed, and nothing of its run is touched.
  bool otherFormat = false;
  bool committed = false;
  bool rollingBack = false;
  bool placed = false;
  bool finished = false;
  size_t validBytes = 0;  // the valid part's length: marks are written there
};

std::vector<uint8_t> EncodePlan(const JournalPlan& plan);
std::vector<uint8_t> EncodeMark(JournalMark mark);
JournalState ReadJournal(std::span<const uint8_t> bytes);
// The state with `mark` added, as ReadJournal would read it back after the
// plan; false when the mark may not follow the state's marks.
bool AddMark(JournalState& state, JournalMark mark);

inline constexpr char kJournalFileName[] = "journal";

}  // namespace archive
