#pragma once
// The two engines a run drives. An empty member means the real one, so a
// caller names only the engine it replaces (tests put doubles here).
#include <memory>

#include "pipeline/Labeller.h"
#include "pipeline/Matcher.h"

namespace orbelt {

struct StereoEngines {
  std::shared_ptr<const Matcher> matcher;    // default: createAnccMatcher()
  std::shared_ptr<const Labeller> labeller;  // default: createExpansionLabeller()
};

}  // namespace orbelt
