#!/usr/bin/env bash
# Installs what Orbelt needs, builds everything (Release, into build/) and
# runs every test. Needs no display: Qt draws offscreen.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/bootstrap.sh
export QT_QPA_PLATFORM=offscreen
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2 --timeout 900
