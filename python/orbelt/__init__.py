"""Dense disparity maps of rectified colour stereo pairs, from NumPy arrays.

    import cv2, orbelt
    left, right = cv2.imread("data/Img0.png"), cv2.imread("data/Img1.png")
    result = orbelt.compute(left, right, seed=1)
    result.disparity            # float32 (H, W), pixels; NaN where unknown

The options are the command line's long options with ``_`` for ``-``
(``lambda_`` for ``--lambda``), with the same defaults, meanings and checks:

    half_win_size    window half size r, pixels; windows are (2r+1)^2     (15)
    sigma_s          colour-difference sigma of the window weights, Lab   (3.8)
    sigma_p          spatial sigma of the window weights, pixels          (14)
    base_disparity   disparity of label 0, pixels                         (0)
    disparity_range  number of disparity labels                           (70)
    smooth_exponent  exponent of the smoothness term, 1 or 2              (2)
    smooth_max       truncation of the label-distance power               (5)
    lambda_          smoothness weight (scaled by 30 inside)              (0.033)
    color_mode       "logchrom" or "rgb": what the windows compare        ("logchrom")
    log_chrom_weight the blend of the two costs, 0..1 (1 = "logchrom",
                     0 = "rgb"); when given it sets the blend instead of
                     color_mode                                           (None)
    seed             seed of the optimizer's label orders; None: clock    (None)
    threads          threads of the costs and the moves; 0 = all cores    (0)
    subpixel         refine the map by each pixel's cost parabola         (False)
    lr_check         False, True (1 px) or a threshold in pixels: pixels
                     whose left and right maps disagree become NaN        (False)
    fill             give the pixels lr_check left unknown the farther
                     (background) neighbour's disparity; needs lr_check   (False)
    median           radius of a guided weighted median over the map;
                     None: off                                            (None)

Images are H x W x 3 uint8 in blue-green-red order, as cv2.imread gives
them; pass ``rgb=True`` for arrays from PIL or imageio.

Errors are exceptions: a bad option or image raises ValueError (TypeError
for an argument of the wrong type or an unknown option) with the command
line's message, naming the keyword ("sigma_s is 0; ..."), before any work;
a run larger than memory MemoryError, an engine failure RuntimeError, a
file that cannot be read or written OSError.

The interpreter lock is released while a run works, so threads may run
pairs at once.
"""

import inspect as _inspect

import numpy as _np

from . import _orbelt

__all__ = ["Result", "compute", "cost_volume", "evaluate", "read_pfm", "write_pfm", "read_image", "write_image",
           "defaults"]

#: The options' defaults (the library's own). The library keeps its float
#: parameters in single precision; each shows as the shortest decimal that
#: reads back as it (3.8, not 3.799999952316284).
defaults = {name: float(str(_np.float32(value))) if isinstance(value, float) else value
            for name, value in _orbelt.defaults.items()}


class Result:
    """What compute() returns.

    disparity   float32 (H, W): disparity in pixels, NaN where unknown (the
                left-right check failed); the map ``orbelt-cli --pfm`` writes
    labels      int32 (H, W): the optimizer's labels (disparity - base without
                sub-pixel refinement)
    energies    list of float: the energy after each optimizer pass
    seconds     dict: wall seconds per stage ("cost_volume", "flatten",
                "optimize", "passes" (list), and "lr_check", "subpixel",
                "fill", "median" when run)
    confidence  bool (H, W), True where the left-right check passed; None
                without lr_check
    cost        float32 (H, W, labels) matching costs with return_cost=True,
                else None
    flow_recycling    bool: the optimizer's moves started from flows kept
                      between passes (False when not even its grid graph
                      fit in memory)
    kept_flow_labels  int: labels that kept their flows to the end; short
                      of memory fewer do, and the others start each move
                      from the previous move's flow (same labels, more time)
    """

    __slots__ = ("disparity", "labels", "energies", "seconds", "confidence", "cost", "flow_recycling",
                 "kept_flow_labels")

    def __init__(self, disparity, labels, energies, seconds, confidence=None, cost=None, flow_recycling=False,
                 kept_flow_labels=0):
        self.disparity = disparity
        self.labels = labels
        self.energies = energies
        self.seconds = seconds
        self.confidence = confidence
        self.cost = cost
        self.flow_recycling = flow_recycling
        self.kept_flow_labels = kept_flow_labels

    def __repr__(self):
        height, width = self.disparity.shape
        extras = [name for name in ("confidence", "cost") if getattr(self, name) is not None]
        return "<orbelt.Result %d x %d, %d passes, final energy %.1f%s>" % (
            width, height, len(self.energies), self.energies[-1] if self.energies else 0.0,
            ", with " + " and ".join(extras) if extras else "")


