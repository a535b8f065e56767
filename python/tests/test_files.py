"""Float maps, images and scoring: the files orbelt-cli reads and writes, and
its eval command's figures."""

import json
import re

import numpy as np
import pytest

import orbelt
from conftest import SMALL, SOURCE_DIR, run_cli


def test_pfm_round_trip_keeps_values_and_unknown(tmp_path):
    map = np.arange(12, dtype=np.float32).reshape(3, 4) - 2.5
    map[1, 2] = np.nan
    orbelt.write_pfm(tmp_path / "m.pfm", map)
    back = orbelt.read_pfm(str(tmp_path / "m.pfm"))
    np.testing.assert_array_equal(back, map)
    # Unknown is stored as +inf, the mark orbelt-cli writes and reads.
    raw = (tmp_path / "m.pfm").read_bytes()
    assert raw.startswith(b"Pf\n4 3\n-1") and np.frombuffer(raw[-48:], "<f4")[4 + 2] == np.inf
    # Any real dtype is taken; the file holds float32.
    orbelt.write_pfm(tmp_path / "d.pfm", map.astype(np.float64))
    np.testing.assert_array_equal(orbelt.read_pfm(tmp_path / "d.pfm"), map)


@pytest.mark.parametrize("call,error,message", [
    (lambda d: orbelt.read_pfm(d / "absent.pfm"), OSError, "absent.pfm"),
    (lambda d: orbelt.read_pfm(d / "bad.pfm"), OSError, "bad.pfm"),
    (lambda d: orbelt.write_pfm(d / "no" / "m.pfm", np.zeros((2, 2), np.float32)), OSError, "m.pfm"),
    (lambda d: orbelt.write_pfm(d / "m.pfm", np.zeros((2, 2, 2), np.float32)), ValueError, "2-D"),
    (lambda d: orbelt.write_pfm(d / "m.pfm", np.zeros((2, 2), np.int32)), ValueError, "floats"),
    (lambda d: orbelt.read_image(d / "absent.png"), OSError, "absent.png"),
    (lambda d: orbelt.write_image(d / "i.png", np.zeros((2, 2, 2), np.uint8)), ValueError, "shape (2, 2, 2)"),
], ids=["missing", "not a map", "no folder", "3-D", "integers", "missing image", "two channels"])
def test_file_errors_are_exceptions(tmp_path, call, error, message):
    (tmp_path / "bad.pfm").write_bytes(b"P5\n1 1\n255\n\0")
    with pytest.raises(error, match=re.escape(message)):
        call(tmp_path)
    assert not (tmp_path / "no").exists()


def test_evaluate_scores_as_the_eval_command(cli, tmp_path, default_pair):
    window = (slice(100, 200), slice(120, 240))
    truth = orbelt.read_pfm(SOURCE_DIR / "data" / "Img0-disparity.pfm")[window]
    orbelt.write_pfm(tmp_path / "truth.pfm", truth)
    pair = [view[window] for view in default_pair]
    result = orbelt.compute(*pair, half_win_size=4, disparity_range=24, seed=1, lr_check=True)
    orbelt.write_pfm(tmp_path / "result.pfm", result.disparity)
    mask = np.zeros(truth.shape, np.uint8)
    mask[:, 40:] = 255
    orbelt.write_image(tmp_path / "mask.png", mask)
    for mask_array, mask_args in [(None, []), (mask, ["--nonocc", tmp_path / "mask.png"]),
                                  (mask == 255, ["--nonocc", tmp_path / "mask.png"])]:
        run = run_cli(cli, "eval", tmp_path / "result.pfm", "--truth", tmp_path / "truth.pfm",
                      "--json", *mask_args)
        assert run.returncode == 0, run.stderr
        expected = next(iter(json.loads(run.stdout)["masks"].values()))
        score = orbelt.evaluate(result.disparity, truth, mask_array)
        assert score["unknown"] > 0
        for key, value in score.items():
            assert value == pytest.approx(expected[key], abs=1e-9), key


def test_evaluate_refuses_what_does_not_fit(small_pair):
    disparity = orbelt.compute(*small_pair, **SMALL).disparity
    with pytest.raises(ValueError, match="ground truth is 10x10 but the disparity map is 64x48"):
        orbelt.evaluate(disparity, np.zeros((10, 10), np.float32))
    with pytest.raises(ValueError, match="truth must be float"):
        orbelt.evaluate(disparity, np.zeros(disparity.shape, np.int64))
    with pytest.raises(ValueError, match="mask must be bool"):
        orbelt.evaluate(disparity, disparity, np.zeros(disparity.shape, np.float32))
    with pytest.raises(ValueError, match="scale"):
        orbelt.evaluate(disparity, disparity, scale=0)
    # A 16-bit truth at scale 4 reads as value / 4.
    score = orbelt.evaluate(disparity, (disparity * 4).astype(np.uint16), scale=4)
    assert score["bad_0.5"] == 0 and score["evaluated"] == np.count_nonzero(disparity)
