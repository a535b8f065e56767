// The shapes the front ends report in: a score written by scoreJson into a
// run summary is read back, figure for figure, by the batch summary, and the
// stage figures keep their names.
#include "report/RunReport.h"

#include <gtest/gtest.h>

#include <limits>

#include "report/BatchManifest.h"
#include "report/DatasetReport.h"

namespace orbelt {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

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
            "pair,status,seconds,mask,evaluated,unknown,bad_0.5,bad_1,bad_2,bad_4,mean_abs_error,"
            "rms,A50,A90,A95,A99,D1,bad_3,bad_5,density\n"
            "teddy,0,3.5,nonocc,1234,56,40.5,20.25,10.125,5.0625,0.75,,,,,,,,,\n");
}

// A benchmark's score comes back as one row per region in the benchmark's
// order, each with that benchmark's measures in their own columns: a 2014
// quantile among the unknown pixels as "inf" (JSON has no infinity), a
// KITTI frame's density on each of its rows, and only the regions whose
// truth was there. A failed pair keeps its one row.
TEST(RunReport, TheBatchSummaryGivesEachRegionOfABenchmarkScoreItsRow) {
  Middlebury2014Score middlebury;
  middlebury.hasNonocc = true;
  middlebury.nonocc = {100, 2, {30, 20, 10, 5}, 1.5, 2.5, {0.5, 4, 8, 16}};
  middlebury.all = {150, 30, {40, 30, 25, 20}, 2.0, 3.0, {0.5, 6, 12, kInf}};
  KittiScore kitti;
  kitti.density = 87.5;
  kitti.hasOcc = true;
  kitti.occ = {200, 0, 12.5, {15, 12.5, 11, 10}, 1.25};
  const auto summaryOf = [](const BenchmarkScore& score) {
    return nlohmann::json{{"total_seconds", 2}, {"benchmark", benchmarkJson(score)}}.dump();
  };
  const std::string table =
      batchSummary({BatchPair{"Adirondack", {}, ""}, BatchPair{"000000_10", {}, ""}, BatchPair{"broken", {}, ""}},
                   {BatchOutcome{0, summaryOf(middlebury)}, BatchOutcome{0, summaryOf(kitti)}, BatchOutcome{2, ""}},
                   false, "root", "1/1");
  EXPECT_EQ(table,
            "pair,status,seconds,mask,evaluated,unknown,bad_0.5,bad_1,bad_2,bad_4,mean_abs_error,"
            "rms,A50,A90,A95,A99,D1,bad_3,bad_5,density\n"
            "Adirondack,0,2,nonocc,100,2,30.0,20.0,10.0,5.0,1.5,2.5,0.5,4.0,8.0,16.0,,,,\n"
            "Adirondack,0,2,all,150,30,40.0,30.0,25.0,20.0,2.0,3.0,0.5,6.0,12.0,inf,,,,\n"
            "000000_10,0,2,occ,200,0,,,15.0,11.0,1.25,,,,,,12.5,12.5,10.0,87.5\n"
            "broken,2,,,,,,,,,,,,,,,,,,\n");
  EXPECT_TRUE(benchmarkJson(BenchmarkScore()).is_null());
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
