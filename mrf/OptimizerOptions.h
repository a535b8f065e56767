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
  const char* smoothMax = "smoothMax";
  const char* threadCount = "threadCount";
};

struct OptimizerOptions {
  int smoothExponent = 2;             // power of the label distance in the smoothness term: 1 or 2. Default 2
  float smoothMax = 5.0f;             // truncation of that power, in its own units (label distance^exponent). Default 5
  float lambda = 0.99f;               // weight of the truncated power, cost units per unit of it. Default 0.99
  std::optional<std::uint32_t> seed;  // seed of the label orders: the same seed, costs and options give the
                                      // same labels; none reseeds every pass from the process clock. Default none
  int threadCount = 0;                // threads of each expansion move, 0 = one per hardware thread; the labels are
                                      // the same for every count. Default 0

  // Whether these options can run: a lambda that is not finite, a NaN
  // smoothMax, or a negative threadCount is refused with an InvalidInput Error (status 2, one line)
  // naming the field as `names` does. The exponent is deliberately not
  // judged here: the optimizer owns that rule and refuses any but 1 or 2 when
  // the run installs the term (kWrongExponentMessage, status 1).
  Status check(const OptimizerFieldNames& names = {}) const;
};

}  // namespace orbelt
