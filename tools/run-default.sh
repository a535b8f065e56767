#!/usr/bin/env bash
# From a fresh machine to a disparity map: installs what Orbelt needs, builds
# it (Release, into build/) and computes the map of the default pair in data/.
# Run from anywhere; the default pair is read relative to the repository root.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/bootstrap.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build --target orbelt-cli -j2

# The map goes where the dialog puts it too: data/ beside the executable.
./build/bin/orbelt-cli data/Img0.png data/Img1.png --ground-truth data/Img0-disparity.pfm
echo "disparity map: $(pwd)/build/bin/data/dispMap.bmp"
