#pragma once
// A batch of pairs as a JSON manifest describes them, and the summary table
// of their runs: read and written the same way by `orbelt-cli batch` and by
// the Python module's orbelt.batch. The runs themselves are the caller's.
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
// name without dashes; true makes a flag. A "dataset" pair of a 2001-2005
// set takes the set's views, truth, scale, its nonocc mask (else all) and
// its label count unless "disparity-range" is given; one of a Middlebury
// 2014 set or of KITTI frames (with "frame": "000123") runs as
// `orbelt-cli --dataset`, scored by the benchmark's own measures.
#include <string>
#include <vector>

#include "platform/Expected.h"

namespace orbelt {

// One pair of a manifest, resolved to the command line of its run.
struct BatchPair {
  std::string name;               // unique, used for its output files
  std::vector<std::string> args;  // arguments of the main command, without the program name
  std::string mask;               // name of the mask scored ("nonocc", "all", a path, or "")
};

// The pairs of a manifest, each with the command line of its run; the runs
// are not started. `outFolder` is where each pair's <name>.pfm and
// <name>.json go. Fails with InvalidInput naming what is wrong (the pair by
// its position and name) when any part of the manifest cannot run, so a
// batch runs whole or not at all; IoFailure when it cannot be read.
Expected<std::vector<BatchPair>> readBatchManifest(const std::string& path, const std::string& outFolder);

// Every pair of the dataset folder `root` (listStereoDatasets: the 2014 and
// older sets and the KITTI frames at or below it), each run as
// `orbelt-cli --dataset` with `runOptions` (main-command options for every
// pair) and writing <name>.pfm and <name>.json into `outFolder`, a KITTI
// frame also <name>.png (16-bit, disparity x 256). With `submitMethod`, each
// 2014 set also writes disp0NAME.pfm and timeNAME.txt into
// `outFolder`/submission/, in folders that mirror the sets' below `root`.
// Fails with InvalidInput when the root holds no pair or one cannot run,
// when a run option names a file of its own or one the batch sets (the
// message names it), or when `submitMethod` is not a usable name.
Expected<std::vector<BatchPair>> readDatasetBatch(const std::string& root, const std::string& outFolder,
                                                  const std::vector<std::string>& runOptions,
                                                  const std::string& submitMethod);

// Which pairs one machine of several runs: pairs index, index + count, ...
struct BatchShard {
  int index = 0;  // 0-based
  int count = 1;
};

// "I/N" (1 <= I <= N) as a shard. Otherwise InvalidInput saying the form.
Expected<BatchShard> parseShard(const std::string& text);

// How one pair's run ended: its process's status (128 + signal when a
// signal ended it) and the run summary it wrote (<name>.json's text; read
// only when the status is 0, empty when there is none).
struct BatchOutcome {
  int status = -1;
  std::string runSummary;
};

// The summary table of a batch in the order of `pairs` (outcomes[i] belongs
// to pairs[i]): CSV with the columns
// pair,status,seconds,mask,evaluated,unknown,bad_0.5,bad_1,bad_2,bad_4,mean_abs_error,
// rms,A50,A90,A95,A99,D1,bad_3,bad_5,density
// or with `json` the same rows under "pairs" beside "manifest" and "shard".
// A pair scored by a benchmark has one row per region ("mask": nonocc and
// all for Middlebury 2014, noc and occ for KITTI) with that benchmark's
// measures; any other pair one row, its mask's score in the first eleven
// columns. Columns a pair's measures do not have stay empty, and so do the
// seconds and scores of a pair that failed.
std::string batchSummary(const std::vector<BatchPair>& pairs, const std::vector<BatchOutcome>& outcomes, bool json,
                         const std::string& manifestPath, const std::string& shard);

}  // namespace orbelt
