"""orbelt.compute and orbelt.cost_volume against the command line, and how
they treat threads, progress reports and bad input."""

import json
import re
import threading
import time

import numpy as np
import pytest

import orbelt
from conftest import SMALL, cli_option_args, crop, run_cli


# Option sets the map must match orbelt-cli --pfm for: the plain run, the
# float refinements, and the other colour mode with a shifted label range.
CLI_CASES = {
    "plain": dict(SMALL),
    "subpixel and lr_check": dict(SMALL, subpixel=True, lr_check=2),
    "rgb, base disparity, exponent 1": dict(SMALL, color_mode="rgb", base_disparity=2, smooth_exponent=1,
                                            smooth_max=3, lambda_=0.05, sigma_s=5.5, sigma_p=7),
    "fill and median after the check": dict(SMALL, lr_check=True, fill=True, median=2),
    "blended costs": dict(SMALL, log_chrom_weight=0.4),
}


@pytest.mark.parametrize("options", CLI_CASES.values(), ids=CLI_CASES.keys())
def test_map_equals_what_the_cli_writes(cli, tmp_path, small_pair, pair_files, options):
    cli_options = dict(options)
    if type(cli_options.get("lr_check")) in (int, float):  # a threshold, not the bare flag
        cli_options["lr_check"] = str(cli_options["lr_check"])
    run = run_cli(cli, *pair_files, "--no-map", "--pfm", tmp_path / "map.pfm", "--save-cost", tmp_path / "cost.npy",
                  "--json", tmp_path / "run.json", *cli_option_args(cli_options))
    assert run.returncode == 0, run.stderr

    result = orbelt.compute(*small_pair, return_cost=True, **options)
    expected = orbelt.read_pfm(tmp_path / "map.pfm")
    assert result.disparity.dtype == np.float32 and result.disparity.shape == small_pair[0].shape[:2]
    np.testing.assert_array_equal(result.disparity, expected)
    np.testing.assert_array_equal(result.cost, np.load(tmp_path / "cost.npy"))
    assert len(result.energies) == 10
    summary = json.loads((tmp_path / "run.json").read_text())
    assert (result.flow_recycling, result.kept_flow_labels) == (summary["flow_recycling"], summary["kept_flow_labels"])
    assert result.flow_recycling and result.kept_flow_labels == options["disparity_range"]
    if options.get("lr_check"):
        if not options.get("fill"):
            assert np.array_equal(result.confidence, np.isfinite(result.disparity))
        assert 0 < result.confidence.mean() < 1
    else:
        assert result.confidence is None
        np.testing.assert_array_equal(result.disparity, result.labels + options.get("base_disparity", 0))


def test_same_map_for_any_layout_and_channel_order(small_pair):
    reference = orbelt.compute(*small_pair, **SMALL).disparity
    left, right = small_pair
    layouts = {
        "rgb": (left[:, :, ::-1].copy(), right[:, :, ::-1].copy(), True),
        "fortran order": (np.asfortranarray(left), np.asfortranarray(right), False),
        "strided view": (np.repeat(left, 2, axis=1)[:, ::2], np.repeat(right, 2, axis=1)[:, ::2], False),
    }
    for name, (l, r, rgb) in layouts.items():
        np.testing.assert_array_equal(orbelt.compute(l, r, rgb=rgb, **SMALL).disparity, reference, err_msg=name)


def test_cost_volume_is_the_runs_cost(small_pair):
    matcher = dict(half_win_size=3, disparity_range=12, color_mode="rgb")
    costs = orbelt.cost_volume(*small_pair, **matcher)
    assert costs.shape == (48, 64, 12) and costs.dtype == np.float32
    np.testing.assert_array_equal(costs, orbelt.compute(*small_pair, return_cost=True, seed=1, **matcher).cost)
    with pytest.raises(TypeError, match="unexpected option 'lambda_'"):
        orbelt.cost_volume(*small_pair, lambda_=1.0)


