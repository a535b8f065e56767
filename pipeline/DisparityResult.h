#pragma once
// The labelling of one view and the figures of the run that made it.
#include <vector>

namespace orbelt {

// What a run produced besides the map.
struct DisparityResult {
  int width = 0;
  int height = 0;
  std::vector<int> labels;           // row-major, width*height, each in 0..disparityRange-1
  std::vector<float> costs;          // flat costs (y*width+x)*range+d; kept only on request
  std::vector<double> passEnergies;  // dataCostSum() + (float)pairCostSum() after each pass
  std::vector<double> passSeconds;   // wall time of each pass
  double costSeconds = 0.0;          // wall time of the cost volume (0 when the matcher did not run)
  double flattenSeconds = 0.0;       // wall time of the flat copy and the volume's release
  double optimizeSeconds = 0.0;      // wall time from building the optimizer to the last pass
  double saveSeconds = 0.0;          // wall time of the display map and its save (runDisparityPipeline only)
  bool flowRecycling = false;        // the optimizer's moves started from recycled flows (MrfSolver::recyclesFlows)
};

}  // namespace orbelt
