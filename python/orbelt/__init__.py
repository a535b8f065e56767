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

Benchmark folders, depth and point clouds:

    dataset = orbelt.read_dataset("MiddEval3/trainingQ/Adirondack")   # or a KITTI folder, frame="000123"
    result = orbelt.compute(dataset.left, dataset.right, disparity_range=dataset.disparity_range, seed=1)
    dataset.evaluate(result.disparity)        # the benchmark's own measures
    depth = result.depth(dataset.calib)       # float32 (H, W) in the baseline's unit, NaN where none
    points, colors = result.point_cloud(dataset.calib)   # (N, 3) float32 and (N, 3) uint8 red-green-blue
    orbelt.write_ply("cloud.ply", points, colors)
"""

import inspect as _inspect

import numpy as _np

from . import _orbelt

__all__ = ["Result", "compute", "cost_volume", "evaluate", "read_pfm", "write_pfm", "read_image", "write_image",
           "Calibration", "read_calib", "write_ply", "Dataset", "read_dataset", "defaults"]

#: The options' defaults (the library's own). The library keeps its float
#: parameters in single precision; each shows as the shortest decimal that
#: reads back as it (3.8, not 3.799999952316284).
defaults = {name: float(str(_np.float32(value))) if isinstance(value, float) else value
            for name, value in _orbelt.defaults.items()}


class Calibration:
    """The geometry of a rectified pair that turns disparities into metric
    depth and points: Z = focal * baseline / (d + doffs), X = (x - cx) Z /
    focal, Y = (y - cy) Z / focal, in the left camera's frame (x right, y
    down, z forward) and in the baseline's unit (Middlebury: mm, KITTI: m).

    focal     focal length of both views, pixels (> 0)
    baseline  distance between the camera centres (> 0)
    cx, cy    the left view's principal point, pixels
    doffs     the right view's principal point column minus the left's, pixels (0)

    A calib.txt read by read_calib() also gives ndisp, width, height, vmin
    and vmax (None otherwise). Values that give no geometry raise ValueError
    naming the value ("focal is 0; it must be a positive number").
    """

    __slots__ = ("focal", "baseline", "cx", "cy", "doffs", "ndisp", "width", "height", "vmin", "vmax")

    def __init__(self, focal, baseline, cx, cy, doffs=0.0, *, ndisp=None, width=None, height=None, vmin=None,
                 vmax=None):
        values = tuple(float(v) for v in (focal, baseline, cx, cy, doffs))
        _orbelt.check_calibration(values)
        self.focal, self.baseline, self.cx, self.cy, self.doffs = values
        self.ndisp, self.width, self.height, self.vmin, self.vmax = ndisp, width, height, vmin, vmax

    def _values(self):
        return (self.focal, self.baseline, self.cx, self.cy, self.doffs)

    def __repr__(self):
        return "orbelt.Calibration(focal=%g, baseline=%g, cx=%g, cy=%g, doffs=%g)" % self._values()


def read_calib(path=None, *, focal=None, baseline=None, cx=None, cy=None, doffs=0.0):
    """A Calibration from a file or from values.

    read_calib("calib.txt")                  a Middlebury 2014 calib.txt (cam0, baseline, doffs; also
                                             ndisp, width, height, vmin, vmax)
    read_calib("calib_cam_to_cam.txt")       a KITTI file (P_rect_02/P_rect_03, or P2/P3)
    read_calib(focal=, baseline=, cx=, cy=, doffs=0)

    A file missing a key or holding a value that is not a number raises
    ValueError naming the file and the key; a file that is not there
    OSError; a missing value or a file and values together TypeError.
    """
    typed = {"focal": focal, "baseline": baseline, "cx": cx, "cy": cy}
    if path is None:
        missing = [name for name, value in typed.items() if value is None]
        if missing:
            raise TypeError("read_calib() needs a file, or focal, baseline, cx and cy; %s missing"
                            % ", ".join(missing))
        return Calibration(focal, baseline, cx, cy, doffs)
    if any(value is not None for value in typed.values()) or doffs != 0.0:
        raise TypeError("read_calib() takes a file or values, not both")
    values = _orbelt.read_calib(path)
    return Calibration(values["focal"], values["baseline"], values["cx"], values["cy"], values["doffs"],
                       ndisp=values["ndisp"], width=values["width"], height=values["height"], vmin=values["vmin"],
                       vmax=values["vmax"])


def _calibration(calib, what):
    """`calib` as a Calibration: one, or a calibration file's path."""
    if calib is None:
        raise ValueError("%s needs a calibration: orbelt.read_calib(path), orbelt.Calibration(focal, baseline, cx, "
                         "cy, doffs) or a dataset's calib" % what)
    if isinstance(calib, Calibration):
        return calib
    if isinstance(calib, (str, bytes)) or hasattr(calib, "__fspath__"):
        return read_calib(calib)
    raise TypeError("calib must be an orbelt.Calibration or a calibration file's path, not %s" % type(calib).__name__)


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
    left        uint8 (H, W, 3), blue-green-red: the left view the run took
                (a copy), which colours the point cloud
    """

    __slots__ = ("disparity", "labels", "energies", "seconds", "confidence", "cost", "flow_recycling",
                 "kept_flow_labels", "left")

    def __init__(self, disparity, labels, energies, seconds, confidence=None, cost=None, flow_recycling=False,
                 kept_flow_labels=0, left=None):
        self.disparity = disparity
        self.labels = labels
        self.energies = energies
        self.seconds = seconds
        self.confidence = confidence
        self.cost = cost
        self.flow_recycling = flow_recycling
        self.kept_flow_labels = kept_flow_labels
        self.left = left

    def depth(self, calib):
        """Metric depth, float32 (H, W): focal * baseline / (d + doffs) in the
        baseline's unit; NaN where the disparity is unknown or d + doffs <= 0
        (``orbelt-cli --depth`` writes the same map, with inf for NaN).
        calib: a Calibration or a calibration file's path."""
        return _orbelt.depth(self.disparity, _calibration(calib, "depth")._values())

    def point_cloud(self, calib):
        """The map's 3-D points: (points, colors), float32 (N, 3) X, Y, Z in
        the baseline's unit and uint8 (N, 3) red, green, blue from the left
        view; one per pixel with a depth, row by row (the vertices
        ``orbelt-cli --ply`` writes). calib as for depth()."""
        if self.left is None:
            raise ValueError("point_cloud needs the left view; this Result was made without it")
        return _orbelt.point_cloud(self.disparity, self.left, _calibration(calib, "point_cloud")._values())

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
    view = _np.asarray(left)
    return Result(left=_np.ascontiguousarray(view[..., ::-1] if rgb else view).copy(), **fields)


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


