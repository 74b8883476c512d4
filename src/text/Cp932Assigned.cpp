#include <algorithm>

#include "text/PathRules.h"

namespace pathrules {
namespace {

constexpr DoubleByteRun kAssigned[] = {
#include "text/Cp932Assigned.inc"
};

}  // namespace

std::span<const DoubleByteRun> AssignedDoubleByteRuns() { return kAssigned; }

bool IsAssignedDoubleByte(unsigned char lead, unsigned char trail) {
  // The first run that does not end before the code.
  const DoubleByteRun* run = std::lower_bound(
      std::begin(kAssigned), std::end(kAssigned), DoubleByteRun{lead, trail, trail},
      [](const DoubleByteRun& a, const DoubleByteRun& b) { return a.lead != b.lead ? a.lead < b.lead : a.last < b.last; });
  return run != std::end(kAssigned) && run->lead == lead && run->first <= trail;
}

}  // namespace pathrules