def test_defaults_are_the_clis(cli):
    shown = dict(re.findall(r"^\s+--([a-z-]+) \S*?=(\S+)", run_cli(cli, "--help").stdout, re.M))
    compared = set()
    for name, value in orbelt.defaults.items():
        flag = "lambda" if name == "lambda_" else name.replace("_", "-")
        if flag in shown:
            assert str(value) == shown[flag] or float(value) == float(shown[flag]), name
            compared.add(name)
    # Every option whose default the help shows (the others: None or off).
    assert compared == {"half_win_size", "sigma_s", "sigma_p", "base_disparity", "disparity_range", "smooth_exponent",
                        "smooth_max", "lambda_", "color_mode", "threads"}, shown


# Bad calls: (keyword options or replaced images, exception, part of the
# message). Parameter messages name the keyword as typed; the rules are the
# library's, so the command line's messages say the same of its flags.
BAD_CALLS = [
    (dict(disparity_range=0), ValueError, "disparity_range is 0; it must be 1 or more"),
    (dict(sigma_s=float("nan")), ValueError, "sigma_s is nan"),
    (dict(half_win_size=-1), ValueError, "half_win_size is -1"),
    (dict(lambda_=float("inf")), ValueError, "lambda_ is inf"),
    (dict(smooth_exponent=3), ValueError, "Wrong exponent in setSmoothness()!"),
    (dict(disparity_range=1000000000), MemoryError, "memory"),
    (dict(color_mode="lab"), ValueError, 'color_mode is "lab"'),
    (dict(lr_check=-1), ValueError, "lr_check is -1; the threshold must be a number of pixels, 0 or more"),
    (dict(fill=True), ValueError, "fill needs lr_check"),
    (dict(lr_check=True, median=0), ValueError, "median is 0"),
    (dict(log_chrom_weight=1.5), ValueError, "log_chrom_weight is 1.5; it must lie between 0"),
    (dict(median=1.5), TypeError, "median must be an integer, not float"),
    (dict(threads=-2), ValueError, "threads is -2"),
    (dict(seed=-1), ValueError, "seed is -1"),
    (dict(half_win_size=2.5), TypeError, "half_win_size must be an integer, not float"),
    (dict(subpixel="yes"), TypeError, "subpixel must be True or False"),
    (dict(windows=3), TypeError, "unexpected option 'windows'"),
    (dict(progress=3), TypeError, "progress must be callable"),
    (dict(left="grey"), ValueError, "Input images should be color format ! (left has shape (48, 64)"),
    (dict(right="rgba"), ValueError, "Input images should be color format ! (right has shape (48, 64, 4)"),
    (dict(left="float"), ValueError, "left must be a uint8 array (8 bits per channel); it is float32"),
    (dict(right="shorter"), ValueError, "The target image is 64 x 47 pixels but the reference image is 64 x 48"),
    (dict(left="empty", right="empty"), ValueError, "left is empty: it has shape (0, 64, 3)"),
    (dict(left="list"), TypeError, "left must be a NumPy array, not list"),
]
IMAGES = {
    "grey": lambda image: image[:, :, 0],
    "rgba": lambda image: np.dstack([image, image[:, :, :1]]),
    "float": lambda image: image.astype(np.float32),
    "shorter": lambda image: image[:-1],
    "empty": lambda image: image[:0],
    "list": lambda image: image.tolist(),
}


@pytest.mark.parametrize("call,error,message", BAD_CALLS, ids=[str(c[0]) for c in BAD_CALLS])
def test_bad_call_raises_and_the_interpreter_carries_on(small_pair, call, error, message):
    left, right = small_pair
    options = dict(half_win_size=3, disparity_range=12, seed=1)
    options.update({k: v for k, v in call.items() if k not in ("left", "right")})
    if "left" in call:
        left = IMAGES[call["left"]](left)
    if "right" in call:
        right = IMAGES[call["right"]](right)
    with pytest.raises(error) as raised:
        orbelt.compute(left, right, **options)
    assert message in str(raised.value)
    # The module and the interpreter are still fine.
    assert orbelt.compute(*small_pair, half_win_size=1, disparity_range=3, seed=1).disparity.shape == (48, 64)


