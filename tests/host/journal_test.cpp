// The run's journal read back: only its valid part counts, and a valid plan
// never names anything outside the game folder.
#include <gtest/gtest.h>

#include "engine/Journal.h"
#include "engine/RunLayout.h"
#include "engine/Trailer.h"

namespace {

using archive::JournalMark;
using archive::JournalPlan;
using Bytes = std::vector<uint8_t>;

JournalPlan SamplePlan() {
  return {archive::StagingName(0xabc12), {"データ", "データ\\ソ表"},
          {{"Game02.exe", true, {1481728, 0xdeadbeef}}, {"データ\\ソ表\\能力.dat", false, {7, 0x12345678}}}};
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(Journal, AJournalCutAnywhereKeepsExactlyItsCompleteRecords) {
  const Bytes plan = archive::EncodePlan(SamplePlan());
  const Bytes commit = archive::EncodeMark(JournalMark::kCommit);
  const Bytes placed = archive::EncodeMark(JournalMark::kPlaced);
  const Bytes all = Join({plan, commit, placed});
  for (size_t cut = 0; cut <= all.size(); ++cut) {
    SCOPED_TRACE(cut);
    const archive::JournalState state = archive::ReadJournal(Bytes(all.begin(), all.begin() + cut));
    const bool hasPlan = cut >= plan.size(), hasCommit = cut >= plan.size() + commit.size();
    EXPECT_EQ(state.plan.has_value(), hasPlan);
    EXPECT_EQ(state.committed, hasCommit);
    EXPECT_EQ(state.placed, cut == all.size());
    EXPECT_EQ(state.validBytes, cut == all.size() ? all.size() : hasCommit ? plan.size() + commit.size()
                                                            : hasPlan ? plan.size() : 0);
  }
  const archive::JournalState whole = archive::ReadJournal(all);
  ASSERT_TRUE(whole.plan);
  EXPECT_EQ(whole.plan->staging, "~psabc12.stg");
  EXPECT_EQ(whole.plan->folders, SamplePlan().folders);
  ASSERT_EQ(whole.plan->items.size(), 2u);
  EXPECT_EQ(whole.plan->items[1].path, "データ\\ソ表\\能力.dat");
  EXPECT_TRUE(whole.plan->items[0].original);
  EXPECT_FALSE(whole.plan->items[1].original);
  EXPECT_EQ(whole.plan->items[0].identity, (archive::FileIdentity{1481728, 0xdeadbeef}));
  EXPECT_EQ(whole.plan->items[1].identity, (archive::FileIdentity{7, 0x12345678}));
}

// A plan that names anything but plain paths below the game folder is not a
// plan at all; marks out of their one order end the valid part.
TEST(Journal, PlansNamingOtherPlacesAndMarksOutOfOrderAreNotFollowed) {
  const struct {
    const char* what;
    std::string staging, folder, item;
  } plans[] = {
      {"a staging folder not of the run", "..", "a", "a\\b"},
      {"a staging name with other digits", "~psABC12.stg", "a", "a\\b"},
      {"a folder above the game folder", "~ps00001.stg", "..\\x", "a\\b"},
      {"an absolute item", "~ps00001.stg", "a", "C:\\Windows\\x.dll"},
      {"an item climbing out", "~ps00001.stg", "a", "a\\..\\..\\b"},
      {"an item from the root", "~ps00001.stg", "a", "\\b"},
      {"an empty item", "~ps00001.stg", "a", ""},
  };
  for (const auto& p : plans) {
    SCOPED_TRACE(p.what);
    JournalPlan plan{p.staging, {p.folder}, {{p.item, false, {}}}};
    EXPECT_FALSE(archive::ReadJournal(archive::EncodePlan(plan)).plan);
  }
  const Bytes plan = archive::EncodePlan(SamplePlan());
  const Bytes commit = archive::EncodeMark(JournalMark::kCommit);
  const Bytes rollback = archive::EncodeMark(JournalMark::kRollback);
  const Bytes placed = archive::EncodeMark(JournalMark::kPlaced);
  const Bytes finished = archive::EncodeMark(JournalMark::kFinished);
  const size_t mark = commit.size();
  const struct {
    const char* what;
    Bytes journal;
    size_t valid;
  } orders[] = {
      {"a mark before the plan", Join({commit, plan}), 0},
      {"a roll-back never committed", Join({plan, rollback}), plan.size()},
      {"placed never committed", Join({plan, placed}), plan.size()},
      {"committed twice", Join({plan, commit, commit}), plan.size() + mark},
      {"placed after the roll-back", Join({plan, commit, rollback, placed}), plan.size() + 2 * mark},
      {"finished never placed", Join({plan, commit, finished}), plan.size() + mark},
      {"a roll-back after finishing", Join({plan, commit, placed, finished, rollback}), plan.size() + 3 * mark},
      {"a roll-back after placing", Join({plan, commit, placed, rollback}), plan.size() + 3 * mark},
      {"a second plan", Join({plan, plan}), plan.size()},
  };
  for (const auto& o : orders) {
    SCOPED_TRACE(o.what);
    EXPECT_EQ(archive::ReadJournal(o.journal).validBytes, o.valid);
  }
}

// A plan of an earlier format is recognised, so that its run is left alone,
// and not taken for garbage.
TEST(Journal, APlanOfAnotherFormatIsToldApartFromGarbage) {
  Bytes plan = archive::EncodePlan(SamplePlan());
  const auto reseal = [](Bytes record) {
    const uint32_t crc = archive::Crc32(0, record.data(), record.size() - 4);
    for (int i = 0; i < 4; ++i) record[record.size() - 4 + i] = static_cast<uint8_t>(crc >> (8 * i));
    return record;
  };
  Bytes older = plan;
  older[5 + 3] = '1';  // "PSJ1"
  const archive::JournalState state = archive::ReadJournal(reseal(older));
  EXPECT_FALSE(state.plan);
  EXPECT_TRUE(state.otherFormat);
  Bytes garbage = plan;
  garbage[5] = 'X';
  EXPECT_FALSE(archive::ReadJournal(reseal(garbage)).otherFormat);
  EXPECT_FALSE(archive::ReadJournal(Bytes(plan.begin(), plan.end() - 1)).otherFormat);
}

}  // namespace
