#pragma once
// MrfSolver: the interface of a grid MRF optimizer.
//
// It minimises, over labellings L of a width x height pixel grid,
//
//   E(L) = sum_p D(p, L_p) + sum_{p,q 4-neighbours} m(p, q) * V(p, q, L_p, L_q)
//
// with the data term D and the smoothness term V described by the caller's
// EnergyTerms (mrf/EnergyTerms.h). Pixels are row-major: p = y * width + x.
//
// Life of a solver: construct (every label 0) -> initialize() (installs the
// terms, builds a truncated-power table) -> any number of optimize() calls,
// energy queries and label accesses -> destroy.
//
// What it borrows and owns: the EnergyTerms record, both term records and
// every array and function they point to stay the caller's and must outlive
// the solver unchanged in shape (their contents may change: the solver reads
// them live). The solver owns its label array, its label order, its scratch
// arrays and a truncated-power table it builds; destruction frees only those.
//
// Failures: every operation that can fail returns a Status or an Expected
// (platform/Expected.h) holding the Error; the solver never ends the process
// and stays safe to destroy. Each Error is of kind EngineFailure unless said
// otherwise and carries the message exactly as the programs print it
// (several framed "\n <message> \n"); the texts are part of the behaviour
// other tools and users rely on, so they are kept verbatim. A construction that was
// refused is kept in status(): every later operation returns that Error (and
// the grid counts as empty, so labelAt() and labelBuffer() must not be used).
// An allocation that fails inside an operation gives an Error of kind
// OutOfMemory ("\n Not enough memory \n").
#include <cstdint>
#include <optional>
#include <string_view>

#include "mrf/EnergyTerms.h"
#include "platform/Expected.h"
#include "platform/Failure.h"
#include "platform/MessageSink.h"

namespace orbelt {

class MrfSolver {
 public:
  // Records the grid and the energy (MrfSolver's part of construction):
  // width, height, pixelCount = width * height, labelCount, the two forms and
  // useMultipliers copied from `terms`, initialized = false. `terms` and both
  // of its records must be non-null (else status() holds a framed message,
  // EngineFailure). Range checks on the sizes are done by the concrete solver's
  // constructor.
  MrfSolver(int width, int height, int labelCount, EnergyTerms* terms);
  virtual ~MrfSolver() = default;

  MrfSolver(const MrfSolver&) = delete;
  MrfSolver& operator=(const MrfSolver&) = delete;

  // Whether construction succeeded; otherwise the Error that refused it.
  Status status() const { return constructionStatus_; }

  // Installs the two terms from the records, in this order:
  //  1. data: a Table term installs costTable, any other form costFunction;
  //  2. smoothness: Function installs pairFunction; Table checks that
  //     pairTable is symmetric and installs it (borrowed); any other form is a
  //     truncated power: setSmoothness(exponent, maxCost, lambda) builds the
  //     solver's own table. For Table and truncated power, useMultipliers
  //     installs the two multiplier arrays;
  //  3. prepareSolver().
  // A term whose form is NotSet is not installed: every later sweep or energy
  // query refuses it. May be called again: the terms are installed anew.
  // Fails (EngineFailure) on a wrong exponent, an asymmetric table, a
  // table that cannot be allocated, or a form whose array or function is null.
  Status initialize();

  // Runs sweeps of expansion moves: at least one, at most max(1, maxSweeps),
  // ending after the first sweep that does not lower the energy. Stores the
  // time the sweeps took into *seconds: process-clock milliseconds * 0.001,
  // so a multiple of 0.001 and possibly 0 (nothing is stored when `seconds`
  // is null, or when the sweeps failed). Fails (EngineFailure) when the
  // energy is invalid ("optimize() cannot be called for invalid energy!\n"),
  // when initialize() has not run ("run initialize() first!\n"), or with the
  // failure of a sweep (a missing term, a graph that cannot be allocated);
  // the labels then hold whatever the moves before the failure left.
  Status optimize(int maxSweeps, float* seconds);

