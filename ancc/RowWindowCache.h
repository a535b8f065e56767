#pragma once
// The window statistics of every pixel of one image row: for each column x,
// the normalised bilateral weights, the colour and log-chromaticity
// deviations from the window's weighted means, and the six energies.
//
// Per column the tables are addressed [j][i] (column offset first) with
// n = 2r+1: weight(x, j, i) is element (x * n + j) * n + i, and deviation
// channel c of (x, j, i) is element ((x * n + j) * n + i) * 3 + c. Entries of
// offsets outside the image are not written for a row and never read.
#include <cstddef>
#include <vector>

namespace orbelt {

struct RowWindowCache {
  int side = 0;                           // window side n = 2r+1
  std::vector<double> weights;            // width * n * n normalised weights
  std::vector<double> colorDeviation;     // width * n * n * 3 colour deviations
  std::vector<double> logChromDeviation;  // width * n * n * 3 log-chromaticity deviations
  std::vector<double> colorEnergy;        // width * 3: sum of w^2 dev^2 per channel
  std::vector<double> logChromEnergy;     // width * 3, likewise

  RowWindowCache() = default;
  // Throws std::bad_alloc when the memory is not there.
  RowWindowCache(int width, int halfWinSize)
      : side(2 * halfWinSize + 1),
        weights(static_cast<size_t>(width) * side * side),
        colorDeviation(weights.size() * 3, 0.0),
        logChromDeviation(weights.size() * 3, 0.0),
        colorEnergy(static_cast<size_t>(width) * 3, 0.0),
        logChromEnergy(static_cast<size_t>(width) * 3, 0.0) {}

  size_t offsetIndex(int x, int j, int i) const { return (static_cast<size_t>(x) * side + j) * side + i; }
};

}  // namespace orbelt
