#include "engine/Protocol.h"

#include <algorithm>

namespace archive {
namespace {

// A step that succeeds changes the item's facts; an item needs at most two
// steps on any course. More means the disk says yes without doing it.
constexpr int kStepsPerItem = 4;

bool Placed(const ItemFacts& facts) noexcept { return facts.final == Seen::kMatches; }

// Walks one item through `next` until it needs nothing more. kBlocked and
// kNone end the walk; the last step asked for is returned with whether every
// step performed succeeded.
template <class Next>
Step Walk(ProtocolHost& host, size_t item, Next next, bool& ok, Look look = Look::kAll) {
  for (int n = 0; n < kStepsPerItem; ++n) {
    const Step step = next(host.Observe(item, look));
    if (step == Step::kNone || step == Step::kBlocked) return step;
    if (!host.Perform(item, step)) {
      ok = false;
      return step;
    }
  }
  ok = false;
  return Step::kNone;
}

// The marks of a journal, without its plan (the items are passed apart).
JournalState MarksOf(const JournalState& journal) {
  JournalState marks;
  marks.committed = journal.committed;
  marks.rollingBack = journal.rollingBack;
  marks.placed = journal.placed;
  marks.finished = journal.finished;
  return marks;
}

class Carrier {
 public:
  Carrier(const JournalState& journal, std::span<const JournalPlan::Item> items, ProtocolHost& host)
      : marks_(MarksOf(journal)), items_(items), host_(host) {}

  Carried Complete() {
    if (!host_.MakeFolders()) return TurnBack(0, false);
    for (size_t i = 0; i < items_.size(); ++i) {
      bool ok = true;
      const Step last = Walk(host_, i, [&](const ItemFacts& f) { return Forward(items_[i], f); }, ok);
      if (last == Step::kBlocked) return TurnBack(i, true);
      if (!ok) return TurnBack(i, false);
    }
    return Finish();
  }

  // The placed mark (unless there), every final file proven, the last step,
  // the finished mark, and cleaning up. The files are proven after the mark,
  // so that nothing that happened to them before it goes unseen; the mark
  // alone is never trusted (a start that finds it proves them again).
  Carried Finish() {
    if (!marks_.placed && !Mark(JournalMark::kPlaced)) return TurnBack(items_.size(), false);
    for (size_t i = 0; i < items_.size(); ++i) {
      if (!Placed(host_.Observe(i, Look::kFinal))) return TurnBack(i, true);
    }
    host_.LastStep();
    // Without the finished mark the next start takes the last step again.
    if (Mark(JournalMark::kFinished)) return CleanUp();
    Carried carried;
    carried.end = Carried::End::kAfter;
    return carried;
  }

  Carried Undo() {
    Carried carried;
    if (marks_.committed && !marks_.rollingBack && !Mark(JournalMark::kRollback)) return carried;
    bool ok = true;
    for (size_t i = items_.size(); i-- > 0;) {
      const Step last = Walk(host_, i, [&](const ItemFacts& f) {
        return Backward(items_[i], f, marks_.committed, UndoPhase::kOriginals);
      }, ok);
      if (last == Step::kBlocked) carried.kept.push_back(i);
    }
    // The new files stay while an original could not be moved back. Before
    // the commit mark no folder was made.
    if (!ok || (marks_.committed && !host_.RemoveFolders())) return carried;
    for (size_t i = 0; i < items_.size(); ++i) {
      Walk(host_, i, [&](const ItemFacts& f) {
        return Backward(items_[i], f, marks_.committed, UndoPhase::kFreshFiles);
      }, ok);
    }
    std::reverse(carried.kept.begin(), carried.kept.end());
    if (!ok || !host_.Close(carried.kept.empty() ? Closing::kRemove : Closing::kKeepOriginals)) return carried;
    carried.end = carried.kept.empty() ? Carried::End::kBefore : Carried::End::kKept;
    return carried;
  }

  Carried PutBackKept() {
    Carried carried;
    bool ok = true;
    for (size_t i = 0; i < items_.size(); ++i) {
      if (Walk(host_, i, [](const ItemFacts& f) { return PutBack(f); }, ok) == Step::kBlocked) {
        carried.kept.push_back(i);
      }
    }
    if (!ok || !host_.Close(carried.kept.empty() ? Closing::kRemove : Closing::kKeepOriginals)) return carried;
    carried.end = carried.kept.empty() ? Carried::End::kBefore : Carried::End::kKept;
    return carried;
  }

