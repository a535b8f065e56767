#include "cli/BatchCommand.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

#include <CLI/CLI.hpp>

#include "cli/ExitStatus.h"
#include "cli/OutputPlan.h"
#include "cli/ParseArguments.h"
#include "io/AtomicFile.h"
#include "report/BatchManifest.h"

namespace orbelt {

namespace fs = std::filesystem;

namespace {

// Starts orbelt-cli on `args` with stdout and stderr into `logPath`.
pid_t startChild(const std::string& program, const std::vector<std::string>& args, const std::string& logPath) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (log >= 0) {
      ::dup2(log, STDOUT_FILENO);
      ::dup2(log, STDERR_FILENO);
    }
    const int null = ::open("/dev/null", O_RDONLY);
    if (null >= 0) ::dup2(null, STDIN_FILENO);
    ::execv(program.c_str(), argv.data());
    std::fprintf(stderr, "cannot start %s\n", program.c_str());
    ::_exit(kExitUsage);
  }
  return pid;
}

// What the batch command was asked.
struct BatchWords {
  std::string manifestPath;
  std::string datasetRoot;
  std::string submitMethod;
  std::vector<std::string> runOptions;  // after "--": main-command options for every pair of a dataset
  std::string outFolder = ".";
  std::string summaryPath;
  std::string shard = "1/1";
  int jobs = 1;
};

void declareBatchOptions(CLI::App& app, BatchWords& words) {
  app.footer(
      "With --dataset ROOT every Middlebury 2014 and 2001-2005 set and every KITTI frame at or below ROOT\n"
      "runs as 'orbelt-cli --dataset' (ndisp labels for a 2014 set, 192 for KITTI), with the main\n"
      "command's options given after '--' (e.g. -- --seed 1 --subpixel); a KITTI frame's map is also\n"
      "written as OUT/<name>.png (16-bit, disparity x 256). --submit NAME makes OUT/submission/, a tree\n"
      "that mirrors the 2014 sets below ROOT with disp0NAME.pfm and timeNAME.txt in each: zip it as it is.\n"
      "The summary has one row per benchmark region (2014: nonocc, all; KITTI: noc, occ).\n"
      "Exit status: 0 every pair ran, 1 a pair failed (see OUT/<name>.log), 2 usage or manifest error.\n"
      "Sharding: --shard I/N runs pairs I, I+N, I+2N, ... (1-based), so N machines split one manifest.");
  app.get_formatter()->column_width(30);
  app.add_option("manifest", words.manifestPath, "The manifest (.json); or give --dataset");
  app.add_option("--dataset", words.datasetRoot, "Run every set or frame of this dataset folder instead of a manifest")
      ->type_name("ROOT");
  app.add_option("--submit", words.submitMethod,
                 "With --dataset: also write the Middlebury 2014 submission of method NAME into OUT/submission/")
      ->type_name("NAME");
  app.add_option("--out", words.outFolder, "Folder for each pair's .pfm, .json and .log (made when missing)")
      ->capture_default_str();
  app.add_option("--summary", words.summaryPath, "Summary table, .csv or .json (default OUT/summary.csv)");
  app.add_option("--jobs", words.jobs,
                 "Pairs run at once; each gets cores/jobs threads unless its options say otherwise")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  app.add_option("--shard", words.shard, "Run only shard I of N: pairs I, I+N, ... of the manifest")
      ->capture_default_str();
}

// The pairs of this shard, each with a share of the cores when several run
// at once and its options do not say otherwise.
Expected<std::vector<BatchPair>> pairsToRun(const BatchWords& words) {
  Expected<BatchShard> shard = parseShard(words.shard);
  if (!shard) return std::move(shard).error();
  if (words.manifestPath.empty() == words.datasetRoot.empty()) {
    return invalidInput("give either a manifest or --dataset ROOT");
  }
  if (words.datasetRoot.empty() && !words.submitMethod.empty()) return invalidInput("--submit goes with --dataset");
  if (words.datasetRoot.empty() && !words.runOptions.empty()) {
    return invalidInput("options after '--' go with --dataset; a manifest gives its own in \"defaults\"");
  }
  Expected<std::vector<BatchPair>> all =
      words.datasetRoot.empty()
          ? readBatchManifest(words.manifestPath, words.outFolder)
          : readDatasetBatch(words.datasetRoot, words.outFolder, words.runOptions, words.submitMethod);
  if (!all) return std::move(all).error();
  std::vector<BatchPair> pairs;
  for (std::size_t i = shard->index; i < all->size(); i += shard->count) pairs.push_back((*all)[i]);
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  for (BatchPair& pair : pairs) {
    if (words.jobs > 1 && std::find(pair.args.begin(), pair.args.end(), "--threads") == pair.args.end()) {
      pair.args.push_back("--threads");
      pair.args.push_back(std::to_string(std::max(1u, cores / static_cast<unsigned>(words.jobs))));
    }
  }
  return pairs;
}

