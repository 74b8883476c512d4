// How a patch run changes the game folder, and how a later start finishes a
// run that was cut off: one state machine over what the journal says and what
// the disk shows, carried out by a host (platform/Staging) that knows only how
// to look at one item, perform one step and write one mark.
//
// What everything rests on:
//  1. The plan, with each new file's size and CRC-32, is durable before the
//     run makes anything but its own folder and journal.
//  2. Before the commit mark nothing outside the run's folder has changed,
//     and every new file has been read back, found to match the plan, and
//     made durable.
//  3. A file of the player's is only ever moved, into the run's folder and
//     back, until the finished mark: only then are kept originals deleted.
//  4. After the commit mark a file at a final path is the run's only if it
//     matches the journal, or this very process placed it there. No other
//     file at a final path is ever replaced, deleted or moved away by a step
//     that cannot put it back.
//  5. The run's new files go only after every kept original is back where it
//     was, or kept for good in the run's folder and the player told.
//  6. A mark is written at the end of the journal's valid part and flushed
//     before the first step it allows. The placed mark says every file went
//     through its steps; the files are proven after it, and again by any
//     start that finds it, before the last step.
// Nothing here is inferred from a file's absence: a new file counts as ready
// and a placed file as the run's only when it is there and matches.
//
// The journal's states (Journal.h) and the course each leads to:
//
//   journal                         level a link  course
//   of another format               -             leave: touch nothing, tell
//   any                             yes           leave: touch nothing, tell
//   none, or no valid plan          -             remove (nothing kept) or put back (originals kept)
//   plan                            no            undo
//   commit                          no            complete if every item can go forward, else undo
//   commit rollback, placed rollback no           undo
//   commit placed                   no            finish if every final file matches, else undo
//   commit placed finished          no            clean up
//
// An item's facts: its new file in the run's folder (fresh), the file at its
// final path (final) and its kept original (kept); each of fresh and final
// is absent, matches the journal's size and CRC-32, or differs.
//
// Forward (complete), until none:
//   final matches                                        none (placed)
//   fresh matches, final absent                          place: move fresh to final, never over a file
//   fresh matches, final differs, nothing kept, original keep: move final into the run's folder
//   anything else                                        blocked: the course turns to undo
// Backward (undo), first every item's original, last to first. A file at a
// final path is the run's own when it matches or was placed here, and only
// after the commit mark:
//   kept, final absent                                   restore: move kept to final, never over a file
//   kept, final the run's own                            restore over it
//   kept, anything else at final                         blocked: the original is kept for good
//   not kept, final the run's own, no original           remove the placed file
//   not kept, final the run's own but changed            remove the placed file
//   anything else (an original never moved is in place,  none
//   or a new file that matches it: the game patched already)
// then every item's new file:
//   fresh present                                        remove fresh
// Clean up (after the finished mark): fresh present: remove fresh; kept
// present: remove kept (only where an original stood: anything else the run
// never put there, and it is kept for good).
// Put back (no plan; items are the originals found kept): final absent:
// restore; else blocked, kept for good.
//
// Every course ends as before the run, as after it, or with the blocked
// items told to the player and their originals kept; or, when a step fails,
// with the journal left for the next start to go on from what it then sees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/Journal.h"

