#include "pipeline/FlatCosts.h"

#include <cstddef>

namespace orbelt {

std::vector<float> flattenCosts(CostVolume&& volume) {
  std::vector<float> flat;
  flat.resize(static_cast<std::size_t>(volume.width()) * static_cast<std::size_t>(volume.height()) *
              static_cast<std::size_t>(volume.disparityRange()));
  volume.copyRowMajor(flat.data());
  volume.release();
  return flat;
}

}  // namespace orbelt