// Runs `pairs`, `jobs` at once, each in its own orbelt-cli process with its
// log in the output folder. How each ended, in the order of `pairs`.
Expected<std::vector<BatchOutcome>> runPairs(const std::vector<BatchPair>& pairs, const std::string& outFolder,
                                             int jobs) {
  std::error_code ec;
  const std::string program = fs::read_symlink("/proc/self/exe", ec).string();
  if (ec) return ioFailure("cannot find the orbelt-cli program itself");
  std::vector<BatchOutcome> outcomes(pairs.size());
  std::map<pid_t, std::size_t> running;
  std::size_t next = 0;
  while (next < pairs.size() || !running.empty()) {
    while (next < pairs.size() && running.size() < static_cast<std::size_t>(jobs)) {
      const std::string log = (fs::path(outFolder) / (pairs[next].name + ".log")).string();
      const pid_t pid = startChild(program, pairs[next].args, log);
      if (pid < 0) return ioFailure("cannot start a process for \"" + pairs[next].name + "\"");
      std::fprintf(stderr, "started %s\n", pairs[next].name.c_str());
      running[pid] = next++;
    }
    int raw = 0;
    const pid_t done = ::waitpid(-1, &raw, 0);
    if (done < 0) break;
    const auto it = running.find(done);
    if (it == running.end()) continue;
    BatchOutcome& outcome = outcomes[it->second];
    const BatchPair& pair = pairs[it->second];
    running.erase(it);
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    if (outcome.status == 0) {
      std::ifstream summary((fs::path(outFolder) / (pair.name + ".json")).string());
      outcome.runSummary.assign(std::istreambuf_iterator<char>(summary), std::istreambuf_iterator<char>());
    }
    std::fprintf(stderr, "%s %s (status %d)\n", outcome.status == 0 ? "finished" : "FAILED", pair.name.c_str(),
                 outcome.status);
  }
  return outcomes;
}

}  // namespace

int runBatchCommand(int argc, char** argv) {
  CLI::App app{
      "Runs every pair of a JSON manifest, or of a dataset folder, through orbelt-cli, one process per\n"
      "pair, and writes one summary table (pair, status, seconds, the measures of each pair's score).\n"
      "See the README for the manifest format.",
      "orbelt-cli batch"};
  BatchWords words;
  declareBatchOptions(app, words);
  // What follows "--" is for the runs, not for the batch.
  int own = 0;
  while (own < argc && std::strcmp(argv[own], "--") != 0) ++own;
  words.runOptions.assign(argv + std::min(own + 1, argc), argv + argc);
  if (const auto status = parseArguments(app, own, argv)) return *status;
  const auto refuse = [](const std::string& message) {
    std::fprintf(stderr, "orbelt-cli batch: %s\n", message.c_str());
    return kExitUsage;
  };
  if (Expected<BatchShard> shard = parseShard(words.shard); !shard) return refuse(shard.error().message);
  std::error_code ec;
  // A new results folder is the usual case, so it is made rather than asked for.
  fs::create_directories(words.outFolder, ec);
  if (!fs::is_directory(words.outFolder)) {
    return refuse("cannot create the output folder \"" + words.outFolder + "\"" +
                  (ec ? ": " + ec.message() : std::string(": a file of that name is in the way")));
  }
  std::string summaryPath = words.summaryPath;
  if (summaryPath.empty()) summaryPath = (fs::path(words.outFolder) / "summary.csv").string();
  const bool summaryJson = summaryPath.size() >= 5 && summaryPath.compare(summaryPath.size() - 5, 5, ".json") == 0;
  if (Status bad = checkOutputPlan({{summaryPath, "summary table", {".csv", ".json"}, false}}); !bad) {
    return refuse(bad.error().message);
  }
  Expected<std::vector<BatchPair>> pairs = pairsToRun(words);
  if (!pairs) return refuse(pairs.error().message);
  Expected<std::vector<BatchOutcome>> outcomes = runPairs(*pairs, words.outFolder, words.jobs);
  if (!outcomes) return refuse(outcomes.error().message);

  bool anyFailed = false;
  for (const BatchOutcome& outcome : *outcomes) anyFailed |= outcome.status != 0;
  const std::string source = words.manifestPath.empty() ? words.datasetRoot : words.manifestPath;
  const std::string text = batchSummary(*pairs, *outcomes, summaryJson, source, words.shard);
  if (const Status written = writeFileAtomically(summaryPath, {{text.data(), text.size()}}); !written) {
    return refuse(written.error().message);
  }
  std::printf("wrote %s\n", summaryPath.c_str());
  return anyFailed ? kExitEngineFailure : kExitSuccess;
}

}  // namespace orbelt
