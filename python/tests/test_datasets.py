"""Benchmark folders, calibrations, depth and point clouds from Python,
against orbelt-cli on the same folders: a tiny 2014 set and KITTI frame made
here, and Teddy laid out as a 2014 set by orbelt-make-dataset-fixture when
the public sets are there."""

import csv
import json
import re
import subprocess

import numpy as np
import pytest

import orbelt
from conftest import CLI, SHARED_DATA_DIR, run_batch, run_cli

SHIFT = 2
# focal 100 px, baseline 50 mm, principal point (31.5, 23.5), doffs 1.5 px.
CALIB = ("cam0=[100 0 31.5; 0 100 23.5; 0 0 1]\ncam1=[100 0 33; 0 100 23.5; 0 0 1]\ndoffs=1.5\nbaseline=50\n"
         "width=64\nheight=48\nndisp=12\nvmin=2\nvmax=2\n")
# The same camera as KITTI writes it: camera 2 at +0.06 m, camera 3 at 0.06 - 0.05 m.
KITTI_CALIB = ("calib_time: 09-Jan-2012 13:57:47\n"
               "P_rect_02: 100 0 31.5 6 0 100 23.5 0 0 0 1 0\nP_rect_03: 100 0 31.5 1 0 100 23.5 0 0 0 1 0\n")
RUN = dict(half_win_size=3, seed=5)


def shifted_pair(height=48, width=64):
    """A textured left view and a right view that sees it SHIFT columns to
    the left: the true disparity is SHIFT wherever the right view sees."""
    rng = np.random.default_rng(7)
    left = rng.integers(0, 256, (height, width, 3), dtype=np.uint8)
    right = rng.integers(0, 256, (height, width, 3), dtype=np.uint8)
    right[:, :width - SHIFT] = left[:, SHIFT:]
    return left, right


def make_2014_set(folder, pair, calib=CALIB):
    """A 2014 set: the views, calib.txt, the truth and its occlusion mask
    (columns 2 and 3 occluded)."""
    folder.mkdir(parents=True)
    orbelt.write_image(folder / "im0.png", pair[0])
    orbelt.write_image(folder / "im1.png", pair[1])
    (folder / "calib.txt").write_text(calib)
    truth = np.full(pair[0].shape[:2], SHIFT, np.float32)
    truth[:, :SHIFT] = np.nan
    orbelt.write_pfm(folder / "disp0GT.pfm", truth)
    mask = np.full(truth.shape, 255, np.uint8)
    mask[:, :SHIFT] = 0
    mask[:, SHIFT:SHIFT + 2] = 128
    orbelt.write_image(folder / "mask0nocc.png", mask)
    return folder


def make_kitti_frame(split, pair, right=True, frame="000000_10"):
    """A KITTI 2015 frame: the views, the 16-bit truths and the calibration."""
    for sub in ("image_2", "image_3", "disp_noc_0", "disp_occ_0", "calib_cam_to_cam"):
        (split / sub).mkdir(parents=True, exist_ok=True)
    orbelt.write_image(split / "image_2" / (frame + ".png"), pair[0])
    if right:
        orbelt.write_image(split / "image_3" / (frame + ".png"), pair[1])
    occ = np.full(pair[0].shape[:2], SHIFT * 256, np.uint16)
    occ[:, :SHIFT] = 0
    noc = occ.copy()
    noc[:, SHIFT:SHIFT + 2] = 0
    orbelt.write_image(split / "disp_occ_0" / (frame + ".png"), occ)
    orbelt.write_image(split / "disp_noc_0" / (frame + ".png"), noc)
    (split / "calib_cam_to_cam" / (frame[:6] + ".txt")).write_text(KITTI_CALIB)
    return split


def teddy_2014(folder):
    """Teddy as a 2014 set, made by the fixture program (skips without the public sets)."""
    teddy = SHARED_DATA_DIR / "middlebury2003" / "teddy"
    if not teddy.is_dir():
        pytest.skip(f"no public datasets at {SHARED_DATA_DIR}")
    made = subprocess.run([str(CLI.parent / "orbelt-make-dataset-fixture"), "middlebury2014", str(teddy),
                           str(folder)], capture_output=True, text=True)
    assert made.returncode == 0, made.stderr
    return folder


