#pragma once
// Point clouds as binary little-endian PLY files, the form point-cloud
// viewers and libraries read: a text header, then one 15-byte record per
// vertex (x, y, z as 32-bit floats, red, green, blue as bytes).
#include <string>

#include "platform/Expected.h"
#include "postprocess/PointCloud.h"

namespace orbelt {

// Writes `cloud` to `path` atomically (see writeFileAtomically), the
// header's vertex count equal to the points written. Fails with
// InvalidInput when the cloud has not one colour per point, and IoFailure
// when the file cannot be written (a folder that is not there, no
// permission); the message names the path and the reason, and an earlier
// file at `path` is left as it was.
Status writePly(const std::string& path, const PointCloud& cloud);

}  // namespace orbelt
