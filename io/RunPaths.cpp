#include "io/RunPaths.h"

#include "platform/ProcessServices.h"

namespace orbelt {

std::string defaultSavePath() {
  const std::string folder = executableFolder();
  return (folder.empty() ? std::string("data") : folder + "/data") + "/dispMap.bmp";
}

}  // namespace orbelt
