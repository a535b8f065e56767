#!/usr/bin/env bash
# Builds the Python package `orbelt` and installs it for Debian's own
# interpreter, /usr/bin/python3: the one apt's NumPy, pytest and Dask belong
# to (another python3 may come first on PATH; it is not used). Nothing is
# downloaded from a package index and no build backend is needed: CMake
# builds the module into build/python/orbelt, and a one-line orbelt.pth in
# the interpreter's site folder puts build/python on its path. Safe to run
# again; a rebuild is picked up without reinstalling.
#
#   bash tools/install-python.sh
#   /usr/bin/python3 -c "import orbelt; print(orbelt.compute.__doc__)"
set -euo pipefail
cd "$(dirname "$0")/.."

PYTHON=/usr/bin/python3
bash tools/bootstrap.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DORBELT_PYTHON="$PYTHON" >/dev/null
cmake --build build -j2 --target orbelt_python
package_parent="$(pwd)/build/python"
if [ ! -f "$package_parent/orbelt/__init__.py" ]; then
  echo "install-python: the build made no Python package (is pybind11-dev installed?)" >&2
  exit 1
fi

# The system-wide site folder for locally installed packages when it can be
# written (root), else the user's own.
site="$("$PYTHON" -c 'import sysconfig; print(sysconfig.get_path("purelib"))')"
if ! { mkdir -p "$site" && [ -w "$site" ]; } 2>/dev/null; then
  site="$("$PYTHON" -m site --user-site)"
  mkdir -p "$site"
fi
echo "$package_parent" >"$site/orbelt.pth"

# Checked from another folder, so the build tree's own path plays no part.
(cd / && "$PYTHON" -c 'import orbelt, orbelt.batch; print("install-python: orbelt from", orbelt.__file__)')
echo "install-python: $site/orbelt.pth -> $package_parent"
