// The benchmarks' calibration files: what is read from them, and that every
// file that cannot be used is refused with the file, the key and the fault.
#include "io/CalibrationFiles.h"

#include <gtest/gtest.h>

#include "tests/io/ErrorText.h"
#include "tests/pipeline/TempFolder.h"

namespace orbelt {
namespace {

using testing::errorText;
using testing::TempFolder;
using testing::writeText;

// A 2014 calib.txt as the sets ship it (Windows line ends included).
const std::string kMiddlebury =
    "cam0=[3997.684 0 1176.728; 0 3997.684 1011.728; 0 0 1]\r\n"
    "cam1=[3997.684 0 1307.839; 0 3997.684 1011.728; 0 0 1]\r\n"
    "doffs=131.111\r\nbaseline=193.001\r\nwidth=2964\r\nheight=1988\r\nndisp=280\r\nisint=0\r\n"
    "vmin=31\r\nvmax=257\r\ndyavg=0.918\r\ndymax=1.516\r\n";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  text.replace(text.find(from), from.size(), to);
  return text;
}

TEST(MiddleburyCalibration, ReadsTheCameraTheLabelCountAndTheBounds) {
  TempFolder folder;
  writeText(folder.file("calib.txt"), kMiddlebury);
  const Expected<MiddleburyCalibration> read = readMiddleburyCalibration(folder.file("calib.txt"));
  ASSERT_EQ(errorText(read), "");
  EXPECT_EQ(read->camera.focal, 3997.684);
  EXPECT_EQ(read->camera.cx, 1176.728);
  EXPECT_EQ(read->camera.cy, 1011.728);
  EXPECT_EQ(read->camera.baseline, 193.001);
  EXPECT_EQ(read->camera.doffs, 131.111);
  EXPECT_EQ(read->labelCount, 280);
  EXPECT_EQ(read->width, 2964);
  EXPECT_EQ(read->height, 1988);
  EXPECT_EQ(read->vmin, 31.0);
  EXPECT_EQ(read->vmax, 257.0);

  // The optional keys may be missing.
  std::string bare = kMiddlebury.substr(0, kMiddlebury.find("width="));
  writeText(folder.file("bare.txt"), bare + "ndisp=64\n");
  const Expected<MiddleburyCalibration> minimal = readMiddleburyCalibration(folder.file("bare.txt"));
  ASSERT_EQ(errorText(minimal), "");
  EXPECT_EQ(minimal->width, 0);
  EXPECT_FALSE(minimal->vmin.has_value());
}

TEST(MiddleburyCalibration, RefusesWhatItCannotUseNamingTheFileAndTheKey) {
  TempFolder folder;
  const std::string path = folder.file("calib.txt");
  const std::string prefix = "Cannot read the calibration \"" + path + "\": ";
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {replaced(kMiddlebury, "ndisp=280\r\n", ""), "the key \"ndisp\" is missing"},
      {replaced(kMiddlebury, "baseline=193.001", "base=193.001"), "the key \"baseline\" is missing"},
      {replaced(kMiddlebury, "cam0=", "camera0="), "the key \"cam0\" is missing"},
      {replaced(kMiddlebury, "doffs=131.111", "doffs=131.1.1"), "the key \"doffs\" holds \"131.1.1\", not a number"},
      {replaced(kMiddlebury, "baseline=193.001", "baseline="), "the key \"baseline\" has no value"},
      {replaced(kMiddlebury, "baseline=193.001", "baseline=193 mm"),
       "the key \"baseline\" holds \"193 mm\", not a number"},
      {replaced(kMiddlebury, "ndisp=280", "ndisp=0"), "ndisp must be a whole number of at least 1, not 0"},
      {replaced(kMiddlebury, "ndisp=280", "ndisp=-16"), "ndisp must be a whole number of at least 1, not -16"},
      {replaced(kMiddlebury, "ndisp=280", "ndisp=12.5"), "ndisp must be a whole number of at least 1, not 12.5"},
      {replaced(kMiddlebury, "ndisp=280", "ndisp=nan"), "the key \"ndisp\" holds \"nan\", not a number"},
      {replaced(kMiddlebury, "width=2964", "width=0"), "width must be a whole number of at least 1, not 0"},
      {replaced(kMiddlebury, "vmax=257", "vmax=high"), "the key \"vmax\" holds \"high\", not a number"},
      {replaced(kMiddlebury, " 0 0 1]\r\ncam1", " 0 1]\r\ncam1"),
       "the key \"cam0\" must be a 3 x 3 matrix (9 numbers), but holds 8"},
      {replaced(kMiddlebury, "baseline=193.001", "baseline=-193.001"),
       "the calibration's baseline must be a positive number, not -193.001"},
      {replaced(kMiddlebury, "cam0=[3997.684", "cam0=[0"),
       "the calibration's focal length (focal) must be a positive number, not 0"},
      {"cam0=[1 0 0; 0 1 0; 0 0 1]\nbaseline 10\n", "line 2 is not \"key= value\""},
  };
  for (const auto& c : cases) {
    writeText(path, c.text);
    const Expected<MiddleburyCalibration> read = readMiddleburyCalibration(path);
    ASSERT_FALSE(read) << c.message;
    EXPECT_EQ(read.error().kind, ErrorKind::InvalidInput);
    EXPECT_EQ(read.error().message, prefix + c.message);
  }
  const Expected<MiddleburyCalibration> missing = readMiddleburyCalibration(folder.file("none.txt"));
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().kind, ErrorKind::IoFailure);
  EXPECT_NE(missing.error().message.find("none.txt\": file missing"), std::string::npos);
}

