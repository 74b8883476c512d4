// The run's state machine over every combination of journal state and item
// facts, on a model disk that knows where every file is: no course ever
// destroys a player's file (but the cleaning up after the finished mark, which
// deletes the kept originals the patch replaced), and every course ends as
// before the run, as after it, or with the originals it could not put back
// kept and named. A course cut off at any of its changes, and the course the
// next start then decides, end the same way.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <utility>

#include "engine/Protocol.h"

namespace {

using archive::Carried;
using archive::Course;
using archive::ItemFacts;
using archive::JournalMark;
using archive::JournalState;
using archive::Seen;
using archive::Step;

// What a slot holds: a player's file carries its own number (>= kPlayer).
enum Content : int { kNone = 0, kNew = 1, kChanged = 2, kPlayer = 100 };

struct Item {
  int fresh = kNone;  // kNone, kNew, kChanged (the run's new file, changed by someone)
  int final = kNone;  // kNone, kNew, kChanged (only when placed here), or a player's file
  int kept = kNone;   // kNone, a player's file (or whatever the run moved aside)
  bool placedHere = false;
};

struct World {
  std::vector<Item> items;
  std::vector<archive::JournalPlan::Item> plan;
  JournalState journal;
};

std::string Describe(const World& w) {
  std::ostringstream out;
  const JournalState& j = w.journal;
  out << "journal" << (j.committed ? " commit" : "") << (j.placed ? " placed" : "") << (j.rollingBack ? " rollback" : "")
      << (j.finished ? " finished" : "") << ";";
  for (size_t i = 0; i < w.items.size(); ++i) {
    const Item& it = w.items[i];
    out << " [" << (w.plan[i].original ? "original " : "") << "fresh=" << it.fresh << " final=" << it.final
        << " kept=" << it.kept << (it.placedHere ? " here" : "") << "]";
  }
  return out.str();
}

// The model disk. Every change can be made to fail from the `failAt`-th on
// (a process cut off there); a failed change leaves the world untouched.
class ModelHost : public archive::ProtocolHost {
 public:
  explicit ModelHost(World& world) : w_(world) {}
  uint64_t failAt = 0;  // 0: nothing fails
  uint64_t changes = 0;
  bool cleaningUp = false;      // kRemoveKept is allowed (after the finished mark)
  std::set<int> destroyed;      // player's files deleted or overwritten
  bool lastStep = false, closed = false;
  archive::Closing closing{};

  ItemFacts Observe(size_t i, archive::Look = archive::Look::kAll) override {
    const Item& it = w_.items[i];
    ItemFacts f;
    f.fresh = it.fresh == kNone ? Seen::kAbsent : it.fresh == kNew ? Seen::kMatches : Seen::kDiffers;
    f.final = it.final == kNone ? Seen::kAbsent : it.final == kNew ? Seen::kMatches : Seen::kDiffers;
    f.kept = it.kept != kNone;
    f.placedHere = it.placedHere;
    return f;
  }
  bool Perform(size_t i, Step step) override {
    if (!Change()) return false;
    Item& it = w_.items[i];
    switch (step) {
      case Step::kKeepOriginal:
        if (it.final == kNone || it.kept != kNone) return false;
        it.kept = std::exchange(it.final, kNone);
        return true;
      case Step::kPlace:
        if (it.fresh == kNone || it.final != kNone) return false;
        it.final = std::exchange(it.fresh, kNone);
        it.placedHere = true;
        return true;
      case Step::kRestore:
        if (it.kept == kNone || it.final != kNone) return false;
        it.final = std::exchange(it.kept, kNone);
        it.placedHere = false;  // the file there now is not the one placed
        return true;
      case Step::kRestoreOver:
        if (it.kept == kNone || it.final == kNone) return false;
        Destroy(it.final);
        it.final = std::exchange(it.kept, kNone);
        it.placedHere = false;
        return true;
      case Step::kRemovePlaced:
        if (it.final == kNone) return false;
        Destroy(std::exchange(it.final, kNone));
        it.placedHere = false;
        return true;
      case Step::kRemoveFresh:
        if (it.fresh == kNone) return false;
        it.fresh = kNone;
        return true;
      case Step::kRemoveKept:
        if (it.kept == kNone) return false;
        EXPECT_TRUE(cleaningUp) << "a kept original deleted before the finished mark";
        // Only a file that stood where the patch replaced one is the patch's to delete.
        if (!cleaningUp || !w_.plan[i].original) destroyed.insert(it.kept);
        it.kept = kNone;
        return true;
      default:
        ADD_FAILURE() << "asked to perform a step that is none";
        return false;
    }
  }
  bool Mark(JournalMark mark) override {
    if (!Change()) return false;
    EXPECT_TRUE(archive::AddMark(w_.journal, mark)) << "a mark out of order";
    if (mark == JournalMark::kFinished) cleaningUp = true;
    return true;
  }
  bool MakeFolders() override { return Change(); }
  bool RemoveFolders() override { return Change(); }
  void LastStep() override {
    EXPECT_TRUE(w_.journal.placed) << "the last step before the placed mark";
    lastStep = true;
  }
  bool Close(archive::Closing how) override {
    if (!Change()) return false;
    // The run's folder never goes while it holds an original.
    if (how == archive::Closing::kRemove) {
      for (const Item& it : w_.items) EXPECT_EQ(it.kept, kNone) << "the run's folder removed with an original in it";
    }
    closed = true;
    closing = how;
    return true;
  }

