#!/usr/bin/env bash
# The Python package's pytest suite against the package as pip installs it:
# a venv under the build folder (made with Debian's interpreter and
# --system-site-packages, so apt's NumPy, pytest and Dask serve), the
# package installed into it from the source tree through pyproject.toml,
# with no package index, taking the module from this build folder; then
# pytest from outside the source tree, so only the installed copy can be
# imported. CI never writes into the system's site-packages.
#
# Usage: run-installed.sh SOURCE_DIR BUILD_DIR PYTHON
set -euo pipefail
source_dir=$1
build_dir=$2
python=$3
venv="$build_dir/python-venv"

if [ ! -x "$venv/bin/python" ]; then
  "$python" -m venv --system-site-packages "$venv"
fi
ORBELT_BUILD_DIR="$build_dir" "$venv/bin/python" -m pip install --quiet --no-build-isolation --no-index \
  --disable-pip-version-check "$source_dir"

cd "$build_dir"
unset PYTHONPATH
"$venv/bin/python" - <<'PY'
import pathlib, sys
import orbelt, orbelt.batch, orbelt._paths
location = pathlib.Path(orbelt.__file__).resolve()
site = pathlib.Path(sys.prefix).resolve()
if site not in location.parents or "site-packages" not in location.parts:
    sys.exit(f"orbelt was imported from {location}, not from the venv's site-packages")
if not pathlib.Path(orbelt._paths.ORBELT_CLI).is_file():
    sys.exit(f"the installed package has no orbelt-cli at {orbelt._paths.ORBELT_CLI}")
print("installed orbelt", location.parent)
PY
exec "$venv/bin/python" -m pytest -q -p no:cacheprovider "$source_dir/python/tests"