def _takes_details(progress):
    """Whether progress names a fourth positional parameter, for the details;
    a callable of three (or of *args alone) is called as it always was."""
    if progress is None:
        return False
    try:
        parameters = _inspect.signature(progress).parameters.values()
    except (TypeError, ValueError):  # no signature to read (some builtins)
        return False
    positional = (_inspect.Parameter.POSITIONAL_ONLY, _inspect.Parameter.POSITIONAL_OR_KEYWORD)
    return sum(1 for p in parameters if p.kind in positional) >= 4


def compute(left, right, *, progress=None, return_cost=False, rgb=False, **options):
    """Computes the disparity map of the pair (left, right); returns a Result.

    progress, when given, is called as progress(stage, done, total) from the
    working threads (with the interpreter lock held), stage one of
    "cost_volume" (rows), "optimize" (passes), and with lr_check
    "right_cost_volume" and "right_optimize". If it raises, it is not called
    again, the run goes on to its end (the engines cannot be stopped
    part-way), and compute() raises that exception instead of returning.

    A progress that takes a fourth argument, progress(stage, done, total,
    details), is also called after every optimizer move (done stays the
    passes finished), with details a dict: "elapsed" (seconds since the
    stage started), "seconds_left" (estimated seconds to the stage's end,
    None until there is a pace to go by: during the first pass it is
    unknown), and for the optimizer "pass", "move", "moves" (per pass),
    "pass_seconds_left", and once a pass has finished its "energy" and
    "pass_seconds" (None otherwise and for the cost volume).
    """
    fields = _orbelt.compute(left, right, progress=progress, progress_details=_takes_details(progress),
                             return_cost=return_cost, rgb=rgb, **options)
    return Result(**fields)


def cost_volume(left, right, *, progress=None, rgb=False, **matcher_options):
    """The matcher's costs of the pair: float32 (H, W, disparity_range).

    Takes the matcher's options only: half_win_size, sigma_s, sigma_p,
    base_disparity, disparity_range, color_mode, log_chrom_weight, threads. progress as in
    compute(), stage "cost_volume".
    """
    return _orbelt.cost_volume(left, right, progress=progress, progress_details=_takes_details(progress), rgb=rgb,
                               **matcher_options)


def evaluate(disparity, truth, mask=None, *, scale=1.0):
    """Scores a map against ground truth as ``orbelt-cli eval`` does.

    disparity: float (H, W) in pixels, NaN or inf = unknown (counted bad at
    every threshold, left out of the mean error). truth: float (disparities,
    non-finite = unknown) or uint8/uint16 (value / scale, 0 = unknown).
    mask: bool or uint8 (255 keeps), optional. Returns a dict with
    "evaluated", "unknown", "bad_0.5", "bad_1", "bad_2", "bad_4" (percent)
    and "mean_abs_error" (pixels).
    """
    return _orbelt.evaluate(disparity, truth, mask, scale=scale)


def read_pfm(path):
    """Reads a .pfm float map as float32 (H, W), top row first; NaN where the
    file holds a non-finite value (Orbelt and Middlebury store unknown as inf)."""
    return _orbelt.read_pfm(path)


def write_pfm(path, map):
    """Writes a 2-D float map as a little-endian .pfm through a temporary
    file and a rename; NaN is stored as +inf, the files' mark for unknown."""
    _orbelt.write_pfm(path, map)


def read_image(path):
    """Reads an image file as stored, the way orbelt-cli reads its inputs:
    uint8 or uint16, (H, W) for grey, (H, W, channels) blue-green-red
    otherwise. For when OpenCV's Python binding is not at hand."""
    return _orbelt.read_image(path)


def write_image(path, image):
    """Writes a uint8 or uint16 image (grey, or blue-green-red) through a
    temporary file and a rename; the extension picks the format."""
    _orbelt.write_image(path, image)