// KITTI's rectified projections: camera 2 is 6 cm right of camera 0 and the
// right camera 3 about 48 cm left of it (f * tx in the last column).
const std::string kP2 =
    "7.215377e+02 0.000000e+00 6.095593e+02 4.485728e+01 0.000000e+00 7.215377e+02 1.728540e+02 2.163791e-01 "
    "0.000000e+00 0.000000e+00 1.000000e+00 2.745884e-03";
const std::string kP3 =
    "7.215377e+02 0.000000e+00 6.095593e+02 -3.395242e+02 0.000000e+00 7.215377e+02 1.728540e+02 2.199936e+00 "
    "0.000000e+00 0.000000e+00 1.000000e+00 2.729905e-03";
const std::string kCamToCamHead =
    "calib_time: 09-Jan-2012 13:57:47\ncorner_dist: 9.950000e-02\nS_rect_02: 1.242000e+03 3.750000e+02\n";
const std::string kCamToCam = kCamToCamHead + "P_rect_02: " + kP2 + "\nP_rect_03: " + kP3 + "\n";

TEST(KittiCalibration, TakesTheBaselineFromTheTwoColourCamerasProjections) {
  TempFolder folder;
  const struct {
    const char* name;
    std::string text;
  } layouts[] = {
      {"calib_cam_to_cam.txt", kCamToCam},
      // The 2012 stereo set's per-frame file: P0 .. P3 of the four cameras.
      {"000000.txt", "P0: 1 0 0 0 0 1 0 0 0 0 1 0\nP1: 1 0 0 -1 0 1 0 0 0 0 1 0\nP2: " + kP2 + "\nP3: " + kP3 + "\n"},
  };
  for (const auto& layout : layouts) {
    writeText(folder.file(layout.name), layout.text);
    const Expected<CameraCalibration> read = readKittiCalibration(folder.file(layout.name));
    ASSERT_EQ(errorText(read), "") << layout.name;
    EXPECT_EQ(read->focal, 721.5377);
    EXPECT_EQ(read->cx, 609.5593);
    EXPECT_EQ(read->cy, 172.854);
    EXPECT_NEAR(read->baseline, (44.85728 + 339.5242) / 721.5377, 1e-12);  // 0.5327 m
    EXPECT_EQ(read->doffs, 0.0);
  }
}