def write_ply(path, points, colors):
    """Writes a point cloud as a binary little-endian PLY (the file
    ``orbelt-cli --ply`` writes): points (N, 3) floats, colors (N, 3) uint8
    red, green, blue. Through a temporary file and a rename; a folder that is
    not there raises OSError, arrays of other shapes ValueError."""
    _orbelt.write_ply(path, points, colors)


class Dataset:
    """One stereo pair of a benchmark folder, as ``orbelt-cli --dataset``
    takes it (see read_dataset).

    layout           "middlebury2014", "middlebury" (2001-2005) or "kitti2015" / "kitti2012"
    name             the set's folder name or the frame's id
    left_path, right_path   the two views' files
    disparity_range  the label count to run with: ndisp, the set's own, or 192 for KITTI
    calib            its Calibration (a 2014 set's calib.txt, a KITTI frame's file), or None
    info             dict: what orbelt-cli's run summary says of it ("vmin", "vmax", "ndisp", ...)
    left, right      the views as read_image reads them (read when first used)
    """

    def __init__(self, path, frame, info):
        self._path, self._frame, self.info = path, frame, info
        self.layout, self.name = info["layout"], info["name"]
        self.left_path, self.right_path = info["left"], info["right"]
        self.disparity_range = info["label_count"]
        c = info["calibration"]
        self.calib = None if c is None else Calibration(
            c["focal"], c["baseline"], c["cx"], c["cy"], c["doffs"], ndisp=info.get("ndisp"), width=info.get("width"),
            height=info.get("height"), vmin=info.get("vmin"), vmax=info.get("vmax"))
        self._views = None

    def _read_views(self):
        if self._views is None:
            self._views = (read_image(self.left_path), read_image(self.right_path))
        return self._views

    @property
    def left(self):
        return self._read_views()[0]

    @property
    def right(self):
        return self._read_views()[1]

    def evaluate(self, disparity):
        """Scores a map (float (H, W), NaN or inf = unknown) against the
        pair's truth by its benchmark's measures, as ``orbelt-cli eval
        --dataset`` does: {"measures": ..., "regions": [{"region": ...,
        "evaluated", "unknown", measures...}]}.

        middlebury2014: regions nonocc and all; bad_0.5, bad_1, bad_2, bad_4
          (%), mean_abs_error and rms (px), A50, A90, A95, A99 (px; "inf"
          when the quantile falls among unknown pixels). An unknown pixel is
          bad at every threshold, ranks last, and is left out of the mean
          and rms.
        kitti: regions noc and occ; D1, bad_2 .. bad_5 (%), mean_abs_error
          (px), density (% known before the fill). Unknown pixels are first
          filled from the background, as the benchmark fills sparse maps.
        middlebury (2001-2005): one region per mask (nonocc, all, disc) with
          orbelt.evaluate()'s figures.
        A dataset without truth raises ValueError."""
        return _orbelt.score_dataset(disparity, self._path, self._frame)

    def __repr__(self):
        return "<orbelt.Dataset %s %s, %d labels%s>" % (self.layout, self.name, self.disparity_range,
                                                         ", calibrated" if self.calib else "")


def read_dataset(path, frame=None):
    """The stereo pair of a benchmark folder: a Middlebury 2014/2021 set
    (im0.png, im1.png, calib.txt), a 2001-2005 set, or a folder of KITTI
    frames, with frame naming one ("000123", "000123_10", or
    "training/000123" when it holds splits; optional when it holds one
    frame). Returns a Dataset.

    A folder that is not there raises OSError; one holding no dataset, a
    calib.txt missing a key or with a value that is not a number, ndisp <= 0,
    a KITTI frame without its right view, or a frame not found ValueError
    naming the file and what is wrong."""
    frame = "" if frame is None else str(frame)
    return Dataset(path, frame, _orbelt.read_dataset(path, frame))
