#include "mrf/GraphCutSolver.h"

#include <new>
#include <string>

namespace orbelt {

GraphCutSolver::GraphCutSolver(int width, int height, int labelCount, EnergyTerms* terms)
    : MrfSolver(width, height, labelCount, terms) {
  constructStep([&] {
    abortIf(width < 0 || height < 0 || labelCount < 0, "Illegal negative parameters");
    // With no label every table index addresses an empty array; there is
    // nothing to optimise and nothing a labelling could hold.
    abortIf(labelCount == 0, "labelCount is 0: at least one disparity label is needed");

    labels.reset(new (std::nothrow) int[static_cast<std::size_t>(pixelCount)]);
    abortIf(!labels, "out of memory");
    for (int p = 0; p < pixelCount; ++p) labels[p] = 0;

    ownsPairTable = false;
    randomLabelOrder = true;

    activePixels.reset(new (std::nothrow) int[static_cast<std::size_t>(pixelCount)]);
    labelOrder.reset(new (std::nothrow) int[static_cast<std::size_t>(labelCount)]);
    abortIf(!activePixels || !labelOrder, "Not enough memory");
    for (int i = 0; i < labelCount; ++i) labelOrder[i] = i;
  });
}

// The owned arrays go with their unique_ptrs; the caller's records, tables
// and multipliers are never touched.
GraphCutSolver::~GraphCutSolver() = default;

void GraphCutSolver::requireDataTerm(const char* what) const {
  abortIf(dataForm == CostForm::NotSet, "You have to set up the data cost before running optimization");
  const bool installed =
      dataForm == CostForm::Table ? dataTable != nullptr || !adoptedData.empty() : dataFunction != nullptr;
  if (pixelCount > 0 && !installed) {
    const std::string message = std::string(what) + ": no data cost is installed; run initialize() first";
    abortIf(true, message.c_str());
  }
}

void GraphCutSolver::requireSmoothTerm(const char* what) const {
  abortIf(smoothForm == CostForm::NotSet, "You have to set up the smoothness cost before running optimization");
  bool installed = smoothForm == CostForm::Function ? pairFunction != nullptr : pairTable != nullptr;
  if (smoothForm != CostForm::Function && useMultipliers) {
    installed = installed && horizontalMultipliers != nullptr && verticalMultipliers != nullptr;
  }
  if (pixelCount > 0 && !installed) {
    const std::string message = std::string(what) + ": no smoothness cost is installed; run initialize() first";
    abortIf(true, message.c_str());
  }
}

double GraphCutSolver::sumDataCosts() {
  requireDataTerm("dataCostSum()");
  if (dataForm == CostForm::Table) {
    double sum = 0.0;
    for (int p = 0; p < pixelCount; ++p) sum += dataCost(p, labels[p]);
    return sum;
  }
  // A function term is summed in single precision: callers of the function
  // form compare energies formed this way.
  float sum = 0.0f;
  for (int p = 0; p < pixelCount; ++p) sum += dataFunction(p, labels[p]);
  return sum;
}

double GraphCutSolver::sumPairCosts() {
  requireSmoothTerm("pairCostSum()");
  if (smoothForm == CostForm::Function) {
    float sum = 0.0f;
    for (int y = 0; y < height; ++y) {
      for (int x = 1; x < width; ++x) {
        const int q = y * width + x;
        const int p = q - 1;
        sum += pairFunction(q, p, labels[q], labels[p]);
      }
    }
    for (int y = 1; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const int q = y * width + x;
        const int p = q - width;
        sum += pairFunction(q, p, labels[q], labels[p]);
      }
    }
    return sum;
  }

  double sum = 0.0;
  for (int y = 0; y < height; ++y) {
    for (int x = 1; x < width; ++x) {
      const int q = y * width + x;
      const int p = q - 1;
      const float v = pairTableEntry(labels[p], labels[q]);
      sum += useMultipliers ? v * horizontalMultipliers[p] : v;
    }
  }
  for (int y = 1; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int q = y * width + x;
      const int p = q - width;
      const float v = pairTableEntry(labels[p], labels[q]);
      sum += useMultipliers ? v * verticalMultipliers[p] : v;
    }
  }
  return sum;
}

double GraphCutSolver::totalEnergy() {
  // Two statements: the data term is checked (and refused) before the
  // smoothness term, and the pair sum is rounded to float before the add.
  const double data = sumDataCosts();
  const float pairs = static_cast<float>(sumPairCosts());
  return data + pairs;
}

Status GraphCutSolver::addNeighbourPair(int /*pixel1*/, int /*pixel2*/, float /*weight*/) {
  return engineFailure(
      "addNeighbourPair: this solver works on the 4-connected grid only; general neighbour lists are "
      "not supported\n");
}

