#include "cli/BatchCommand.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/ComputeCommand.h"
#include "cli/OutputPlan.h"
#include "cli/ParseArguments.h"
#include "eval/MiddleburySet.h"
#include "io/AtomicFile.h"

namespace orbelt {

namespace fs = std::filesystem;

namespace {

// Options the batch sets itself for every pair.
const std::set<std::string> kReservedOptions = {"left", "right",  "json",   "ground-truth", "gt-scale", "mask",
                                                "pfm",  "no-map", "output", "quiet",        "help"};

bool safeName(const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name == "summary") return false;
  return std::all_of(name.begin(), name.end(),
                     [](unsigned char c) { return std::isalnum(c) || c == '.' || c == '_' || c == '-'; });
}

std::string optionValue(const nlohmann::json& value, std::string& error) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_number_integer()) return std::to_string(value.get<long long>());
  if (value.is_number()) {
    std::ostringstream text;
    text.precision(9);
    text << value.get<double>();
    return text.str();
  }
  error = "must be a string, a number or true";
  return {};
}

// Appends --key value (or --key for true) for every option of `options`.
std::string appendOptions(const nlohmann::json& options, std::vector<std::string>& args) {
  if (!options.is_object()) return "\"options\" must be an object of option names and values";
  for (const auto& [key, value] : options.items()) {
    if (kReservedOptions.count(key)) return "the option \"" + key + "\" is set by the batch itself";
    if (value.is_boolean()) {
      if (value.get<bool>()) args.push_back("--" + key);
      continue;
    }
    std::string error;
    const std::string text = optionValue(value, error);
    if (!error.empty()) return "the option \"" + key + "\" " + error;
    args.push_back("--" + key);
    args.push_back(text);
  }
  return {};
}

std::string resolve(const fs::path& base, const std::string& path) {
  return fs::path(path).is_absolute() ? path : (base / path).lexically_normal().string();
}

}  // namespace

std::string parseShard(const std::string& text, int& index, int& count) {
  const auto slash = text.find('/');
  try {
    if (slash == std::string::npos) throw std::invalid_argument("no slash");
    std::size_t used = 0;
    const int i = std::stoi(text.substr(0, slash), &used);
    if (used != slash) throw std::invalid_argument("trailing");
    const std::string rest = text.substr(slash + 1);
    const int n = std::stoi(rest, &used);
    if (used != rest.size()) throw std::invalid_argument("trailing");
    if (n < 1 || i < 1 || i > n) throw std::out_of_range("range");
    index = i - 1;
    count = n;
    return {};
  } catch (const std::exception&) {
    return "--shard \"" + text + "\" must be I/N with 1 <= I <= N, e.g. 2/4";
  }
}

