// The refinement choices of a run: how StereoOptions hands them to the
// post-processing, and which combinations its check refuses before any work.
#include "pipeline/StereoOptions.h"

#include <string>

#include <gtest/gtest.h>

namespace orbelt {
namespace {

TEST(StereoRefinementOptions, TheRunsChoicesBecomeTheRefinementRecord) {
  StereoOptions options;
  EXPECT_FALSE(options.refinement().any());
  options.leftRightThreshold = 2.5;
  options.fill = true;
  options.medianRadius = 4;
  const RefinementOptions refinement = options.refinement();
  EXPECT_TRUE(refinement.lrCheck);
  EXPECT_EQ(refinement.lrThreshold, 2.5);
  EXPECT_TRUE(refinement.fill);
  EXPECT_EQ(refinement.medianRadius, 4);
}

TEST(StereoRefinementOptions, CheckRefusesWhatCannotRunInTheCallersWords) {
  struct Case {
    const char* what;
    std::optional<double> threshold;
    bool fill;
    std::optional<int> median;
    const char* message;  // empty: accepted
  };
  const Case cases[] = {
      {"check, fill and median", 1.0, true, 3, ""},
      {"median without the check", {}, false, 1, ""},
      {"fill without the check", {}, true, {}, "fill needs leftRightThreshold"},
      {"median radius 0", 1.0, true, 0, "medianRadius is 0; it must be a whole number of pixels from 1 to"},
      {"median radius above the bound", {}, false, kMaxMedianRadius + 1, "medianRadius is"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StereoOptions options;
    options.leftRightThreshold = c.threshold;
    options.fill = c.fill;
    options.medianRadius = c.median;
    const Status status = options.check();
    if (std::string(c.message).empty()) {
      EXPECT_TRUE(status.ok()) << status.error().message;
      continue;
    }
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error().kind, ErrorKind::InvalidInput);
    EXPECT_NE(status.error().message.find(c.message), std::string::npos) << status.error().message;
  }

  // A front end's own words reach the message.
  StereoOptions options;
  options.fill = true;
  StereoFieldNames names;
  names.leftRightThreshold = "lr_check";
  names.fill = "fill";
  const Status status = options.check(names);
  ASSERT_FALSE(status.ok());
  EXPECT_NE(status.error().message.find("fill needs lr_check"), std::string::npos) << status.error().message;

  // Only the costs: nothing that needs the labels may be asked for.
  StereoOptions costs;
  costs.costsOnly = true;
  EXPECT_TRUE(costs.check());
  costs.subpixel = true;
  EXPECT_FALSE(costs.check());
  costs.subpixel = false;
  costs.leftRightThreshold = 1.0;
  EXPECT_FALSE(costs.check());
}

}  // namespace
}  // namespace orbelt
