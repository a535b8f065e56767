#pragma once
// Small datasets in the Middlebury 2014 and KITTI layouts, made from a
// Middlebury 2003 set (im2.png, im6.png, disp2.png at x4, nonocc.png,
// all.png), so the readers and measures of those layouts are tested on real
// images without any such dataset in the repository. Used by the test
// suites and, through orbelt-make-dataset-fixture, by scripts.
#include <string>

#include "eval/KittiFrames.h"
#include "platform/Expected.h"
#include "postprocess/CameraCalibration.h"

namespace orbelt::fixtures {

// The camera written into a fixture's calibration file. cx and cy default
// to the image's centre when left negative.
struct FixtureCamera {
  double focal = 1000;    // pixels
  double baseline = 160;  // Middlebury: mm; KITTI: the file states metres, so 0.16 of them is used there
  double cx = -1;         // pixels; < 0: (width - 1) / 2
  double cy = -1;         // pixels; < 0: (height - 1) / 2
  double doffs = 20;      // pixels (Middlebury only; KITTI's rectified views share cx)
};

// Lays the 2003 set in `source` out as a 2014 set in `target` (made when
// missing): im0.png and im1.png (the two views), calib.txt (the camera,
// width, height, ndisp 60 and the truth's vmin and vmax), disp0GT.pfm (the
// truth in pixels, inf where disp2.png holds 0) and mask0nocc.png (255 in
// nonocc.png, 128 elsewhere in all.png, 0 outside both).
Status makeMiddlebury2014Set(const std::string& source, const std::string& target, const FixtureCamera& camera = {});

// Lays the 2003 set in `source` out as frame `id` (e.g. "000000_10") of a
// KITTI split folder `split` (made when missing), of the given edition: the
// views, the 16-bit truths (disparity x 256, 0 = none) of the pixels in
// nonocc.png (noc) and all.png (occ), and a per-frame calibration file
// (calib_cam_to_cam/NNNNNN.txt with P_rect_02 and P_rect_03 for 2015,
// calib/NNNNNN.txt with P0 ... P3 for 2012).
Status makeKittiFrame(const std::string& source, const std::string& split, KittiEdition edition,
                      const std::string& id = "000000_10", const FixtureCamera& camera = {});

}  // namespace orbelt::fixtures