std::string readBatchManifest(const std::string& path, const std::string& outFolder, std::vector<BatchPair>& result) {
  // Filled locally and handed over only when the whole manifest is sound.
  result.clear();
  std::vector<BatchPair> pairs;
  std::ifstream in(path);
  if (!in) return "Cannot read the manifest \"" + path + "\"";
  nlohmann::json manifest;
  try {
    manifest = nlohmann::json::parse(in);
  } catch (const nlohmann::json::parse_error& e) {
    return "The manifest \"" + path + "\" is not valid JSON: " + e.what();
  }
  if (!manifest.is_object() || !manifest.contains("pairs") || !manifest["pairs"].is_array()) {
    return "The manifest \"" + path + "\" needs a \"pairs\" array";
  }
  const fs::path base = fs::path(path).parent_path();
  std::vector<std::string> defaults;
  if (manifest.contains("defaults")) {
    if (std::string bad = appendOptions(manifest["defaults"], defaults); !bad.empty()) {
      return "The manifest's \"defaults\": " + bad;
    }
  }
  std::set<std::string> names;
  int position = 0;
  for (const nlohmann::json& entry : manifest["pairs"]) {
    ++position;
    std::string where = "Pair " + std::to_string(position);
    if (!entry.is_object()) return where + " of the manifest is not an object";
    const auto text = [&](const char* key) {
      return entry.contains(key) && entry[key].is_string() ? entry[key].get<std::string>() : std::string();
    };
    for (const char* key : {"name", "dataset", "left", "right", "truth", "mask"}) {
      if (entry.contains(key) && !entry[key].is_string()) return where + ": \"" + key + "\" must be a string";
    }
    BatchPair pair;
    std::string left = text("left"), right = text("right"), truth = text("truth"), mask = text("mask");
    double scale = 1.0;
    int labels = 0;
    if (entry.contains("scale")) {
      if (!entry["scale"].is_number() || !(entry["scale"].get<double>() > 0)) {
        return where + ": \"scale\" must be a positive number";
      }
      scale = entry["scale"].get<double>();
    }
    if (!text("dataset").empty()) {
      const Expected<MiddleburySet> found = findMiddleburySet(resolve(base, text("dataset")));
      if (!found) return where + ": " + found.error().message;
      const MiddleburySet& set = *found;
      pair.name = set.name;
      if (left.empty()) left = set.left;
      if (right.empty()) right = set.right;
      if (truth.empty()) {
        truth = set.truth;
        if (!entry.contains("scale")) scale = set.truthScale;
      }
      if (mask.empty()) {
        mask = !set.nonocc.empty() ? set.nonocc : set.all;
        pair.mask = !set.nonocc.empty() ? "nonocc" : !set.all.empty() ? "all" : "";
      }
      labels = set.labelCount;
    }
    if (!text("name").empty()) pair.name = text("name");
    if (pair.name.empty()) pair.name = "pair" + std::to_string(position);
    where += " (\"" + pair.name + "\")";
    if (!safeName(pair.name)) return where + ": the name may hold only letters, digits, '.', '_' and '-'";
    if (!names.insert(pair.name).second) return where + ": the name is used twice";
    if (left.empty() || right.empty()) return where + ": give \"left\" and \"right\", or a \"dataset\"";

    pair.args = {resolve(base, left), resolve(base, right), "--no-map", "-q"};
    pair.args.insert(pair.args.end(), defaults.begin(), defaults.end());
    if (labels > 0) {
      const bool rangeGiven =
          (entry.contains("options") && entry["options"].is_object() && entry["options"].contains("disparity-range")) ||
          std::find(defaults.begin(), defaults.end(), "--disparity-range") != defaults.end();
      if (!rangeGiven) {
        pair.args.push_back("--disparity-range");
        pair.args.push_back(std::to_string(labels));
      }
    }
    if (entry.contains("options")) {
      if (std::string bad = appendOptions(entry["options"], pair.args); !bad.empty()) return where + ": " + bad;
    }
    if (!truth.empty()) {
      std::ostringstream scaleText;
      scaleText.precision(9);
      scaleText << scale;
      pair.args.insert(pair.args.end(), {"--ground-truth", resolve(base, truth), "--gt-scale", scaleText.str()});
      if (!mask.empty()) {
        pair.args.insert(pair.args.end(), {"--mask", resolve(base, mask)});
        if (pair.mask.empty()) pair.mask = resolve(base, mask);
      }
    }
    const std::string stem = (fs::path(outFolder) / pair.name).string();
    pair.args.insert(pair.args.end(), {"--pfm", stem + ".pfm", "--json", stem + ".json"});
    pairs.push_back(std::move(pair));
  }
  if (pairs.empty()) return "The manifest \"" + path + "\" lists no pairs";
  result = std::move(pairs);
  return {};
}

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

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

}  // namespace

std::string batchSummary(const std::vector<BatchPair>& pairs, const std::vector<BatchOutcome>& outcomes, bool json,
                         const std::string& manifestPath, const std::string& shard) {
  nlohmann::json rows = nlohmann::json::array();
  std::string csv = "pair,status,seconds,mask,evaluated,unknown,bad_0.5,bad_1,bad_2,bad_4,mean_abs_error\n";
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    const int status = i < outcomes.size() ? outcomes[i].status : -1;
    nlohmann::json s;
    if (status == 0 && i < outcomes.size()) {
      try {
        s = nlohmann::json::parse(outcomes[i].runSummary);
      } catch (const nlohmann::json::exception&) {
      }
    }
    if (!s.is_object()) s = nlohmann::json::object();
    nlohmann::json row = {{"pair", pairs[i].name}, {"status", status}, {"mask", pairs[i].mask}};
    row["seconds"] = s.contains("total_seconds") ? s["total_seconds"] : nlohmann::json();
    for (const char* key : {"evaluated", "unknown", "bad_0.5", "bad_1", "bad_2", "bad_4", "mean_abs_error"}) {
      row[key] = s.contains("score") && s["score"].contains(key) ? s["score"][key] : nlohmann::json();
    }
    rows.push_back(row);
    const auto field = [&](const char* key) { return row[key].is_null() ? std::string() : row[key].dump(); };
    csv += csvField(pairs[i].name) + "," + std::to_string(status) + "," + field("seconds") + "," +
           csvField(pairs[i].mask) + "," + field("evaluated") + "," + field("unknown") + "," + field("bad_0.5") + "," +
           field("bad_1") + "," + field("bad_2") + "," + field("bad_4") + "," + field("mean_abs_error") + "\n";
  }
  if (!json) return csv;
  return nlohmann::json{{"manifest", manifestPath}, {"shard", shard}, {"pairs", rows}}.dump(2) + "\n";
}

