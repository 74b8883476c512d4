// The journal of a patch run: what the run will create and move in the game
// folder, written and flushed before it touches anything there, and the marks
// of its progress. A later start reads it back to finish or undo a run that
// was cut off. Only its valid part counts: every record carries its own
// CRC-32, and reading stops at the first record that is cut, damaged, out of
// order or names anything but a plain path below the game folder.
//
// Records: kind (1 byte), payload length (32-bit little-endian), payload,
// CRC-32 of the three (32-bit little-endian). The first is the plan; then
// come at most the marks commit, then roll-back or placed, in that order.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace archive {

struct JournalPlan {
  struct Item {
    std::string path;      // the file's place, relative to the game folder (CP932)
    bool original = false;  // a file stood there when the run began: it is kept aside
  };
  // The run's own folder at the game folder's root: "~ps" + 5 hex digits +
  // ".stg". It holds the journal, item k's new file (ItemFileName(k, false))
  // and, once the commit has moved it, the kept-aside original (true).
  std::string staging;
  std::vector<std::string> folders;  // folders the commit makes, outermost first, relative
  std::vector<Item> items;           // in the order the commit places them
};

enum class JournalMark : uint8_t {
  kCommit = 2,    // every new file is complete on the disk; originals may now move
  kRollback = 3,  // the commit failed: everything is being put back
  kPlaced = 4,    // every new file is in place: only kept-aside originals remain
};

struct JournalState {
  std::optional<JournalPlan> plan;  // absent when not even the plan is valid
  bool committed = false;
  bool rollingBack = false;
  bool placed = false;
  size_t validBytes = 0;  // the valid part's length: marks are appended there
};

std::vector<uint8_t> EncodePlan(const JournalPlan& plan);
std::vector<uint8_t> EncodeMark(JournalMark mark);
JournalState ReadJournal(std::span<const uint8_t> bytes);

// The staging folder's name for a seed (its low 20 bits), and the test for one.
std::string StagingName(uint32_t seed);
bool IsStagingName(std::string_view name);
// "00007.new", "00007.old": item 7's files in the staging folder.
std::string ItemFileName(size_t index, bool aside);
inline constexpr char kJournalFileName[] = "journal";

}  // namespace archive
