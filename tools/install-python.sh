#!/usr/bin/env bash
# Installs the Python package `orbelt` the way pip installs any package, into
# a virtual environment of Debian's own interpreter, /usr/bin/python3 (the
# one apt's NumPy, pytest and Dask belong to; another python3 may come first
# on PATH and is not used). Debian marks that interpreter as externally
# managed, so the package goes into a venv made with --system-site-packages,
# where apt's packages still serve. Nothing is downloaded from a package
# index: pip builds the package from this checkout through pyproject.toml,
# taking the module from the repository's CMake build (build/). Run it again
# after a change to reinstall.
#
#   bash tools/install-python.sh [VENV]          (default VENV: .venv in the checkout)
#   VENV/bin/python -c "import orbelt; print(orbelt.compute.__doc__)"
set -euo pipefail
cd "$(dirname "$0")/.."

PYTHON=/usr/bin/python3
venv="${1:-.venv}"
bash tools/bootstrap.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DORBELT_PYTHON="$PYTHON" >/dev/null

# A line an earlier version of this script left in the interpreter's site
# folder would put the build folder's copy ahead of the installed one.
for site in "$("$PYTHON" -c 'import sysconfig; print(sysconfig.get_path("purelib"))')" \
            "$("$PYTHON" -m site --user-site)"; do
  if [ -f "$site/orbelt.pth" ] && grep -qx "$(pwd)/build/python" "$site/orbelt.pth"; then
    rm -f "$site/orbelt.pth" && echo "install-python: removed the old $site/orbelt.pth"
  fi
done

if [ ! -x "$venv/bin/python" ]; then
  "$PYTHON" -m venv --system-site-packages "$venv"
fi
ORBELT_BUILD_DIR="$(pwd)/build" "$venv/bin/python" -m pip install --quiet --no-build-isolation --no-index \
  --disable-pip-version-check .

# Checked from another folder, so the checkout's own files play no part.
venv_python="$(cd "$venv" && pwd)/bin/python"
(cd / && "$venv_python" -c 'import orbelt, orbelt.batch; print("install-python: orbelt from", orbelt.__file__)')
echo "install-python: use $venv_python, or '. $venv/bin/activate' first"
