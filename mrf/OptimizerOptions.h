#pragma once
// The optimizer's parameters for a disparity run, in the optimizer's own
// words, with their defaults and the one check of what can run.
#include <cstdint>
#include <optional>

#include "platform/Expected.h"

namespace orbelt {

// Optimizer passes of every run: optimize(1) calls, each one sweep of
// expansion moves in a freshly shuffled label order.
inline constexpr int kOptimizerPasses = 10;

// The names check() gives the fields in its messages; a front end passes the
// labels its users typed.
struct OptimizerFieldNames {
  const char* lambda = "lambda";
};

struct OptimizerOptions {
  int smoothExponent = 2;   // power of the label distance in the smoothness term: 1 or 2. Default 2
  float smoothMax = 5.0f;   // truncation of that power, in its own units (label distance^exponent). Default 5
  float lambda = 0.99f;     // weight of the truncated power, cost units per unit of it. Default 0.99
  std::optional<std::uint32_t> seed;  // seed of the label orders: the same seed, costs and options give the
                                      // same labels; none reseeds every pass from the process clock. Default none

  // Whether these options can run. A non-finite lambda is refused with an
  // InvalidInput Error (status 2, one line) naming it as `names` does; an
  // exponent other than 1 or 2 with the optimizer's own Error, exactly as
  // initialize() would give it (kWrongExponentMessage, status 1), so a
  // caller that checks first tells the user the same thing.
  Status check(const OptimizerFieldNames& names = {}) const;
};

}  // namespace orbelt
