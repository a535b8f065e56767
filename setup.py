"""Builds the Python package `orbelt` with the project's own CMake build.

setuptools drives it (pyproject.toml): the compiled module `_orbelt` and the
`orbelt-cli` program that `orbelt.batch` starts are built by CMake, then
packed with `__init__.py` and `batch.py` into an ordinary package:

    orbelt/__init__.py, batch.py      the pure-Python files (python/orbelt)
    orbelt/_orbelt.<abi>.so           the module
    orbelt/bin/orbelt-cli             the command line the batch runs
    orbelt/_paths.py                  where that program is, beside this file

ORBELT_BUILD_DIR names an existing CMake build folder to build and take the
files from (the repository's build/, as tools/install-python.sh and the test
suite use); without it a folder of its own under build/setuptools is
configured with only what the package needs.
"""

import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

SOURCE = pathlib.Path(__file__).resolve().parent
# An existing CMake build to take the module from, if any.
BUILD_DIR = os.environ.get("ORBELT_BUILD_DIR")
# setuptools' own work folders: inside that build, else under build/, never
# in the source tree's top level.
WORK = (pathlib.Path(BUILD_DIR) if BUILD_DIR else SOURCE / "build").resolve() / "setuptools"


def project_version():
    """The version in the top-level CMakeLists.txt: one home for it."""
    text = (SOURCE / "CMakeLists.txt").read_text()
    return re.search(r"project\(Orbelt VERSION ([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    """Builds `_orbelt` and `orbelt-cli` with CMake and packs them."""

    def build_extension(self, ext):
        build_dir = pathlib.Path(BUILD_DIR).resolve() if BUILD_DIR else WORK / "cmake"
        if not (build_dir / "CMakeCache.txt").exists():
            self.configure(build_dir)
        subprocess.run(["cmake", "--build", str(build_dir), "--target", "orbelt_python", "-j2"], check=True)
        built = build_dir / "python" / "orbelt"
        modules = sorted(built.glob("_orbelt*.so"))
        if not modules:
            sys.exit(f"setup.py: the CMake build in {build_dir} made no module _orbelt "
                     "(are pybind11-dev and python3-dev installed?)")
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(modules[0], target)
        package = target.parent
        (package / "bin").mkdir(exist_ok=True)
        shutil.copy2(build_dir / "bin" / "orbelt-cli", package / "bin" / "orbelt-cli")
        (package / "_paths.py").write_text(
            "# Written by setup.py: the orbelt-cli installed with this package.\n"
            "import pathlib\n\n"
            "ORBELT_CLI = str(pathlib.Path(__file__).resolve().parent / 'bin' / 'orbelt-cli')\n")

    @staticmethod
    def configure(build_dir):
        command = ["cmake", "-S", str(SOURCE), "-B", str(build_dir), "-DCMAKE_BUILD_TYPE=Release",
                   f"-DORBELT_PYTHON={sys.executable}", "-DORBELT_BUILD_TESTS=OFF",
                   "-DORBELT_BUILD_BENCH=OFF", "-DORBELT_BUILD_APP=OFF"]
        if shutil.which("ninja"):
            command += ["-G", "Ninja"]
        subprocess.run(command, check=True)


WORK.mkdir(parents=True, exist_ok=True)
setup(
    version=project_version(),
    packages=["orbelt"],
    package_dir={"orbelt": "python/orbelt"},
    ext_modules=[Extension("orbelt._orbelt", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    zip_safe=False,
    options={
        "build": {"build_base": str(WORK)},
        "egg_info": {"egg_base": str(WORK)},
    },
)