int* GraphCutSolver::labelBuffer() { return labels.get(); }

int GraphCutSolver::labelAt(int pixel) { return labels[pixel]; }

void GraphCutSolver::assignLabel(int pixel, int label) { labels[pixel] = label; }

void GraphCutSolver::resetLabels() {
  for (int p = 0; p < pixelCount; ++p) labels[p] = 0;
}

void GraphCutSolver::setOptions(int count, const void* values) {
  if (count != 1) {
    note("\nInvalid number of parameters, can only set one parameter\\that is boolean label order\n");
    return;
  }
  if (values == nullptr) {
    note("\nsetOptions(): values is null; the label order option is left unchanged\n");
    return;
  }
  randomLabelOrder = *static_cast<const unsigned char*>(values) != 0;
}

void GraphCutSolver::setDataTable(float* table) {
  // The record may still point at costs handed over (their buffer, now
  // reordered): those stay the data term; any other table replaces them.
  if (!adoptedData.empty() && table == adoptedFrom) return;
  adoptedData = RowPlanarCosts();
  adoptedFrom = nullptr;
  dataTable = table;
}

Status GraphCutSolver::adoptDataCosts(std::vector<float>&& costs) {
  if (dataForm != CostForm::Table) {
    return invalidInput("adoptDataCosts(): the data term is not a Table; initialize() a Table term first");
  }
  const std::size_t expected = static_cast<std::size_t>(pixelCount) * static_cast<std::size_t>(labelCount);
  if (costs.size() != expected) {
    return invalidInput("adoptDataCosts(): " + std::to_string(costs.size()) + " costs given, " +
                        std::to_string(expected) + " (pixels x labels) needed");
  }
  return catchFailure(
      [&] {
        const float* from = costs.data();
        adoptedData.adopt(std::move(costs), width, height, labelCount);
        adoptedFrom = from;
        dataTable = nullptr;
        ++adoptions;
      },
      outOfMemoryError());
}

std::vector<float> GraphCutSolver::releaseDataCosts() {
  if (adoptedData.empty()) return {};
  adoptedFrom = nullptr;
  return adoptedData.release();
}

void GraphCutSolver::setDataFunction(DataCostFunction function) { dataFunction = function; }

void GraphCutSolver::setSmoothness(int exponent, float maxCost, float lambda) {
  if (!isTruncatedPowerExponent(exponent)) raiseFailure(engineFailure(kWrongExponentMessage));
  const std::size_t n = static_cast<std::size_t>(labelCount);
  std::unique_ptr<float[]> table(new (std::nothrow) float[n * n]);
  if (!table) raiseFailure(engineFailure("Not enough memory!\n"));
  for (int a = 0; a < labelCount; ++a) {
    for (int b = a; b < labelCount; ++b) {
      const int d = b - a;
      const int t = exponent == 1 ? d : d * d;
      // Compared as floating values; a tie keeps t.
      const float v = static_cast<float>(t) <= maxCost ? static_cast<float>(t) : maxCost;
      const float entry = v * lambda;
      table[static_cast<std::size_t>(b) * n + static_cast<std::size_t>(a)] = entry;
      table[static_cast<std::size_t>(a) * n + static_cast<std::size_t>(b)] = entry;
    }
  }
  // A table built by an earlier initialize() is replaced, not leaked.
  ownedPairTable = std::move(table);
  pairTable = ownedPairTable.get();
  ownsPairTable = true;
}

void GraphCutSolver::setSmoothnessFunction(PairCostFunction function) { pairFunction = function; }

void GraphCutSolver::setSmoothness(float* table) {
  abortIf(table == nullptr, "setSmoothness(): the pair table is null");
  const std::size_t n = static_cast<std::size_t>(labelCount);
  for (std::size_t a = 0; a < n; ++a) {
    for (std::size_t b = a; b < n; ++b) {
      if (table[a * n + b] != table[b * n + a]) {
        raiseFailure(engineFailure("Error in setSmoothness(): V is not symmetric!\n"));
      }
    }
  }
  ownedPairTable.reset();
  ownsPairTable = false;
  pairTable = table;
}

void GraphCutSolver::setEdgeMultipliers(float* horizontal, float* vertical) {
  horizontalMultipliers = horizontal;
  verticalMultipliers = vertical;
}

void GraphCutSolver::prepareSolver() {}

std::span<const int> GraphCutSolver::currentLabelOrder() const {
  return {labelOrder.get(), static_cast<std::size_t>(labelCount)};
}

}  // namespace orbelt
