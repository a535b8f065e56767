#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Orbelt needs.
# Safe to run again: packages already present are skipped, and apt is only
# touched when something is missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  libopencv-dev libopencv-contrib-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libboost-graph-dev
  libcli11-dev nlohmann-json3-dev
  fonts-noto-cjk
  clang libclang-rt-14-dev clang-format lld
  python3
  pybind11-dev python3-dev python3-numpy python3-pytest python3-distributed
  python3-open3d python3-opencv
  python3-venv python3-pip python3-setuptools python3-wheel python3-build python3-pybind11
  help2man dpkg-dev file
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "bootstrap: all ${#PACKAGES[@]} packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "bootstrap: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "bootstrap: done"
