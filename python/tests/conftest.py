"""Shared fixtures: the built package, the orbelt-cli it is compared with,
and small crops of the default pair (the repository's data/), so that each
run takes a fraction of a second."""

import os
import pathlib
import subprocess
import sys

import numpy as np
import pytest

import orbelt

SOURCE_DIR = pathlib.Path(os.environ.get("ORBELT_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2]))
CLI = pathlib.Path(os.environ.get("ORBELT_CLI", SOURCE_DIR / "build" / "bin" / "orbelt-cli")).resolve()
# The public Middlebury sets, read where they lie (never copied); tests that
# need them skip when they are not there.
SHARED_DATA_DIR = pathlib.Path(os.environ.get("ORBELT_SHARED_DATA_DIR", SOURCE_DIR.parent / "shared" / "data"))

# Small options every comparison shares: few labels and a small window.
SMALL = dict(half_win_size=3, disparity_range=12, seed=5)


@pytest.fixture(scope="session")
def cli():
    if not CLI.is_file():
        pytest.fail(f"no orbelt-cli at {CLI}: build it, or set ORBELT_CLI")
    return CLI


@pytest.fixture(scope="session")
def default_pair():
    left = orbelt.read_image(SOURCE_DIR / "data" / "Img0.png")
    right = orbelt.read_image(SOURCE_DIR / "data" / "Img1.png")
    return left, right


def crop(pair, top, left, height, width):
    return tuple(np.ascontiguousarray(view[top:top + height, left:left + width]) for view in pair)


@pytest.fixture(scope="session")
def small_pair(default_pair):
    """48 x 64 pixels of the default pair, where the nearer objects are."""
    return crop(default_pair, 120, 150, 48, 64)


@pytest.fixture()
def pair_files(tmp_path, small_pair):
    """The small pair as PNG files, for orbelt-cli."""
    paths = tmp_path / "left.png", tmp_path / "right.png"
    for path, image in zip(paths, small_pair):
        orbelt.write_image(path, image)
    return paths


def cli_option_args(options):
    """compute()'s keyword options as orbelt-cli arguments."""
    args = []
    for name, value in options.items():
        flag = "--" + ("lambda" if name == "lambda_" else name.replace("_", "-"))
        if value is True:
            args.append(flag)
        elif value is not False:
            args += [flag, str(value)]
    return args


def run_batch(*args, cwd):
    """python3 -m orbelt.batch with this interpreter and this package."""
    package_parent = str(pathlib.Path(orbelt.__file__).resolve().parents[1])
    env = dict(os.environ, PYTHONPATH=os.pathsep.join([package_parent, os.environ.get("PYTHONPATH", "")]))
    return subprocess.run([sys.executable, "-m", "orbelt.batch", *map(str, args)], cwd=cwd, env=env,
                          capture_output=True, text=True, timeout=300)


def run_cli(cli, *args, cwd=None):
    return subprocess.run([str(cli), *map(str, args)], capture_output=True, text=True, cwd=cwd)