  Carried Remove() {
    Carried carried;
    if (host_.Close(Closing::kRemove)) carried.end = Carried::End::kBefore;
    return carried;
  }

  // After the finished mark the game is as after the run, whatever is left.
  Carried CleanUp() {
    bool ok = true;
    Carried carried;
    for (size_t i = 0; i < items_.size(); ++i) {
      const auto next = [&](const ItemFacts& f) { return archive::CleanUp(items_[i], f); };
      if (Walk(host_, i, next, ok, Look::kLeftovers) == Step::kBlocked) carried.kept.push_back(i);
    }
    host_.Close(!ok ? Closing::kAtRestart : carried.kept.empty() ? Closing::kRemove : Closing::kKeepOriginals);
    carried.end = Carried::End::kAfter;
    return carried;
  }

 private:
  bool Mark(JournalMark mark) {
    JournalState next = marks_;
    if (!AddMark(next, mark) || !host_.Mark(mark)) return false;
    marks_ = next;
    return true;
  }

  Carried TurnBack(size_t item, bool unproven) {
    Carried carried = Undo();
    carried.turnedBack = true;
    carried.cause = item;
    carried.unproven = unproven;
    return carried;
  }

  JournalState marks_;  // the marks written so far
  std::span<const JournalPlan::Item> items_;
  ProtocolHost& host_;
};

}  // namespace

Course Decide(const JournalState& journal, bool linkOnALevel, bool keptWithoutPlan,
              std::span<const ItemFacts> facts) {
  if (journal.otherFormat || linkOnALevel) return Course::kLeave;
  if (!journal.plan) return keptWithoutPlan ? Course::kPutBack : Course::kRemove;
  if (journal.finished) return Course::kCleanUp;
  if (journal.rollingBack || !journal.committed) return Course::kUndo;
  if (journal.placed) return std::all_of(facts.begin(), facts.end(), Placed) ? Course::kFinish : Course::kUndo;
  for (size_t i = 0; i < facts.size(); ++i) {
    if (Forward(journal.plan->items[i], facts[i]) == Step::kBlocked) return Course::kUndo;
  }
  return Course::kComplete;
}

Step Forward(const JournalPlan::Item& item, const ItemFacts& facts) {
  if (facts.final == Seen::kMatches) return Step::kNone;
  if (facts.fresh != Seen::kMatches) return Step::kBlocked;
  if (facts.final == Seen::kAbsent) return Step::kPlace;
  return item.original && !facts.kept ? Step::kKeepOriginal : Step::kBlocked;
}

Step Backward(const JournalPlan::Item& item, const ItemFacts& facts, bool committed, UndoPhase phase) {
  if (phase == UndoPhase::kFreshFiles) return facts.fresh != Seen::kAbsent ? Step::kRemoveFresh : Step::kNone;
  // Before the commit mark no file at a final path is the run's.
  const bool runsOwn =
      committed && (facts.final == Seen::kMatches || (facts.final == Seen::kDiffers && facts.placedHere));
  if (facts.kept) {
    if (facts.final == Seen::kAbsent) return Step::kRestore;
    return runsOwn ? Step::kRestoreOver : Step::kBlocked;
  }
  // Where an original stood and none is kept, a new file that matches may be
  // that very original (the game patched already): it stays.
  return runsOwn && (!item.original || facts.final == Seen::kDiffers) ? Step::kRemovePlaced : Step::kNone;
}

Step CleanUp(const JournalPlan::Item& item, const ItemFacts& facts) {
  // Only an original the patch replaced is the run's to delete; anything else
  // found kept (the run never put it there) stays.
  if (facts.fresh != Seen::kAbsent) return Step::kRemoveFresh;
  if (facts.kept) return item.original ? Step::kRemoveKept : Step::kBlocked;
  return Step::kNone;
}

Step PutBack(const ItemFacts& facts) {
  if (!facts.kept) return Step::kNone;
  return facts.final == Seen::kAbsent ? Step::kRestore : Step::kBlocked;
}

Carried CarryOut(Course course, const JournalState& journal, std::span<const JournalPlan::Item> items,
                 ProtocolHost& host) {
  Carrier run(journal, items, host);
  switch (course) {
    case Course::kComplete: return run.Complete();
    case Course::kFinish: return run.Finish();
    case Course::kUndo: return run.Undo();
    case Course::kCleanUp: return run.CleanUp();
    case Course::kPutBack: return run.PutBackKept();
    case Course::kRemove: return run.Remove();
    case Course::kLeave: break;
  }
  return {};
}

}  // namespace archive
