#include "mrf/MrfSolver.h"

#include <climits>
#include <string>

#include "platform/ProcessServices.h"

namespace orbelt {

namespace {

// The pointer a term of `form` must supply to be usable, or null when the
// form reads nothing from the record (NotSet).
bool dataTermSupplied(const DataTerm& term) {
  switch (term.form) {
    case CostForm::NotSet: return true;  // refused later, when it would be read
    case CostForm::Table: return term.costTable != nullptr;
    default: return term.costFunction != nullptr;
  }
}

}  // namespace

MrfSolver::MrfSolver(int width, int height, int labelCount, EnergyTerms* terms)
    : width(0),
      height(0),
      pixelCount(0),
      labelCount(0),
      isGrid(true),
      useMultipliers(false),
      initialized(false),
      energyTerms(nullptr),
      dataForm(CostForm::NotSet),
      smoothForm(CostForm::NotSet) {
  constructStep([&] {
    // Without the records there is no energy to describe; reading them would
    // fault, so refuse before touching them.
    abortIf(terms == nullptr || terms->data == nullptr || terms->smooth == nullptr,
            "The energy terms are missing: EnergyTerms, its data term and its smoothness term must all be given");

    this->width = width;
    this->height = height;
    // The product of two ints may not fit in one; a grid whose pixel index
    // would wrap cannot be addressed at all.
    const long long product = static_cast<long long>(width) * static_cast<long long>(height);
    abortIf(width >= 0 && height >= 0 && product > INT_MAX,
            "Illegal grid size: width x height exceeds 2147483647 pixels");
    pixelCount = static_cast<int>(product);
    this->labelCount = labelCount;

    dataForm = terms->data->form;
    smoothForm = terms->smooth->form;
    useMultipliers = terms->smooth->useMultipliers;
    energyTerms = terms;
  });
}

Status MrfSolver::initialize() {
  if (!constructionStatus_) return constructionStatus_;
  return catchFailure([this] { installTerms(); }, outOfMemoryError());
}

void MrfSolver::installTerms() {
  initialized = true;
  const DataTerm& data = *energyTerms->data;
  const SmoothTerm& smooth = *energyTerms->smooth;
  const bool hasPixels = pixelCount > 0;

  // A form that names an array or a function that is missing would fault at
  // the first read, far from the cause; refuse it here, naming it.
  if (hasPixels && !dataTermSupplied(data)) {
    abortIf(true, dataForm == CostForm::Table
                      ? "initialize(): the data term's form is Table but its costTable is null"
                      : "initialize(): the data term's costFunction is null (every form but Table reads it)");
  }

  // 1. Data term. A NotSet term installs nothing: sweeps and energy queries
  // refuse it with their own message.
  if (dataForm == CostForm::Table) {
    setDataTable(data.costTable);
  } else if (dataForm != CostForm::NotSet) {
    setDataFunction(data.costFunction);
  }

  // 2. Smoothness term. NotSet is left uninstalled for the same reason; it
  // must not be mistaken for a truncated power with whatever exponent the
  // record happens to hold.
  if (smoothForm == CostForm::Function) {
    abortIf(hasPixels && smooth.pairFunction == nullptr,
            "initialize(): the smoothness term's form is Function but its pairFunction is null");
    setSmoothnessFunction(smooth.pairFunction);
  } else if (smoothForm != CostForm::NotSet) {
    if (smoothForm == CostForm::Table) {
      abortIf(smooth.pairTable == nullptr,
              "initialize(): the smoothness term's form is Table but its pairTable is null");
      setSmoothness(smooth.pairTable);
    } else {
      setSmoothness(smooth.exponent, smooth.maxCost, smooth.lambda);
    }
    if (useMultipliers) {
      abortIf(hasPixels && (smooth.horizontalMultipliers == nullptr || smooth.verticalMultipliers == nullptr),
              "initialize(): useMultipliers is set but horizontalMultipliers or verticalMultipliers is null");
      setEdgeMultipliers(smooth.horizontalMultipliers, smooth.verticalMultipliers);
    }
  }

  // 3. Solver-specific preparation.
  prepareSolver();
}

Status MrfSolver::optimize(int maxSweeps, float* seconds) {
  if (!constructionStatus_) return constructionStatus_;
  if (!energyIsValid()) return engineFailure("optimize() cannot be called for invalid energy!\n");
  if (!initialized) return engineFailure("run initialize() first!\n");
  const std::int64_t start = processClockMs();
  Status swept = catchFailure([&] { runSweeps(maxSweeps); }, outOfMemoryError());
  const std::int64_t end = processClockMs();
  // Millisecond resolution is what the process clock offers; the product is
  // formed in double and rounded once to float.
  if (swept && seconds != nullptr) *seconds = static_cast<float>(static_cast<double>(end - start) * 0.001);
  return swept;
}

Expected<double> MrfSolver::dataCostSum() {
  if (!constructionStatus_) return constructionStatus_.error();
  return catchFailure([this] { return sumDataCosts(); }, outOfMemoryError());
}

Expected<double> MrfSolver::pairCostSum() {
  if (!constructionStatus_) return constructionStatus_.error();
  return catchFailure([this] { return sumPairCosts(); }, outOfMemoryError());
}

bool MrfSolver::energyIsValid() const { return true; }

double MrfSolver::energyFloor() { return 0.0; }

Expected<std::int8_t> MrfSolver::kindCode() {
  if (!initialized) return engineFailure("Call initialize() first,exiting!");
  return std::int8_t{2};
}

void MrfSolver::abortIf(bool condition, const char* message) {
  if (!condition) return;
  raiseFailure(engineFailure("\n " + std::string(message) + " \n"));
}

Error MrfSolver::outOfMemoryError() { return outOfMemory("\n Not enough memory \n"); }

}  // namespace orbelt
