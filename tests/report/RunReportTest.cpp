// The shapes the front ends report in: a score written by scoreJson into a
// run summary is read back, figure for figure, by the batch summary, and the
// stage figures keep their names.
#include "report/RunReport.h"

#include <gtest/gtest.h>

#include "report/BatchManifest.h"

namespace orbelt {
namespace {

TEST(RunReport, TheBatchSummaryReadsBackEveryFigureOfAScore) {
  DisparityScore score;
  score.evaluated = 1234;
  score.invalid = 56;
  score.badOver05 = 40.5;
  score.badOver1 = 20.25;
  score.badOver2 = 10.125;
  score.badOver4 = 5.0625;
  score.meanError = 0.75;
  const nlohmann::json runSummary = {{"total_seconds", 3.5}, {"score", scoreJson(score)}};
  const std::string table =
      batchSummary({BatchPair{"teddy", {}, "nonocc"}}, {BatchOutcome{0, runSummary.dump()}}, false, "m.json", "1/1");
  EXPECT_EQ(table,
            "pair,status,seconds,mask,evaluated,unknown,bad_0.5,bad_1,bad_2,bad_4,mean_abs_error\n"
            "teddy,0,3.5,nonocc,1234,56,40.5,20.25,10.125,5.0625,0.75\n");
}

TEST(RunReport, StagesCarryTheirSecondsAndEnergiesUnderTheirNames) {
  DisparityResult view;
  view.costSeconds = 1.5;
  view.flattenSeconds = 0.25;
  view.optimizeSeconds = 2.0;
  view.passSeconds = {1.0, 1.0};
  view.passEnergies = {10.0, 9.0};
  const nlohmann::json stages = stageJson(view);
  EXPECT_EQ(stages, (nlohmann::json{{"cost_volume", 1.5},
                                    {"flatten", 0.25},
                                    {"optimize", 2.0},
                                    {"passes", {1.0, 1.0}},
                                    {"energies", {10.0, 9.0}}}));
  nlohmann::json seconds = stages;
  seconds.erase("energies");
  EXPECT_EQ(stageSeconds(view), seconds);
}

}  // namespace
}  // namespace orbelt
