"""python3 -m orbelt.batch on a local cluster of two worker processes,
against orbelt-cli batch on the same manifest."""

import csv
import subprocess

import numpy as np
import pytest

import orbelt
from conftest import SOURCE_DIR, crop, run_batch

# The summary's columns that hold a measurement of the run rather than its
# result: they differ between any two runs, whoever runs them.
TIMING_COLUMNS = {"seconds"}


@pytest.fixture()
def manifest(tmp_path, default_pair):
    """Three small pairs with truth (one with a mask) and one that fails."""
    # Windows whose true disparities (6 .. 19 px) the 22 labels cover.
    windows = {"near": (0, 40), "middle": (60, 40), "far": (140, 0)}
    full_truth = orbelt.read_pfm(SOURCE_DIR / "data" / "Img0-disparity.pfm")
    for name, (top, left) in windows.items():
        l, r = crop(default_pair, top, left, 40, 56)
        orbelt.write_image(tmp_path / f"{name}-l.png", l)
        orbelt.write_image(tmp_path / f"{name}-r.png", r)
        orbelt.write_pfm(tmp_path / f"{name}-gt.pfm", full_truth[top:top + 40, left:left + 56])
    mask = np.full((40, 56), 255, np.uint8)
    mask[:, :10] = 0
    orbelt.write_image(tmp_path / "mask.png", mask)
    (tmp_path / "pairs.json").write_text("""{
      "defaults": {"disparity-range": 22, "half-win-size": 3, "seed": 3},
      "pairs": [
        {"name": "near", "left": "near-l.png", "right": "near-r.png", "truth": "near-gt.pfm"},
        {"name": "middle", "left": "middle-l.png", "right": "middle-r.png", "truth": "middle-gt.pfm",
         "mask": "mask.png", "options": {"subpixel": true, "lr-check": 1}},
        {"name": "broken", "left": "near-l.png", "right": "near-r.png", "options": {"smooth-exponent": 3}},
        {"name": "far", "left": "far-l.png", "right": "far-r.png", "truth": "far-gt.pfm",
         "options": {"color-mode": "rgb"}}
      ]}""")
    return tmp_path


def summary_rows(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f))


def test_dask_batch_equals_the_cli_batch_and_survives_a_lost_worker(cli, manifest):
    folder = manifest
    run = subprocess.run([str(cli), "batch", "pairs.json", "--out", "by-cli", "--jobs", "2"], cwd=folder,
                         capture_output=True, text=True)
    assert run.returncode == 1, run.stderr  # "broken" fails

    # The first run of "near" kills the worker process that runs it, as a
    # machine lost mid-run would: the pair must be run again elsewhere.
    lost_once = folder / "near-was-lost"
    wrapper = folder / "orbelt-cli-losing-a-worker"
    wrapper.write_text(f"""#!/bin/sh
case " $* " in *" near.pfm "*)
  if mkdir '{lost_once}' 2>/dev/null; then kill -9 $PPID; sleep 30; exit 99; fi;;
esac
exec '{cli}' "$@"
""")
    wrapper.chmod(0o755)
    run = run_batch("pairs.json", "--out", "by-dask/new", "--workers", 2, "--cli", wrapper, cwd=folder)
    print(run.stderr)
    assert run.returncode == 1, run.stderr
    assert lost_once.is_dir(), "the worker was not lost: the test did not test a retry"
    assert "wrote by-dask/new/summary.csv" in run.stdout

    by_cli = summary_rows(folder / "by-cli" / "summary.csv")
    by_dask = summary_rows(folder / "by-dask" / "new" / "summary.csv")
    assert [row["pair"] for row in by_dask] == ["near", "middle", "broken", "far"]
    for cli_row, dask_row in zip(by_cli, by_dask):
        for column in cli_row:
            if column not in TIMING_COLUMNS:
                assert dask_row[column] == cli_row[column], (cli_row["pair"], column)
    assert [row["status"] for row in by_dask] == ["0", "0", "2", "0"]  # "broken" is refused before any work
    assert by_dask[1]["mask"] == "mask.png" and float(by_dask[0]["evaluated"]) > 0

    for name in ("near", "middle", "far"):
        assert (folder / "by-dask/new" / f"{name}.pfm").read_bytes() == (folder / "by-cli" / f"{name}.pfm").read_bytes()
        assert (folder / "by-dask/new" / f"{name}.json").is_file()
    assert "Wrong exponent" in (folder / "by-dask/new/broken.log").read_text()
    assert not (folder / "by-dask/new/broken.pfm").exists()
    # Only whole files: no temporary left behind.
    assert sorted(p.name for p in (folder / "by-dask/new").iterdir() if p.name.startswith(".")) == []


def test_refusals_run_nothing(tmp_path):
    (tmp_path / "plain").write_text("a file")
    (tmp_path / "bad.json").write_text('{"pairs": [{"left": "a.png"}]}')
    cases = [
        (["bad.json", "--out", "out"], 'Pair 1 ("pair1"): give "left" and "right", or a "dataset"'),
        (["absent.json", "--out", "out"], 'Cannot read the manifest "absent.json"'),
        (["bad.json", "--out", "plain/x"], 'cannot create the output folder "plain/x"'),
        (["bad.json", "--out", "out", "--summary", "out/s.txt"], "must end in .csv or .json"),
        (["bad.json", "--workers", "0"], "--workers must be 1 or more"),
        (["bad.json", "--workers", "2", "--scheduler", "tcp://127.0.0.1:1"], "not allowed with argument"),
    ]
    for args, message in cases:
        run = run_batch(*args, cwd=tmp_path)
        assert run.returncode == 2, (args, run.stderr)
        assert message in run.stderr, (args, run.stderr)
