#pragma once
// The description of a grid MRF energy handed to the optimizer: a data term
// (the cost of giving a pixel a label) and a smoothness term (the cost of two
// neighbouring pixels' labels).
//
// Ownership: the records and every array and function they point to belong to
// the caller and must stay valid and unchanged for the optimizer's whole life.
// The optimizer only keeps pointers; the one array it owns is the table it
// builds itself for a truncated-power term.
#include <cstdint>

namespace orbelt {

// How a term supplies its costs.
enum class CostForm : std::int32_t {
  Function = 0,        // from costFunction / pairFunction
  Table = 1,           // from costTable / pairTable
  TruncatedPower = 2,  // smoothness built by the optimizer from exponent, maxCost, lambda
  NotSet = 3,          // term missing: a sweep refuses to run
};

// Cost of giving `label` to the row-major pixel `pixel`.
using DataCostFunction = float (*)(int pixel, int label);
// Cost of labels (label1, label2) on neighbours (pixel1, pixel2); label1 is
// pixel1's. Must give the same value for (p, q, a, b) and (q, p, b, a).
using PairCostFunction = float (*)(int pixel1, int pixel2, int label1, int label2);

struct DataTerm {
  // pixelCount x labelCount costs; label l of pixel p at p*labelCount + l.
  // Read when form is Table. Default: none.
  float* costTable = nullptr;
  // Cost function; read for every form but Table and NotSet. Default: none.
  DataCostFunction costFunction = nullptr;
  // Table reads costTable; every other form is taken as a function; NotSet
  // (the default) is refused by sweeps and energy queries.
  CostForm form = CostForm::NotSet;
};

struct SmoothTerm {
  // labelCount x labelCount symmetric costs; labels (a, b) at a*labelCount + b.
  // Read when form is Table (checked for exact symmetry). Default: none.
  float* pairTable = nullptr;
  // pixelCount entries; entry p scales the pair of p and its right neighbour
  // (the last column is never read). Default: none.
  float* horizontalMultipliers = nullptr;
  // pixelCount entries; entry p scales the pair of p and the pixel below it
  // (the last row is never read). Default: none.
  float* verticalMultipliers = nullptr;
  // Pair cost function; read when form is Function. Default: none.
  PairCostFunction pairFunction = nullptr;
  // Function, Table, NotSet (the default: refused by sweeps and energy
  // queries), or (any other value) a truncated power.
  CostForm form = CostForm::NotSet;
  // Truncated power only: 1 or 2 (anything else ends initialize()). Default 0.
  int exponent = 0;
  // Truncated power only: truncation of the label-distance power, in label
  // distance units (|a-b| or |a-b|^2). Default 0.
  float maxCost = 0.0f;
  // Truncated power only: cost per unit of truncated distance power. Default 0.
  float lambda = 0.0f;
  // When true the two multiplier arrays apply (Table and truncated power
  // only; a pair function carries its own weights). Default false.
  bool useMultipliers = false;
};

struct EnergyTerms {
  DataTerm* data = nullptr;      // the data term; required. Default: none.
  SmoothTerm* smooth = nullptr;  // the smoothness term; required. Default: none.
};

// The exponents a truncated-power term may have; any other is refused with
// kWrongExponentMessage: by OptimizerOptions::check before a run, and by the
// solver when it installs the term.
inline bool isTruncatedPowerExponent(int exponent) { return exponent == 1 || exponent == 2; }
inline constexpr const char* kWrongExponentMessage = "Wrong exponent in setSmoothness()!\n";

}  // namespace orbelt