def as_cli_words(message):
    """The message with each keyword named as the command line names its flag."""
    for keyword in ("half_win_size", "sigma_s", "sigma_p", "base_disparity", "disparity_range", "smooth_max",
                    "log_chrom_weight", "threads", "lr_check", "fill", "median"):
        message = re.sub(r"\b%s\b" % keyword, "--" + keyword.replace("_", "-"), message)
    return message.replace("lambda_", "--lambda")


@pytest.mark.parametrize("option,value", [("disparity_range", 0), ("sigma_p", 0), ("half_win_size", -1),
                                          ("base_disparity", 2000000000), ("fill", True), ("median", 99),
                                          ("smooth_exponent", 3), ("lambda_", float("inf"))])
def test_parameter_messages_are_the_clis_in_its_own_words(cli, small_pair, pair_files, option, value):
    # One rule, one message: each front end names the field as its user typed it.
    with pytest.raises(ValueError) as raised:
        orbelt.compute(*small_pair, **{option: value})
    run = run_cli(cli, *pair_files, "--no-map", "--pfm", "x.pfm", *cli_option_args({option: value}))
    assert run.returncode == 2
    assert as_cli_words(str(raised.value)) in run.stderr


def test_fill_and_median_refine_the_checked_map(small_pair):
    checked = orbelt.compute(*small_pair, lr_check=True, **SMALL)
    filled = orbelt.compute(*small_pair, lr_check=True, fill=True, **SMALL)
    smoothed = orbelt.compute(*small_pair, lr_check=True, fill=True, median=2, **SMALL)
    unknown = np.isnan(checked.disparity)
    assert unknown.any() and not np.isnan(filled.disparity).any()
    # The fill changes only what the check left unknown; the median may change any pixel.
    np.testing.assert_array_equal(filled.disparity[~unknown], checked.disparity[~unknown])
    assert not np.array_equal(smoothed.disparity, filled.disparity)
    np.testing.assert_array_equal(filled.confidence, ~unknown)
    assert {"lr_check", "fill", "median"} <= smoothed.seconds.keys()


def test_the_default_pair_gives_the_same_map_on_one_thread_and_two(default_pair):
    # The whole default pair at the dialog's defaults: a crop would leave
    # out the full-size bands and tiles where the threads split the work.
    one = orbelt.compute(*default_pair, threads=1, seed=1)
    two = orbelt.compute(*default_pair, threads=2, seed=1)
    assert one.disparity.shape == default_pair[0].shape[:2]
    np.testing.assert_array_equal(one.disparity, two.disparity)
    np.testing.assert_array_equal(one.labels, two.labels)


