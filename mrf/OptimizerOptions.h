#pragma once
// The optimizer's parameters for a disparity run, in the optimizer's own
// words, with their defaults and the one check of what can run.
#include <cstdint>
#include <optional>

#include "mrf/EnergyTerms.h"
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
  bool exponentLeftToSolver = false;  // true: check() passes any exponent, and the solver refuses one but 1 or 2
                                      // when it installs the term, after the costs were computed (EngineFailure,
                                      // kWrongExponentMessage): the dialog's order. Default false (check() refuses)

  // Whether these options can run; otherwise an InvalidInput Error (status
  // 2, one line), checked in this order: an exponent other than 1 or 2
  // (kWrongExponentMessage, unless exponentLeftToSolver), a lambda that is not
  // finite, a NaN smoothMax, a negative threadCount, each named as `names`
  // says.
  Status check(const OptimizerFieldNames& names = {}) const;

  // The smoothness term these options describe: a truncated power of the
  // label distance (smoothExponent, smoothMax, lambda) without multipliers.
  SmoothTerm smoothTerm() const;
};

}  // namespace orbelt
