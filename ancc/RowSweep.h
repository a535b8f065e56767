#pragma once
// One worker's way of writing the costs of whole image rows.
//
// A sweep object owns the working storage of one worker (allocated by its
// constructor, which throws std::bad_alloc when the memory is not there) and
// writes, for one row y at a time, every element [x][y][d] of the volume.
// Rows are independent: any split of rows over workers gives the same
// volume, and workers never write the same element.
#include "ancc/CostVolume.h"
#include "ancc/SweepSetup.h"

namespace orbelt {

class RowSweep {
 public:
  virtual ~RowSweep() = default;
  virtual void computeRow(int y, CostVolume& volume) = 0;
};

}  // namespace orbelt
