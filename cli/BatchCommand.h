#pragma once
// orbelt-cli batch: runs the pairs of a JSON manifest, each in its own
// orbelt-cli process (so one pair's failure cannot end the others), and
// writes one summary table (CSV or JSON) of seconds and bad-pixel shares.
//
// Manifest (paths relative to the manifest's folder):
//   {
//     "defaults": {"seed": 1},                         // options for every pair
//     "pairs": [
//       {"name": "teddy", "dataset": "middlebury2003/teddy"},
//       {"name": "mine", "left": "l.png", "right": "r.png", "truth": "gt.pfm",
//        "scale": 1, "mask": "nonocc.png", "options": {"disparity-range": 40}}
//     ]
//   }
// "options" and "defaults" hold any option of the main command by its long
// name without dashes; true makes a flag. A "dataset" pair takes the set's
// views, truth, scale, its nonocc mask (else all) and its label count unless
// "disparity-range" is given. Exit status: 0 every pair ran, 1 a pair failed
// (its log says why), 2 a usage or manifest error (nothing run).
#include <string>
#include <vector>

namespace orbelt {

// One pair of a manifest, resolved to the command line of its run.
struct BatchPair {
  std::string name;               // unique, used for its output files
  std::vector<std::string> args;  // arguments of the main command, without the program name
  std::string mask;               // name of the mask scored ("nonocc", "all", a path, or "")
};

// Reads and checks a manifest; the runs are not started. `outFolder` is
// where each pair's <name>.pfm and <name>.json go. Empty on success,
// otherwise what is wrong (naming the pair by its position and name).
std::string readBatchManifest(const std::string& path, const std::string& outFolder, std::vector<BatchPair>& pairs);

// Parses "I/N" (1 <= I <= N) into `index` (0-based) and `count`. Empty on
// success, otherwise why not.
std::string parseShard(const std::string& text, int& index, int& count);

// How one pair's run ended: its process's status (128 + signal when a
// signal ended it) and the run summary it wrote (<name>.json's text; read
// only when the status is 0, empty when there is none).
struct BatchOutcome {
  int status = -1;
  std::string runSummary;
};

// The summary table of a batch, one row per pair in the order of `pairs`
// (outcomes[i] belongs to pairs[i]): CSV with the columns
// pair,status,seconds,mask,evaluated,unknown,bad_0.5,bad_1,bad_2,bad_4,mean_abs_error
// (seconds and scores empty for a pair that failed), or with `json` the same
// rows under "pairs" beside "manifest" and "shard".
std::string batchSummary(const std::vector<BatchPair>& pairs, const std::vector<BatchOutcome>& outcomes, bool json,
                         const std::string& manifestPath, const std::string& shard);

int runBatchCommand(int argc, char** argv);

}  // namespace orbelt