namespace archive {

enum class Seen : uint8_t { kAbsent, kMatches, kDiffers };

struct ItemFacts {
  Seen fresh = Seen::kAbsent;  // the new file in the run's folder
  Seen final = Seen::kAbsent;  // the file at the final path
  bool kept = false;           // the original, kept aside in the run's folder
  bool placedHere = false;     // this process moved the new file to the final path
};

enum class Course : uint8_t {
  kLeave,     // touch nothing: a level is a link, or the journal is of another format
  kRemove,    // no plan and nothing kept: the run's own files and folder go, silently
  kPutBack,   // no plan, originals kept: each goes back where its name is free
  kUndo,      // back to before the run
  kComplete,  // on to after the run: every new file placed and proven, then the last step
  kFinish,    // every new file is placed: the last step, then cleaning up
  kCleanUp,   // the last step is done: the kept originals and the run's folder go
};

enum class Step : uint8_t {
  kNone,          // nothing (more) to do for the item on this course
  kKeepOriginal,  // move the file at the final path into the run's folder
  kPlace,         // move the new file to the final path, never over a file
  kRestore,       // move the kept original to the final path, never over a file
  kRestoreOver,   // move the kept original over the run's own file at the final path
  kRemovePlaced,  // delete the run's own file at the final path
  kRemoveFresh,   // delete the new file in the run's folder
  kRemoveKept,    // delete the kept original
  kBlocked,       // the item cannot go this way
};

enum class UndoPhase : uint8_t { kOriginals, kFreshFiles };

// The course for a journal and what the disk shows. `keptWithoutPlan`
// counts only when the journal holds no valid plan; `facts` are the plan's
// items' (empty without a plan).
Course Decide(const JournalState& journal, bool linkOnALevel, bool keptWithoutPlan,
              std::span<const ItemFacts> facts);

Step Forward(const JournalPlan::Item& item, const ItemFacts& facts);
Step Backward(const JournalPlan::Item& item, const ItemFacts& facts, bool committed, UndoPhase phase);
Step CleanUp(const JournalPlan::Item& item, const ItemFacts& facts);
Step PutBack(const ItemFacts& facts);

// How a course leaves the run's folder.
enum class Closing : uint8_t {
  kRemove,         // everything of the run goes, the journal last
  kKeepOriginals,  // the journal and the new files go; the folder stays under another name with the originals
  kAtRestart,      // what is left (an original still in use) goes at the next restart; the journal stays until then
};

// Which of an item's facts a step asks for: all of them, only its final
// file (whether it is placed), or only what the run left of it (its new file
// and its kept original). A host may look at more.
enum class Look : uint8_t { kAll, kFinal, kLeftovers };

// What a course needs from the disk. Observe proves an item's facts; every
// other call changes the disk and says whether it could.
class ProtocolHost {
 public:
  virtual ~ProtocolHost() = default;
  virtual ItemFacts Observe(size_t item, Look look = Look::kAll) = 0;
  // False when the step could not be done (for kRemoveKept: when the file
  // could only be left to the next restart).
  virtual bool Perform(size_t item, Step step) = 0;
  // Writes the mark at the end of the journal's valid part and flushes it.
  virtual bool Mark(JournalMark mark) = 0;
  // The plan's folders, outermost first (before the first item is placed).
  virtual bool MakeFolders() = 0;
  // The plan's folders that hold nothing, innermost first; one that holds
  // something not of the run stays, and that is no failure.
  virtual bool RemoveFolders() = 0;
  // The version and shortcut step, once every file is placed.
  virtual void LastStep() = 0;
  virtual bool Close(Closing closing) = 0;
};

struct Carried {
  enum class End : uint8_t {
    kBefore,   // the folder is as before the run (for kRemove and kPutBack: nothing kept)
    kAfter,    // the folder is as after it
    kKept,     // as before but for `kept`, whose originals stay in the run's folder, kept for good
    kStopped,  // a step or mark failed: the journal stays for the next start
  };
  End end = End::kStopped;
  std::vector<size_t> kept;  // items whose originals are kept for good
  // A complete or finish that could not go on and turned back: the item it
  // stopped at, and whether that item's file was found missing or changed
  // (rather than a step refused by the disk).
  bool turnedBack = false;
  size_t cause = 0;
  bool unproven = false;
};

// Carries out a course (not kLeave) for a journal over the `items` of its
// plan, or, for kPutBack, over the kept originals found (as items whose
// originals were kept). A complete or finish that cannot go on marks the
// roll-back and undoes.
Carried CarryOut(Course course, const JournalState& journal, std::span<const JournalPlan::Item> items,
                 ProtocolHost& host);

}  // namespace archive