@pytest.mark.parametrize("source", ["shifted pair", "teddy"])
def test_the_cli_point_cloud_reads_back_with_open3d_as_the_numpy_points(cli, tmp_path, source):
    open3d = pytest.importorskip("open3d")
    dataset_path = (make_2014_set(tmp_path / "Shift", shifted_pair()) if source == "shifted pair"
                    else teddy_2014(tmp_path / "Teddy"))
    run = run_cli(cli, dataset_path, "-q", "--no-map", "--pfm", tmp_path / "d.pfm", "--ply", tmp_path / "p.ply",
                  "--half-win-size", RUN["half_win_size"], "--seed", RUN["seed"])
    assert run.returncode == 0, run.stderr

    dataset = orbelt.read_dataset(dataset_path)
    result = orbelt.compute(dataset.left, dataset.right, disparity_range=dataset.disparity_range, **RUN)
    np.testing.assert_array_equal(result.disparity, orbelt.read_pfm(tmp_path / "d.pfm"))
    points, colors = result.point_cloud(dataset.calib)
    cloud = open3d.io.read_point_cloud(str(tmp_path / "p.ply"))
    assert len(points) > 0.9 * result.disparity.size
    np.testing.assert_array_equal(np.asarray(cloud.points), points.astype(np.float64))
    np.testing.assert_array_equal(np.rint(np.asarray(cloud.colors) * 255).astype(np.uint8), colors)


def test_depth_and_points_are_opencvs_reprojection_with_the_equivalent_q_matrix(tmp_path):
    cv2 = pytest.importorskip("cv2")
    left, right = shifted_pair()
    result = orbelt.compute(left, right, disparity_range=12, lr_check=True, subpixel=True, **RUN)
    # doffs -2 puts disparities of 2 px and below at or beyond infinity: no depth, no point.
    calib = orbelt.Calibration(focal=100, baseline=50, cx=31.5, cy=23.5, doffs=-2)
    q = np.array([[1, 0, 0, -calib.cx], [0, 1, 0, -calib.cy], [0, 0, 0, calib.focal],
                  [0, 0, 1 / calib.baseline, calib.doffs / calib.baseline]])
    expected = cv2.reprojectImageTo3D(np.nan_to_num(result.disparity, nan=-1e9), q)
    has_depth = np.isfinite(result.disparity) & (result.disparity + calib.doffs > 0)
    assert 0 < has_depth.sum() < np.isfinite(result.disparity).sum() < result.disparity.size

    depth = result.depth(calib)
    np.testing.assert_allclose(depth[has_depth], expected[..., 2][has_depth], rtol=1e-6)
    assert np.isnan(depth[~has_depth]).all()
    points, colors = result.point_cloud(calib)
    np.testing.assert_allclose(points, expected[has_depth], rtol=1e-5, atol=1e-3)
    np.testing.assert_array_equal(colors, left[has_depth][:, ::-1])  # red, green, blue
    # A calibration file's path serves as well as its values.
    (tmp_path / "calib.txt").write_text(CALIB.replace("doffs=1.5", "doffs=-2"))
    assert result.depth(tmp_path / "calib.txt").tobytes() == depth.tobytes()


def test_read_calib_takes_either_benchmarks_file_or_values(tmp_path):
    (tmp_path / "calib.txt").write_text(CALIB)
    (tmp_path / "calib_cam_to_cam.txt").write_text(KITTI_CALIB)
    middlebury = orbelt.read_calib(tmp_path / "calib.txt")
    kitti = orbelt.read_calib(str(tmp_path / "calib_cam_to_cam.txt"))
    typed = orbelt.read_calib(focal=100, baseline=0.05, cx=31.5, cy=23.5)
    for calib, baseline, doffs in [(middlebury, 50, 1.5), (kitti, 0.05, 0), (typed, 0.05, 0)]:
        assert (calib.focal, calib.cx, calib.cy) == (100, 31.5, 23.5)
        assert calib.baseline == pytest.approx(baseline) and calib.doffs == doffs
    assert (middlebury.ndisp, middlebury.width, middlebury.height, middlebury.vmin, middlebury.vmax) == \
        (12, 64, 48, 2, 2)
    assert kitti.ndisp is None and typed.vmax is None


def bad_set(calib):
    return lambda d: orbelt.read_dataset(make_2014_set(d / "set", shifted_pair(), calib))


BAD_INPUT = {
    "calib.txt without baseline": (bad_set(CALIB.replace("baseline=50\n", "")), ValueError,
                                   'the key "baseline" is missing'),
    "calib.txt with a word": (bad_set(CALIB.replace("doffs=1.5", "doffs=some")), ValueError,
                              'the key "doffs" holds "some", not a number'),
    "ndisp 0": (bad_set(CALIB.replace("ndisp=12", "ndisp=0")), ValueError,
                "ndisp must be a whole number of at least 1, not 0"),
    "ndisp -5": (bad_set(CALIB.replace("ndisp=12", "ndisp=-5")), ValueError, "not -5"),
    "frame without its right view": (
        lambda d: orbelt.read_dataset(make_kitti_frame(d / "training", shifted_pair(), right=False)), ValueError,
        "The KITTI frame 000000_10 in"),
    "two frames, none named": (
        lambda d: orbelt.read_dataset(make_kitti_frame(make_kitti_frame(d / "kitti", shifted_pair()),
                                                       shifted_pair(), frame="000001_10")),
        ValueError, "holds 2 KITTI frames; name one with frame"),
    "no folder": (lambda d: orbelt.read_dataset(d / "nowhere"), OSError, "is not there"),
    "calib file not there": (lambda d: orbelt.read_calib(d / "calib.txt"), OSError, "calib.txt"),
    "calib file and values": (lambda d: orbelt.read_calib(d / "calib.txt", focal=100), TypeError, "not both"),
    "values missing": (lambda d: orbelt.read_calib(focal=100, cx=1), TypeError, "baseline, cy missing"),
    "focal 0": (lambda d: orbelt.Calibration(0, 50, 1, 1), ValueError, "focal is 0; it must be a positive number"),
    "ply in no folder": (
        lambda d: orbelt.write_ply(d / "nowhere" / "p.ply", np.zeros((2, 3), np.float32), np.zeros((2, 3), np.uint8)),
        OSError, "p.ply"),
    "colors not uint8": (
        lambda d: orbelt.write_ply(d / "p.ply", np.zeros((2, 3), np.float32), np.zeros((2, 3))), ValueError,
        "colors must be uint8"),
    "points and colors differ": (
        lambda d: orbelt.write_ply(d / "p.ply", np.zeros((2, 3), np.float32), np.zeros((3, 3), np.uint8)),
        ValueError, "one row per point; they have 2 and 3"),
}