def test_two_threads_at_once_get_their_own_maps(default_pair):
    pairs = [crop(default_pair, 40, 60, 56, 80), crop(default_pair, 180, 200, 56, 80)]
    options = dict(half_win_size=4, disparity_range=16, seed=2, threads=1)
    alone = [orbelt.compute(*pair, **options).disparity for pair in pairs]
    together = [None, None]
    barrier = threading.Barrier(2)

    def work(i):
        barrier.wait()
        for _ in range(3):
            together[i] = orbelt.compute(*pairs[i], **options).disparity
            np.testing.assert_array_equal(together[i], alone[i])

    threads = [threading.Thread(target=work, args=(i,)) for i in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for i in range(2):
        np.testing.assert_array_equal(together[i], alone[i])


def test_the_lock_is_released_while_computing(default_pair):
    # The main thread keeps running Python while a worker thread is inside
    # compute(): it ticks in the middle of the call, which it could not if
    # the call held the interpreter lock throughout.
    pair = crop(default_pair, 60, 60, 120, 160)
    span = {}

    def work():
        span["start"] = time.monotonic()
        orbelt.compute(*pair, half_win_size=5, disparity_range=24, seed=1, threads=1)
        span["end"] = time.monotonic()

    worker = threading.Thread(target=work)
    ticks = []
    worker.start()
    while worker.is_alive():
        ticks.append(time.monotonic())
        time.sleep(0.001)
    worker.join()
    start, end = span["start"], span["end"]
    middle = [t for t in ticks if start + 0.25 * (end - start) < t < start + 0.75 * (end - start)]
    assert middle, f"no tick in the middle of a {end - start:.3f} s call"


def test_progress_reports_every_stage(small_pair):
    reports = []
    orbelt.compute(*small_pair, lr_check=True, progress=lambda *report: reports.append(report), **SMALL)
    stages = {}
    for stage, done, total in reports:
        stages.setdefault(stage, []).append((done, total))
    assert list(stages) == ["cost_volume", "optimize", "right_cost_volume", "right_optimize"]
    assert stages["cost_volume"][-1] == (48, 48) and stages["right_cost_volume"][-1] == (48, 48)
    assert stages["optimize"] == [(p, 10) for p in range(1, 11)]


def test_a_progress_with_a_fourth_parameter_also_hears_every_move_with_the_time_left(small_pair):
    reports = []

    def progress(stage, done, total, details=None):
        reports.append((stage, done, total, details))

    labels = SMALL["disparity_range"]
    orbelt.compute(*small_pair, lr_check=True, progress=progress, **SMALL)
    assert all(details is not None for *_, details in reports)
    stages = {}
    for stage, done, total, details in reports:
        stages.setdefault(stage, []).append((done, total, details))
    assert list(stages) == ["cost_volume", "optimize", "right_cost_volume", "right_optimize"]
    rows = stages["cost_volume"]
    assert rows[-1][:2] == (48, 48) and rows[-1][2]["seconds_left"] == 0
    assert all(d["pass"] is None and d["energy"] is None for _, _, d in rows)
    moves = stages["optimize"]
    # Every move of every pass, then the pass's end with its energy; done
    # counts the passes finished.
    finished = [(done, d["pass"], d["energy"]) for done, _, d in moves if d["pass_seconds"] is not None]
    assert [(done, p) for done, p, _ in finished] == [(p, p) for p in range(1, 11)]
    assert all(energy is not None for *_, energy in finished)
    during = [(done, d["pass"], d["move"], d["moves"]) for done, _, d in moves if d["pass_seconds"] is None]
    assert during == [(p - 1, p, m, labels) for p in range(1, 11) for m in range(1, labels + 1)]
    # The passes' rest is unknown during the first and estimated after it.
    first_pass = [d for done, _, d in moves if d["pass"] == 1 and d["pass_seconds"] is None]
    assert all(d["seconds_left"] is None and d["pass_seconds_left"] >= 0 for d in first_pass)
    assert all(d["seconds_left"] >= 0 for done, _, d in moves if d["pass"] > 1)
    assert moves[-1][2]["seconds_left"] == 0 and moves[-1][2]["elapsed"] > 0


def test_a_failing_progress_callback_ends_in_its_own_exception(small_pair):
    calls = []

    def progress(stage, done, total):
        calls.append(stage)
        raise KeyboardInterrupt("stop, please")

    with pytest.raises(KeyboardInterrupt, match="stop, please"):
        orbelt.compute(*small_pair, progress=progress, **SMALL)
    assert calls == ["cost_volume"]  # not called again after it raised
    with pytest.raises(ZeroDivisionError):
        orbelt.cost_volume(*small_pair, half_win_size=3, disparity_range=4, progress=lambda *a: 1 / 0)
    assert orbelt.compute(*small_pair, **SMALL).disparity.shape == (48, 64)