  // Always true here; a solver whose energy cannot be optimised says false.
  virtual bool energyIsValid() const;
  // Data energy of the current labelling (summation order and precision are
  // the concrete solver's; see GraphCutSolver). Fails on a missing term.
  Expected<double> dataCostSum();
  // Smoothness energy of the current labelling. Fails on a missing term.
  Expected<double> pairCostSum();
  // General neighbour lists; grid solvers refuse it (EngineFailure).
  virtual Status addNeighbourPair(int pixel1, int pixel2, float weight) = 0;
  // The label array itself: pixelCount ints, row-major.
  virtual int* labelBuffer() = 0;
  // Label of row-major `pixel` (0 <= pixel < pixelCount; not checked).
  virtual int labelAt(int pixel) = 0;
  // Sets the label of `pixel`; keeping 0 <= label < labelCount is the
  // caller's duty (the energies and moves index tables with it).
  virtual void assignLabel(int pixel, int label) = 0;
  // Every label = 0.
  virtual void resetLabels() = 0;
  // One option: count must be 1 and the first byte of `values` is the label
  // order flag (non-zero: shuffle before every sweep; zero: keep the current
  // order). Any other count tells the message sink why and changes nothing.
  virtual void setOptions(int count, const void* values) = 0;
  // Where the solver's notes go (those that are not failures, such as
  // setOptions' refusal). Not owned; it must outlive the solver. Default:
  // standardOutputSink().
  void setMessageSink(MessageSink& sink) { messages_ = &sink; }
  // Lower bound of the energy offered by this solver: 0.0.
  virtual double energyFloor();
  // Whether the moves solved so far started from state kept between sweeps
  // (recycled flows); false here. Reported in run summaries.
  virtual bool recyclesFlows() const { return false; }
  // Labels whose flow is kept for their next move now; 0 here. Reported in
  // run summaries beside recyclesFlows(), since short memory keeps fewer.
  virtual int keptFlowLabels() const { return 0; }
  // Kind of solver: 2. Fails (EngineFailure) before initialize().
  virtual Expected<std::int8_t> kindCode();

  int gridWidth() const { return width; }
  int gridHeight() const { return height; }
  int gridPixelCount() const { return pixelCount; }
  int gridLabelCount() const { return labelCount; }
  bool isInitialized() const { return initialized; }

 protected:
  // The two energy sums behind dataCostSum() and pairCostSum(); they raise
  // their failure (platform/Failure.h).
  virtual double sumDataCosts() = 0;
  virtual double sumPairCosts() = 0;

  // Installers used by initialize(); they raise their failure.
  virtual void setDataTable(float* table) = 0;
  virtual void setDataFunction(DataCostFunction function) = 0;
  // Builds the solver's own table lambda * min(|a-b|^exponent, maxCost).
  virtual void setSmoothness(int exponent, float maxCost, float lambda) = 0;
  virtual void setSmoothnessFunction(PairCostFunction function) = 0;
  // Installs the caller's symmetric labelCount x labelCount table, borrowed.
  virtual void setSmoothness(float* table) = 0;
  virtual void setEdgeMultipliers(float* horizontal, float* vertical) = 0;
  // Hook run at the end of initialize().
  virtual void prepareSolver() = 0;

  // The optimisation step: sweeps as optimize() describes; returns the
  // energy after the last sweep. Subclasses (and test doubles) override it.
  // It may raise its failure.
  virtual double runSweeps(int maxSweeps) = 0;

  // When `condition` holds: ends the current operation with the Error
  // "\n <message> \n" (EngineFailure), raised (platform/Failure.h).
  static void abortIf(bool condition, const char* message);

  // The Error of an allocation that failed inside an operation.
  static Error outOfMemoryError();

  // Tells `text` to the solver's message sink.
  void note(std::string_view text) const { messages_->message(text); }

  // Runs one step of construction unless an earlier one was refused; a
  // refusal is kept in status() and leaves an empty grid.
  template <class Step>
  void constructStep(Step&& step) {
    if (!constructionStatus_) return;
    constructionStatus_ = catchFailure(step, outOfMemoryError());
    if (!constructionStatus_) width = height = pixelCount = labelCount = 0;
  }

  int width;
  int height;
  int pixelCount;
  int labelCount;
  bool isGrid;
  bool useMultipliers;
  bool initialized;
  EnergyTerms* energyTerms;
  CostForm dataForm;
  CostForm smoothForm;

 private:
  void installTerms();

  Status constructionStatus_;
  MessageSink* messages_ = &standardOutputSink();
};

}  // namespace orbelt
