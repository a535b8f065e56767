// Recognising Middlebury 2014 sets and KITTI frames by their files, on
// folders made here, and reading their truths and calibrations.
#include <gtest/gtest.h>

#include <filesystem>

#include <opencv2/imgcodecs.hpp>

#include "eval/KittiFrames.h"
#include "eval/Middlebury2014Set.h"
#include "tests/pipeline/TempFolder.h"

namespace orbelt {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using testing::writeText;

const std::string kCalib =
    "cam0=[1000 0 200; 0 1000 150; 0 0 1]\ncam1=[1000 0 220; 0 1000 150; 0 0 1]\ndoffs=20\nbaseline=160\n"
    "width=450\nheight=375\nndisp=64\nvmin=3\nvmax=58\n";

void makeSet(const std::string& folder, const std::string& calib = kCalib) {
  fs::create_directories(folder);
  writeText(folder + "/im0.png", "x");
  writeText(folder + "/im1.png", "x");
  writeText(folder + "/calib.txt", calib);
}

TEST(Middlebury2014Set, IsRecognisedByItsFilesAndTakesItsLabelCountFromCalib) {
  TempFolder root;
  makeSet(root.file("trainingQ/Adirondack"));
  writeText(root.file("trainingQ/Adirondack/disp0GT.pfm"), "x");
  writeText(root.file("trainingQ/Adirondack/mask0nocc.png"), "x");
  makeSet(root.file("additional/Backpack"));
  writeText(root.file("additional/Backpack/disp0.pfm"), "x");  // the 2021 sets' name for the truth
  makeSet(root.file("testQ/Australia"));
  fs::create_directories(root.file("half"));  // two views but no calib.txt: no set
  writeText(root.file("half/im0.png"), "x");
  writeText(root.file("half/im1.png"), "x");

  const Expected<std::vector<Middlebury2014Set>> sets = listMiddlebury2014Sets(root.path());
  ASSERT_TRUE(sets) << sets.error().message;
  ASSERT_EQ(sets->size(), 3u);
  EXPECT_EQ((*sets)[0].name, "Backpack");  // additional/ < testQ/ < trainingQ/
  EXPECT_EQ((*sets)[0].truth, root.file("additional/Backpack/disp0.pfm"));
  EXPECT_EQ((*sets)[0].mask, "");
  EXPECT_EQ((*sets)[1].truth, "");  // a test set has no truth
  const Middlebury2014Set& adirondack = (*sets)[2];
  EXPECT_EQ(adirondack.left, root.file("trainingQ/Adirondack/im0.png"));
  EXPECT_EQ(adirondack.right, root.file("trainingQ/Adirondack/im1.png"));
  EXPECT_EQ(adirondack.mask, root.file("trainingQ/Adirondack/mask0nocc.png"));
  EXPECT_EQ(adirondack.calibration.labelCount, 64);
  EXPECT_EQ(adirondack.calibration.camera.doffs, 20);
  EXPECT_EQ(adirondack.calibration.vmax, 58);

  // The set folder itself is a root of one set.
  const Expected<std::vector<Middlebury2014Set>> one = listMiddlebury2014Sets(root.file("testQ/Australia"));
  ASSERT_TRUE(one);
  EXPECT_EQ(one->size(), 1u);

  const struct {
    std::string folder;
    std::string message;
  } refused[] = {
      {root.file("half"), "holds no Middlebury 2014 set (im0.png, im1.png and calib.txt)"},
      {root.file("nowhere"), "is not there"},
  };
  for (const auto& c : refused) {
    const Expected<Middlebury2014Set> set = findMiddlebury2014Set(c.folder);
    ASSERT_FALSE(set) << c.folder;
    EXPECT_NE(set.error().message.find(c.message), std::string::npos) << set.error().message;
  }
  // A set whose calib.txt cannot be used fails the listing, by name, rather
  // than being passed over.
  makeSet(root.file("trainingQ/Broken"), "cam0=[1000 0 200; 0 1000 150; 0 0 1]\ndoffs=0\nbaseline=100\n");
  const Expected<std::vector<Middlebury2014Set>> broken = listMiddlebury2014Sets(root.path());
  ASSERT_FALSE(broken);
  EXPECT_EQ(broken.error().message, "Cannot read the calibration \"" + root.file("trainingQ/Broken/calib.txt") +
                                        "\": the key \"ndisp\" is missing");
}

TEST(Middlebury2014Set, TruthComesWithItsMaskAndAMaskOfOtherValuesIsRefused) {
  TempFolder root;
  const std::string folder = root.file("Set");
  makeSet(folder);
  ASSERT_FALSE(readMiddlebury2014Truth(*findMiddlebury2014Set(folder)));  // no truth yet
  const cv::Mat truth = (cv::Mat_<float>(2, 3) << 1, 2, std::numeric_limits<float>::infinity(), 4, 5, 6);
  cv::Mat mask = (cv::Mat_<uchar>(2, 3) << 255, 128, 0, 255, 255, 128);
  std::ofstream(folder + "/disp0GT.pfm", std::ios::binary)
      << "Pf\n3 2\n-1\n"
      << std::string(reinterpret_cast<const char*>(truth.ptr<float>(1)), 12)
      << std::string(reinterpret_cast<const char*>(truth.ptr<float>(0)), 12);
  ASSERT_TRUE(cv::imwrite(folder + "/mask0nocc.png", mask));
  Expected<Middlebury2014Truth> read = readMiddlebury2014Truth(*findMiddlebury2014Set(folder));
  ASSERT_TRUE(read) << read.error().message;
  EXPECT_EQ(cv::norm(read->mask, mask, cv::NORM_INF), 0);
  EXPECT_EQ(read->disparity.at<float>(1, 0), 4.0f);

  mask.at<uchar>(1, 2) = 77;
  ASSERT_TRUE(cv::imwrite(folder + "/mask0nocc.png", mask));
  read = readMiddlebury2014Truth(*findMiddlebury2014Set(folder));
  ASSERT_FALSE(read);
  EXPECT_EQ(read.error().message, "The occlusion mask \"" + folder +
                                      "/mask0nocc.png\" holds 77 at x = 2, y = 1; it may hold only 255 (visible in "
                                      "both views), 128 (occluded) and 0 (no truth)");
  ASSERT_TRUE(cv::imwrite(folder + "/mask0nocc.png", cv::Mat(3, 3, CV_8UC1, cv::Scalar(255))));
  EXPECT_FALSE(readMiddlebury2014Truth(*findMiddlebury2014Set(folder)));
}

void makeFrame(const fs::path& split, const char* left, const char* right, const std::string& id) {
  fs::create_directories(split / left);
  fs::create_directories(split / right);
  writeText((split / left / (id + ".png")).string(), "x");
  writeText((split / right / (id + ".png")).string(), "x");
}

TEST(KittiFrames, ListsEveryReferenceFrameOfEachSplitWithItsTruthAndCalibration) {
  TempFolder root;
  const fs::path training = root.file("training"), testing = root.file("testing");
  makeFrame(training, "image_2", "image_3", "000001_10");
  makeFrame(training, "image_2", "image_3", "000000_10");
  makeFrame(training, "image_2", "image_3", "000000_11");  // the next instant: no stereo frame
  writeText((training / "image_2/notes.png").string(), "x");
  fs::create_directories(training / "disp_noc_0");
  writeText((training / "disp_noc_0/000000_10.png").string(), "x");
  fs::create_directories(training / "calib_cam_to_cam");
  writeText((training / "calib_cam_to_cam/000001.txt").string(), "x");
  makeFrame(testing, "colored_0", "colored_1", "000007_10");
  writeText((testing / "calib_cam_to_cam.txt").string(), "x");  // serves every frame of the split

  const Expected<std::vector<KittiFrame>> frames = listKittiFrames(root.path());
  ASSERT_TRUE(frames) << frames.error().message;
  ASSERT_EQ(frames->size(), 3u);
  const KittiFrame& seven = (*frames)[0];  // testing/ sorts before training/
  EXPECT_EQ(seven.id, "000007_10");
  EXPECT_EQ(seven.edition, KittiEdition::Stereo2012);
  EXPECT_EQ(seven.right, (testing / "colored_1/000007_10.png").string());
  EXPECT_EQ(seven.calibration, (testing / "calib_cam_to_cam.txt").string());
  EXPECT_EQ(seven.truthNoc, "");
  const KittiFrame& zero = (*frames)[1];
  EXPECT_EQ(zero.id, "000000_10");
  EXPECT_EQ(zero.edition, KittiEdition::Stereo2015);
  EXPECT_EQ(zero.truthNoc, (training / "disp_noc_0/000000_10.png").string());
  EXPECT_EQ(zero.truthOcc, "");
  EXPECT_EQ((*frames)[2].calibration, (training / "calib_cam_to_cam/000001.txt").string());

  // A frame without its own calibration and none for the split: the message
  // says where it looked.
  ASSERT_EQ(zero.calibration, "");
  const Expected<CameraCalibration> calibration = readKittiFrameCalibration(zero);
  ASSERT_FALSE(calibration);
  EXPECT_EQ(calibration.error().message, "The KITTI frame 000000_10 has no calibration: none of \"" +
                                             (training / "calib_cam_to_cam/000000.txt").string() + "\", \"" +
                                             (training / "calib_cam_to_cam.txt").string() + "\" is there");

  // The split folder itself is a root too.
  const Expected<std::vector<KittiFrame>> split = listKittiFrames(training.string());
  ASSERT_TRUE(split);
  EXPECT_EQ(split->size(), 2u);
}

TEST(KittiFrames, AFrameWithoutItsRightViewOrARootWithoutFramesIsRefused) {
  TempFolder root;
  const fs::path split = root.file("training");
  makeFrame(split, "image_2", "image_3", "000000_10");
  writeText((split / "image_2/000004_10.png").string(), "x");
  const Expected<std::vector<KittiFrame>> frames = listKittiFrames(split.string());
  ASSERT_FALSE(frames);
  EXPECT_EQ(frames.error().message, "The KITTI frame 000004_10 in \"" + split.string() + "\" has no right view: \"" +
                                        (split / "image_3/000004_10.png").string() + "\" is not there");
  fs::create_directories(root.file("empty/image_2"));
  EXPECT_NE(listKittiFrames(root.file("empty")).error().message.find("holds no KITTI frame"), std::string::npos);
  EXPECT_NE(listKittiFrames(root.file("nowhere")).error().message.find("is not there"), std::string::npos);
}

TEST(KittiFrames, TruthIsSixteenBitDisparityTimes256WithZeroForNone) {
  TempFolder root;
  const fs::path split = root.file("training");
  makeFrame(split, "image_2", "image_3", "000000_10");
  fs::create_directories(split / "disp_occ_0");
  const cv::Mat stored = (cv::Mat_<unsigned short>(1, 3) << 0, 256 * 12 + 64, 65535);
  ASSERT_TRUE(cv::imwrite((split / "disp_occ_0/000000_10.png").string(), stored));
  Expected<std::vector<KittiFrame>> frames = listKittiFrames(split.string());
  ASSERT_TRUE(frames);
  Expected<KittiTruth> truth = readKittiTruth(frames->front());
  ASSERT_TRUE(truth) << truth.error().message;
  EXPECT_TRUE(truth->noc.empty());
  EXPECT_EQ(truth->occ.at<float>(0, 0), std::numeric_limits<float>::infinity());
  EXPECT_EQ(truth->occ.at<float>(0, 1), 12.25f);
  EXPECT_NEAR(truth->occ.at<float>(0, 2), 255.996, 1e-3);

  // An 8-bit image is no KITTI truth: refused, not read at another scale.
  ASSERT_TRUE(cv::imwrite((split / "disp_occ_0/000000_10.png").string(), cv::Mat(1, 3, CV_8UC1, cv::Scalar(9))));
  truth = readKittiTruth(frames->front());
  ASSERT_FALSE(truth);
  EXPECT_NE(truth.error().message.find("is not a 16-bit grey image"), std::string::npos);
}

}  // namespace
}  // namespace orbelt
