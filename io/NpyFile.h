#pragma once
// NumPy .npy files (format version 1.0) of little-endian float32 arrays in C
// order, so cost arrays open directly with numpy.load().
#include <cstddef>
#include <string>
#include <vector>

#include "platform/Expected.h"

namespace orbelt {

// The complete header for a float32 C-order array of `shape`: the magic
// "\x93NUMPY", version 1.0, the header length, and the dictionary
// {'descr': '<f4', 'fortran_order': False, 'shape': (...), } padded with
// spaces and a final newline so the data starts at a multiple of 64 bytes.
std::string npyFloat32Header(const std::vector<std::size_t>& shape);

// Writes `data` (the product of `shape` floats) as an .npy file, atomically
// (see writeFileAtomically). Fails with IoFailure, the message naming the
// path and the reason.
Status writeNpyFloat32(const std::string& path, const float* data, const std::vector<std::size_t>& shape);

}  // namespace orbelt