int runBatchCommand(int argc, char** argv) {
  std::string manifestPath;
  std::string outFolder = ".";
  std::string summaryPath;
  std::string shard = "1/1";
  int jobs = 1;

  CLI::App app{
      "Runs every pair of a JSON manifest through orbelt-cli, one process per pair, and writes one summary\n"
      "table (pair, status, seconds, bad-pixel shares, mean error). See the README for the manifest format.",
      "orbelt-cli batch"};
  app.footer(
      "Exit status: 0 every pair ran, 1 a pair failed (see OUT/<name>.log), 2 usage or manifest error.\n"
      "Sharding: --shard I/N runs pairs I, I+N, I+2N, ... (1-based), so N machines split one manifest.");
  app.get_formatter()->column_width(30);
  app.add_option("manifest", manifestPath, "The manifest (.json)")->required();
  app.add_option("--out", outFolder, "Folder for each pair's .pfm, .json and .log (made when missing)")
      ->capture_default_str();
  app.add_option("--summary", summaryPath, "Summary table, .csv or .json (default OUT/summary.csv)");
  app.add_option("--jobs", jobs, "Pairs run at once; each gets cores/jobs threads unless its options say otherwise")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  app.add_option("--shard", shard, "Run only shard I of N: pairs I, I+N, ... of the manifest")->capture_default_str();
  if (const auto status = parseArguments(app, argc, argv)) return *status;
  const auto refuse = [](const std::string& message) {
    std::fprintf(stderr, "orbelt-cli batch: %s\n", message.c_str());
    return kExitUsage;
  };
  int shardIndex = 0, shardCount = 1;
  if (std::string bad = parseShard(shard, shardIndex, shardCount); !bad.empty()) return refuse(bad);
  std::error_code ec;
  // A new results folder is the usual case, so it is made rather than asked for.
  fs::create_directories(outFolder, ec);
  if (!fs::is_directory(outFolder)) {
    return refuse("cannot create the output folder \"" + outFolder + "\"" +
                  (ec ? ": " + ec.message() : std::string(": a file of that name is in the way")));
  }
  if (summaryPath.empty()) summaryPath = (fs::path(outFolder) / "summary.csv").string();
  const bool summaryJson = summaryPath.size() >= 5 && summaryPath.compare(summaryPath.size() - 5, 5, ".json") == 0;
  if (std::string bad = checkOutputPlan({{summaryPath, "summary table", {".csv", ".json"}, false}}); !bad.empty()) {
    return refuse(bad);
  }
  std::vector<BatchPair> all;
  if (std::string bad = readBatchManifest(manifestPath, outFolder, all); !bad.empty()) return refuse(bad);
  std::vector<BatchPair> pairs;
  for (std::size_t i = shardIndex; i < all.size(); i += shardCount) pairs.push_back(all[i]);

  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  for (BatchPair& pair : pairs) {
    if (jobs > 1 && std::find(pair.args.begin(), pair.args.end(), "--threads") == pair.args.end()) {
      pair.args.push_back("--threads");
      pair.args.push_back(std::to_string(std::max(1u, cores / static_cast<unsigned>(jobs))));
    }
  }

  const std::string program = fs::read_symlink("/proc/self/exe", ec).string();
  if (ec) return refuse("cannot find the orbelt-cli program itself");
  std::vector<BatchOutcome> outcomes(pairs.size());
  std::map<pid_t, std::size_t> running;
  std::size_t next = 0;
  while (next < pairs.size() || !running.empty()) {
    while (next < pairs.size() && running.size() < static_cast<std::size_t>(jobs)) {
      const std::string log = (fs::path(outFolder) / (pairs[next].name + ".log")).string();
      const pid_t pid = startChild(program, pairs[next].args, log);
      if (pid < 0) return refuse("cannot start a process for \"" + pairs[next].name + "\"");
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

  bool anyFailed = false;
  for (const BatchOutcome& outcome : outcomes) anyFailed |= outcome.status != 0;
  const std::string text = batchSummary(pairs, outcomes, summaryJson, manifestPath, shard);
  if (const Status written = writeFileAtomically(summaryPath, {{text.data(), text.size()}}); !written) {
    return refuse(written.error().message);
  }
  std::printf("wrote %s\n", summaryPath.c_str());
  return anyFailed ? kExitEngineFailure : kExitSuccess;
}

}  // namespace orbelt