 private:
  bool Change() { return failAt == 0 || ++changes < failAt; }
  void Destroy(int content) {
    if (content >= kPlayer) destroyed.insert(content);
  }
  World& w_;
};

// Every player's file of the first world, by number, and the item it belongs to.
std::map<int, size_t> PlayersFiles(const World& w) {
  std::map<int, size_t> files;
  for (size_t i = 0; i < w.items.size(); ++i) {
    if (w.items[i].final >= kPlayer) files[w.items[i].final] = i;
    if (w.items[i].kept >= kPlayer) files[w.items[i].kept] = i;
  }
  return files;
}

bool Has(const World& w, int file) {
  for (const Item& it : w.items)
    if (it.final == file || it.kept == file) return true;
  return false;
}

// The folder as before the run: every item holds its player's file, or, with
// none, nothing of the run's (an original never moved stays as it is).
::testing::AssertionResult Before(const World& start, const World& end, const std::vector<size_t>& kept = {}) {
  for (size_t i = 0; i < end.items.size(); ++i) {
    const Item &s = start.items[i], &e = end.items[i];
    if (e.fresh != kNone) return ::testing::AssertionFailure() << "item " << i << ": a new file left";
    const bool isKept = std::find(kept.begin(), kept.end(), i) != kept.end();
    if (isKept) {
      if (e.kept < kPlayer) return ::testing::AssertionFailure() << "item " << i << ": told kept, nothing kept";
      continue;
    }
    if (e.kept != kNone) return ::testing::AssertionFailure() << "item " << i << ": an original left aside";
    const int player = s.kept >= kPlayer ? s.kept : s.final >= kPlayer ? s.final : kNone;
    if (player != kNone) {
      if (e.final != player) return ::testing::AssertionFailure() << "item " << i << ": its original not back";
    } else if (!start.journal.committed) {
      if (e.final != s.final) return ::testing::AssertionFailure() << "item " << i << ": touched before the commit";
    } else if (e.final != kNone && !(e.final == kNew && start.plan[i].original)) {
      // A new file where an original stood but is gone may stay: it may be that original.
      return ::testing::AssertionFailure() << "item " << i << ": the run's file left";
    }
  }
  return ::testing::AssertionSuccess();
}

// As after the run; `kept` items may still hold what was found kept for them.
::testing::AssertionResult After(const World& end, const std::vector<size_t>& kept) {
  for (size_t i = 0; i < end.items.size(); ++i) {
    const Item& e = end.items[i];
    const bool mayKeep = std::find(kept.begin(), kept.end(), i) != kept.end();
    if (e.final != kNew || e.fresh != kNone || (e.kept != kNone && !mayKeep)) {
      return ::testing::AssertionFailure() << "item " << i << " is not as after the run";
    }
  }
  return ::testing::AssertionSuccess();
}

Course DecideFor(const World& w, bool link = false) {
  std::vector<ItemFacts> facts;
  World copy = w;
  ModelHost look(copy);
  for (size_t i = 0; i < w.items.size(); ++i) facts.push_back(look.Observe(i));
  return archive::Decide(w.journal, link, false, facts);
}

// Runs the course the journal and disk call for; checks that no player's file
// is lost and where it ended. `failAt` cuts it off at that change.
struct CourseRun {
  Course course;
  Carried carried;
  World end;
  std::set<int> destroyed;
  bool lastStep;
};

CourseRun RunCourse(const World& start, uint64_t failAt) {
  CourseRun run{DecideFor(start), {}, start, {}, false};
  ModelHost host(run.end);
  host.failAt = failAt;
  host.cleaningUp = start.journal.finished;
  if (run.course != Course::kLeave) run.carried = archive::CarryOut(run.course, run.end.journal, run.end.plan, host);
  run.destroyed = host.destroyed;
  run.lastStep = host.lastStep;
  return run;
}

// Checks how a course that ran to its end left the folder.
void ExpectAnEnd(const World& start, const CourseRun& run) {
  for (const auto& [file, item] : PlayersFiles(start)) {
    // Only the cleaning up after the finished mark deletes originals.
    if (run.destroyed.count(file) || (!Has(run.end, file) && !(run.end.journal.finished && start.plan[item].original))) {
      ADD_FAILURE() << "player's file " << file << " of item " << item << " lost";
    }
  }
  switch (run.carried.end) {
    case Carried::End::kAfter:
      EXPECT_TRUE(run.end.journal.finished);
      if (start.journal.finished) {  // only cleaning up was left: the files are the player's now
        for (size_t i = 0; i < run.end.items.size(); ++i) {
          const bool mayKeep = std::count(run.carried.kept.begin(), run.carried.kept.end(), i) > 0;
          EXPECT_TRUE(run.end.items[i].fresh == kNone && (run.end.items[i].kept == kNone || mayKeep));
        }
        break;
      }
      EXPECT_TRUE(After(run.end, run.carried.kept));
      EXPECT_TRUE(run.lastStep);
      break;
    case Carried::End::kBefore: EXPECT_TRUE(Before(start, run.end)); break;
    case Carried::End::kKept:
      EXPECT_FALSE(run.carried.kept.empty());
      EXPECT_TRUE(Before(start, run.end, run.carried.kept));
      break;
    case Carried::End::kStopped: ADD_FAILURE() << "stopped with nothing refused"; break;
  }
}

// The journal states a run goes through, each with every pair of item
// states: 6 × 72² worlds.
std::vector<World> AllWorlds() {
  std::vector<JournalState> journals;
  const std::vector<std::vector<JournalMark>> orders = {
      {}, {JournalMark::kCommit}, {JournalMark::kCommit, JournalMark::kRollback},
      {JournalMark::kCommit, JournalMark::kPlaced},
      {JournalMark::kCommit, JournalMark::kPlaced, JournalMark::kRollback},
      {JournalMark::kCommit, JournalMark::kPlaced, JournalMark::kFinished}};
  for (const auto& marks : orders) {
    JournalState j;
    j.plan.emplace();
    for (JournalMark m : marks) EXPECT_TRUE(archive::AddMark(j, m));
    journals.push_back(j);
  }
  std::vector<std::pair<Item, bool>> states;  // an item and whether an original stood there
  int player = kPlayer;
  for (int fresh : {kNone, kNew, kChanged})
    for (bool here : {false, true})
      for (int final : here ? std::vector<int>{kNone, kNew, kChanged} : std::vector<int>{kNone, kNew, kPlayer})
        for (bool kept : {false, true})
          for (bool original : {false, true}) states.push_back({{fresh, final, kept ? kPlayer : kNone, here}, original});
  std::vector<World> worlds;
  for (const JournalState& j : journals) {
    for (const auto& [a, aOriginal] : states) {
      for (const auto& [b, bOriginal] : states) {
        World w;
        w.journal = j;
        w.items = {a, b};
        // Each player's file its own number.
        for (Item& it : w.items) {
          if (it.final == kPlayer) it.final = ++player;
          if (it.kept == kPlayer) it.kept = ++player;
        }
        w.plan = {{"a", aOriginal, {}}, {"b\\c", bOriginal, {}}};
        w.journal.plan->items = w.plan;
        worlds.push_back(w);
      }
    }
  }
  return worlds;
}

TEST(Protocol, EveryJournalStateAndItemFactsEndBeforeAfterOrKeptWithNothingLost) {
  size_t ends[4] = {};
  for (const World& start : AllWorlds()) {
    SCOPED_TRACE(Describe(start));
    const CourseRun run = RunCourse(start, 0);
    ASSERT_NE(run.course, Course::kLeave);
    ExpectAnEnd(start, run);
    ++ends[static_cast<int>(run.carried.end)];
    if (::testing::Test::HasFailure()) return;
  }
  // Every end but a stop is reached by some world.
  EXPECT_GT(ends[static_cast<int>(Carried::End::kBefore)], 0u);
  EXPECT_GT(ends[static_cast<int>(Carried::End::kAfter)], 0u);
  EXPECT_GT(ends[static_cast<int>(Carried::End::kKept)], 0u);
}

// Cut off at each change in turn; the next start decides again from what the
// journal and the disk then show, and that course, run to its end, must end
// as one run would.
TEST(Protocol, ACourseCutOffAtAnyChangeIsFinishedByTheNextStart) {
  size_t cuts = 0;
  for (const World& start : AllWorlds()) {
    for (uint64_t cut = 1;; ++cut) {
      SCOPED_TRACE(Describe(start) + " cut at change " + std::to_string(cut));
      CourseRun first = RunCourse(start, cut);
      if (first.carried.end != Carried::End::kStopped) break;  // ran to its end before the cut
      ++cuts;
      for (const auto& [file, item] : PlayersFiles(start)) {
        EXPECT_EQ(first.destroyed.count(file), 0u) << "player's file of item " << item << " lost";
      }
      CourseRun next = RunCourse(first.end, 0);
      // Measured against the first world: the next start finishes that run.
      CourseRun whole = next;
      whole.destroyed.insert(first.destroyed.begin(), first.destroyed.end());
      whole.lastStep = whole.lastStep || first.lastStep;
      ExpectAnEnd(start, whole);
      if (::testing::Test::HasFailure()) return;
    }
  }
  EXPECT_GT(cuts, 100000u);
}

TEST(Protocol, ALinkOrAJournalOfAnotherFormatTouchesNothing) {
  World w = AllWorlds()[100];
  EXPECT_EQ(DecideFor(w, true), Course::kLeave);
  w.journal.otherFormat = true;
  w.journal.plan.reset();
  EXPECT_EQ(archive::Decide(w.journal, false, true, {}), Course::kLeave);
}

// Without a readable plan only what the run's folder shows counts: kept
// originals go back where their names are free, and nothing is claimed.
TEST(Protocol, WithoutAPlanKeptOriginalsGoBackWhereTheirNamesAreFree) {
  JournalState none;
  EXPECT_EQ(archive::Decide(none, false, false, {}), Course::kRemove);
  EXPECT_EQ(archive::Decide(none, false, true, {}), Course::kPutBack);
  World w;
  w.items = {{kNone, kNone, kPlayer + 1, false}, {kNone, kPlayer + 2, kPlayer + 3, false}};
  w.plan = {{"a", true, {}}, {"b", true, {}}};
  ModelHost host(w);
  const Carried carried = archive::CarryOut(Course::kPutBack, none, w.plan, host);
  EXPECT_EQ(carried.end, Carried::End::kKept);
  EXPECT_EQ(carried.kept, std::vector<size_t>{1});
  EXPECT_EQ(w.items[0].final, kPlayer + 1);
  EXPECT_EQ(w.items[1].kept, kPlayer + 3);
  EXPECT_EQ(host.closing, archive::Closing::kKeepOriginals);
  EXPECT_TRUE(host.destroyed.empty());
}

// A run that turns back names the item it stopped at and why.
TEST(Protocol, ACompleteThatCannotGoOnNamesTheItemAndUndoes) {
  World w = AllWorlds()[0];
  w.journal.plan->items = w.plan = {{"a", true, {}}, {"b", false, {}}};
  ASSERT_TRUE(archive::AddMark(w.journal, JournalMark::kCommit));
  w.items = {{kNew, kPlayer + 1, kNone, false}, {kNew, kNone, kNone, false}};
  const World start = w;
  // Item b's placed file disappears as soon as it is placed, as a scanner may do it.
  class Vanishing : public ModelHost {
   public:
    using ModelHost::ModelHost;
    World* world = nullptr;
    bool Perform(size_t i, Step step) override {
      const bool done = ModelHost::Perform(i, step);
      if (done && step == Step::kPlace && i == 1) world->items[1].final = kNone;
      return done;
    }
  } host(w);
  host.world = &w;
  const Carried carried = archive::CarryOut(Course::kComplete, w.journal, w.plan, host);
  EXPECT_TRUE(carried.turnedBack);
  EXPECT_EQ(carried.cause, 1u);
  EXPECT_TRUE(carried.unproven);
  EXPECT_EQ(carried.end, Carried::End::kBefore);
  EXPECT_TRUE(Before(start, w));
  EXPECT_TRUE(w.journal.rollingBack);
}

}  // namespace