@pytest.mark.parametrize("call,error,message", BAD_INPUT.values(), ids=BAD_INPUT.keys())
def test_bad_input_raises_naming_what_is_wrong_and_writes_nothing(tmp_path, call, error, message):
    with pytest.raises(error, match=re.escape(message)):
        call(tmp_path)
    assert not (tmp_path / "p.ply").exists() and not (tmp_path / "nowhere").exists()


@pytest.mark.parametrize("call", [lambda r: r.depth(None), lambda r: r.point_cloud(None)], ids=["depth", "points"])
def test_depth_and_points_without_a_calibration_are_refused(call):
    result = orbelt.compute(*shifted_pair(), disparity_range=4, **RUN)
    with pytest.raises(ValueError, match="needs a calibration"):
        call(result)


@pytest.mark.parametrize("layout", ["middlebury2014", "kitti"])
def test_dataset_evaluate_scores_as_the_eval_command(cli, tmp_path, layout):
    pair = shifted_pair()
    path = (make_2014_set(tmp_path / "Shift", pair) if layout == "middlebury2014"
            else make_kitti_frame(tmp_path / "training", pair))
    dataset = orbelt.read_dataset(path)
    assert dataset.disparity_range == (12 if layout == "middlebury2014" else 192)
    result = orbelt.compute(dataset.left, dataset.right, disparity_range=12, lr_check=True, **RUN)
    orbelt.write_pfm(tmp_path / "map.pfm", result.disparity)
    run = run_cli(cli, "eval", tmp_path / "map.pfm", "--dataset", path, "--json")
    assert run.returncode == 0, run.stderr
    score = dataset.evaluate(result.disparity)
    assert score == json.loads(run.stdout)["benchmark"]
    assert [r["region"] for r in score["regions"]] == (["nonocc", "all"] if layout == "middlebury2014"
                                                      else ["noc", "occ"])


def test_dask_batch_over_a_dataset_writes_what_the_cli_batch_writes(cli, tmp_path):
    root = tmp_path / "root"
    make_2014_set(root / "trainingQ" / "Shift", shifted_pair())
    make_kitti_frame(root / "training", shifted_pair())
    options = ["--", "--disparity-range", "6", "--half-win-size", "3", "--seed", "5"]
    run = subprocess.run([str(cli), "batch", "--dataset", "root", "--out", "by-cli", "--submit", "Mine", *options],
                         cwd=tmp_path, capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    run = run_batch("--dataset", "root", "--out", "by-dask", "--submit", "Mine", "--workers", 1, *options,
                    cwd=tmp_path)
    assert run.returncode == 0, run.stderr

    def files(folder):
        return sorted(str(p.relative_to(folder)) for p in folder.rglob("*") if p.is_file())

    assert files(tmp_path / "by-dask") == files(tmp_path / "by-cli")
    assert "submission/trainingQ/Shift/disp0Mine.pfm" in files(tmp_path / "by-cli")
    for name in ("trainingQ-Shift.pfm", "training-000000_10.png", "submission/trainingQ/Shift/disp0Mine.pfm"):
        assert (tmp_path / "by-dask" / name).read_bytes() == (tmp_path / "by-cli" / name).read_bytes(), name

    def rows(folder):
        with open(folder / "summary.csv", newline="") as f:
            return [{k: v for k, v in row.items() if k != "seconds"} for row in csv.DictReader(f)]

    assert rows(tmp_path / "by-dask") == rows(tmp_path / "by-cli")
    assert [(r["pair"], r["mask"]) for r in rows(tmp_path / "by-cli")] == [
        ("trainingQ-Shift", "nonocc"), ("trainingQ-Shift", "all"), ("training-000000_10", "noc"),
        ("training-000000_10", "occ")]