TEST(KittiCalibration, RefusesWhatItCannotUseNamingTheFileAndTheKey) {
  TempFolder folder;
  const std::string path = folder.file("calib_cam_to_cam.txt");
  const std::string prefix = "Cannot read the calibration \"" + path + "\": ";
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {replaced(kCamToCam, "P_rect_03", "P_rect_01"),
       "it has neither the keys \"P_rect_02\" and \"P_rect_03\" nor \"P2\" and \"P3\""},
      {replaced(kCamToCam, "-3.395242e+02", "-3.395242e+02 7"),
       "the key \"P_rect_03\" must be a 3 x 4 matrix (12 numbers), but holds 13"},
      {replaced(kCamToCam, "4.485728e+01", "4.48.5728e+01"), "the key \"P_rect_02\" holds \"" +
                                                                 replaced(kP2, "4.485728e+01", "4.48.5728e+01") +
                                                                 "\", not a matrix of numbers"},
      {replaced(kCamToCam, "P_rect_03: 7.215377e+02", "P_rect_03: 7.000000e+02"),
       "the left and right projections differ in focal length or principal row: not a rectified pair"},
      // Left and right swapped: the baseline comes out negative.
      {kCamToCamHead + "P_rect_02: " + kP3 + "\nP_rect_03: " + kP2 + "\n",
       "the calibration's baseline must be a positive number, not -0.5327"},
  };
  for (const auto& c : cases) {
    writeText(path, c.text);
    const Expected<CameraCalibration> read = readKittiCalibration(path);
    ASSERT_FALSE(read) << c.message;
    EXPECT_EQ(read.error().kind, ErrorKind::InvalidInput);
    // Starts with: the negative baseline's digits run on.
    EXPECT_EQ(read.error().message.rfind(prefix + c.message, 0), 0u) << read.error().message;
  }
}

// A file handed over by a user is read by the kind its first line shows: a
// KITTI file's values hold colons too ("calib_time: 09-Jan-2012 13:57:47"),
// a calib.txt's never.
TEST(CalibrationFile, IsReadAsTheKindItsFirstLineShows) {
  TempFolder folder;
  writeText(folder.file("calib.txt"), "\n" + kMiddlebury);
  writeText(folder.file("cam_to_cam.txt"), kCamToCam);
  writeText(folder.file("notes.txt"), "focal 1000\nbaseline 160\n");
  writeText(folder.file("no-key.txt"), replaced(kMiddlebury, "baseline=193.001", "width2=7"));

  const Expected<CalibrationFile> middlebury = readCalibrationFile(folder.file("calib.txt"));
  ASSERT_EQ(errorText(middlebury), "");
  ASSERT_TRUE(middlebury->middlebury);
  EXPECT_EQ(middlebury->middlebury->labelCount, 280);
  EXPECT_EQ(middlebury->camera.doffs, 131.111);
  const Expected<CalibrationFile> kitti = readCalibrationFile(folder.file("cam_to_cam.txt"));
  ASSERT_EQ(errorText(kitti), "");
  EXPECT_FALSE(kitti->middlebury);
  EXPECT_EQ(kitti->camera.focal, 721.5377);

  const struct {
    const char* file;
    ErrorKind kind;
    const char* message;
  } refused[] = {
      {"notes.txt", ErrorKind::InvalidInput, "neither a Middlebury calib.txt (key=value lines) nor a KITTI"},
      {"no-key.txt", ErrorKind::InvalidInput, "the key \"baseline\" is missing"},
      {"absent.txt", ErrorKind::IoFailure, "file missing or unreadable"},
  };
  for (const auto& c : refused) {
    const Expected<CalibrationFile> read = readCalibrationFile(folder.file(c.file));
    ASSERT_FALSE(read) << c.file;
    EXPECT_EQ(read.error().kind, c.kind) << c.file;
    EXPECT_NE(read.error().message.find(c.message), std::string::npos) << read.error().message;
    EXPECT_NE(read.error().message.find(folder.file(c.file)), std::string::npos) << read.error().message;
  }
}

}  // namespace
}  // namespace orbelt
