#include "io/PlyFile.h"

#include <bit>
#include <cstring>
#include <vector>

#include "io/AtomicFile.h"

namespace orbelt {

namespace {

constexpr std::size_t kVertexBytes = 3 * sizeof(float) + 3;

}  // namespace

Status writePly(const std::string& path, const PointCloud& cloud) {
  if (cloud.points.size() != cloud.colors.size()) {
    return invalidInput("Cannot write \"" + path + "\": the point cloud has " + std::to_string(cloud.points.size()) +
                        " points but " + std::to_string(cloud.colors.size()) + " colours");
  }
  static_assert(std::endian::native == std::endian::little, "PLY writing assumes a little-endian machine");
  const std::string header = "ply\nformat binary_little_endian 1.0\ncomment written by Orbelt\nelement vertex " +
                             std::to_string(cloud.points.size()) +
                             "\nproperty float x\nproperty float y\nproperty float z\n"
                             "property uchar red\nproperty uchar green\nproperty uchar blue\nend_header\n";
  // Packed records: the format has no padding between a vertex's fields.
  std::vector<unsigned char> body(cloud.points.size() * kVertexBytes);
  unsigned char* out = body.data();
  for (std::size_t i = 0; i < cloud.points.size(); ++i, out += kVertexBytes) {
    std::memcpy(out, cloud.points[i].val, 3 * sizeof(float));
    std::memcpy(out + 3 * sizeof(float), cloud.colors[i].val, 3);
  }
  return writeFileAtomically(path, {ByteRange{header.data(), header.size()}, ByteRange{body.data(), body.size()}});
}

}  // namespace orbelt
