#include "engine/Journal.h"

#include "engine/RecordName.h"
#include "engine/RunLayout.h"
#include "engine/Trailer.h"

namespace archive {
namespace {

constexpr uint8_t kPlanKind = 1;
// 4 bytes at the plan's start: "PSJ" and the format's digit. A plan of
// another digit is recognised as a plan, but never followed.
constexpr char kMagic[] = "PSJ2";
constexpr size_t kRecordOverhead = 1 + 4 + 4;

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutText(std::vector<uint8_t>& out, const std::string& text) {
  out.push_back(static_cast<uint8_t>(text.size()));
  out.push_back(static_cast<uint8_t>(text.size() >> 8));
  out.insert(out.end(), text.begin(), text.end());
}

std::vector<uint8_t> Record(uint8_t kind, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> out{kind};
  Put32(out, static_cast<uint32_t>(payload.size()));
  out.insert(out.end(), payload.begin(), payload.end());
  Put32(out, Crc32(0, out.data(), out.size()));
  return out;
}

// Reads a plan's payload; any inconsistency gives nothing.
class PayloadReader {
 public:
  explicit PayloadReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  bool Take(size_t n, const uint8_t*& at) {
    if (bytes_.size() - pos_ < n) return false;
    at = bytes_.data() + pos_;
    pos_ += n;
    return true;
  }
  bool U32(uint32_t& v) {
    const uint8_t* p;
    if (!Take(4, p)) return false;
    v = p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
    return true;
  }
  bool Text(std::string& text) {
    const uint8_t* p;
    if (!Take(2, p)) return false;
    const size_t n = p[0] | p[1] << 8;
    if (!Take(n, p)) return false;
    text.assign(reinterpret_cast<const char*>(p), n);
    return true;
  }
  bool AtEnd() const { return pos_ == bytes_.size(); }

 private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

std::optional<JournalPlan> ParsePlan(std::span<const uint8_t> payload) {
  PayloadReader in(payload);
  const uint8_t* magic;
  JournalPlan plan;
  uint32_t count;
  if (!in.Take(4, magic) || std::string_view(reinterpret_cast<const char*>(magic), 4) != kMagic ||
      !in.Text(plan.staging) || !IsStagingName(plan.staging) || !in.U32(count)) {
    return std::nullopt;
  }
  // Every name is a plain path strictly below the game folder: a journal can
  // never make the recovery act anywhere else.
  for (uint32_t i = 0; i < count; ++i) {
    std::string& folder = plan.folders.emplace_back();
    if (!in.Text(folder) || !IsSafeRecordName(folder)) return std::nullopt;
  }
  if (!in.U32(count)) return std::nullopt;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* original;
    JournalPlan::Item& item = plan.items.emplace_back();
    if (!in.Take(1, original) || *original > 1 || !in.U32(item.identity.size) || !in.U32(item.identity.crc) ||
        !in.Text(item.path) || !IsSafeRecordName(item.path)) {
      return std::nullopt;
    }
    item.original = *original == 1;
  }
  if (!in.AtEnd()) return std::nullopt;
  return plan;
}

// "PSJ" and a digit other than this format's.
bool IsOtherFormat(std::span<const uint8_t> payload) {
  return payload.size() >= 4 && std::string_view(reinterpret_cast<const char*>(payload.data()), 3) == "PSJ" &&
         payload[3] >= '0' && payload[3] <= '9' && payload[3] != static_cast<uint8_t>(kMagic[3]);
}

}  // namespace

std::vector<uint8_t> EncodePlan(const JournalPlan& plan) {
  std::vector<uint8_t> payload(kMagic, kMagic + 4);
  PutText(payload, plan.staging);
  Put32(payload, static_cast<uint32_t>(plan.folders.size()));
  for (const std::string& folder : plan.folders) PutText(payload, folder);
  Put32(payload, static_cast<uint32_t>(plan.items.size()));
  for (const JournalPlan::Item& item : plan.items) {
    payload.push_back(item.original ? 1 : 0);
    Put32(payload, item.identity.size);
    Put32(payload, item.identity.crc);
    PutText(payload, item.path);
  }
  return Record(kPlanKind, payload);
}

std::vector<uint8_t> EncodeMark(JournalMark mark) { return Record(static_cast<uint8_t>(mark), {}); }

bool AddMark(JournalState& state, JournalMark mark) {
  switch (mark) {
    case JournalMark::kCommit:
      if (state.committed) return false;
      state.committed = true;
      return true;
    case JournalMark::kPlaced:
      if (!state.committed || state.placed || state.rollingBack) return false;
      state.placed = true;
      return true;
    case JournalMark::kRollback:
      if (!state.committed || state.rollingBack || state.finished) return false;
      state.rollingBack = true;
      return true;
    case JournalMark::kFinished:
      if (!state.placed || state.rollingBack || state.finished) return false;
      state.finished = true;
      return true;
  }
  return false;
}

JournalState ReadJournal(std::span<const uint8_t> bytes) {
  JournalState state;
  size_t at = 0;
  while (bytes.size() - at >= kRecordOverhead) {
    const uint8_t* r = bytes.data() + at;
    const uint8_t kind = r[0];
    const uint64_t length = r[1] | r[2] << 8 | r[3] << 16 | static_cast<uint64_t>(r[4]) << 24;
    if (length > bytes.size() - at - kRecordOverhead) break;
    const size_t body = 5 + static_cast<size_t>(length);
    const uint32_t crc = r[body] | r[body + 1] << 8 | r[body + 2] << 16 | static_cast<uint32_t>(r[body + 3]) << 24;
    if (Crc32(0, r, body) != crc) break;
    const std::span<const uint8_t> payload(r + 5, static_cast<size_t>(length));
    // The plan comes first, the marks after it in one of their orders.
    if (!state.plan) {
      if (kind != kPlanKind) break;
      state.plan = ParsePlan(payload);
      if (!state.plan) {
        state.otherFormat = IsOtherFormat(payload);
        break;
      }
    } else if (length != 0 || kind < static_cast<uint8_t>(JournalMark::kCommit) ||
               kind > static_cast<uint8_t>(JournalMark::kFinished) ||
               !AddMark(state, static_cast<JournalMark>(kind))) {
      break;
    }
    at += body + 4;
    state.validBytes = at;
  }
  return state;
}

}  // namespace archive
