#pragma once
// orbelt-cli batch: runs the pairs of a JSON manifest (report/BatchManifest.h),
// each in its own orbelt-cli process (so one pair's failure cannot end the
// others), and writes one summary table (CSV or JSON) of seconds and
// bad-pixel shares. Exit status: 0 every pair ran, 1 a pair failed (its log
// says why), 2 a usage or manifest error (nothing run).
namespace orbelt {

int runBatchCommand(int argc, char** argv);

}  // namespace orbelt
