#include "report/BatchManifest.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "eval/Middlebury2014Submission.h"
#include "eval/MiddleburySet.h"
#include "eval/StereoDataset.h"

namespace orbelt {

namespace fs = std::filesystem;

namespace {

// Options the batch sets itself for every pair.
const std::set<std::string> kReservedOptions = {"left",   "right",  "json",  "ground-truth", "gt-scale", "mask", "pfm",
                                                "no-map", "output", "quiet", "help",         "dataset",  "frame"};

// Options that name a file of the run: given once for every pair of a
// dataset, each run would write over the others'.
const std::set<std::string> kPerPairFiles = {"png16", "color", "confidence", "save-cost",
                                             "depth", "ply",   "submit",     "submit-dir"};

bool safeName(const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name == "summary") return false;
  return std::all_of(name.begin(), name.end(),
                     [](unsigned char c) { return std::isalnum(c) || c == '.' || c == '_' || c == '-'; });
}

// An option's value as the command line takes it.
Expected<std::string> optionValue(const nlohmann::json& value) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_number_integer()) return std::to_string(value.get<long long>());
  if (value.is_number()) {
    std::ostringstream text;
    text.precision(9);
    text << value.get<double>();
    return text.str();
  }
  return invalidInput("must be a string, a number or true");
}

// Appends --key value (or --key for true) for every option of `options`.
Status appendOptions(const nlohmann::json& options, std::vector<std::string>& args) {
  if (!options.is_object()) return invalidInput("\"options\" must be an object of option names and values");
  for (const auto& [key, value] : options.items()) {
    if (kReservedOptions.count(key)) return invalidInput("the option \"" + key + "\" is set by the batch itself");
    if (value.is_boolean()) {
      if (value.get<bool>()) args.push_back("--" + key);
      continue;
    }
    const Expected<std::string> text = optionValue(value);
    if (!text) return invalidInput("the option \"" + key + "\" " + text.error().message);
    args.push_back("--" + key);
    args.push_back(*text);
  }
  return {};
}

std::string resolve(const fs::path& base, const std::string& path) {
  return fs::path(path).is_absolute() ? path : (base / path).lexically_normal().string();
}

std::string numberText(double value) {
  std::ostringstream text;
  text.precision(9);
  text << value;
  return text.str();
}

// What one entry names, before it becomes a command line.
struct PairFiles {
  std::string left, right, truth, mask;
  double scale = 1.0;
  int labels = 0;                        // an older set's label count; 0 otherwise
  std::vector<std::string> datasetArgs;  // a benchmark dataset's --dataset (and --frame); empty otherwise
  bool kitti = false;                    // the dataset is a KITTI frame: its map is also written as 16-bit PNG
};

// How a run is pointed at a dataset pair: its set folder, or its split
// folder and frame id.
std::vector<std::string> datasetArguments(const StereoDataset& dataset) {
  if (const auto* frame = std::get_if<KittiFrame>(&dataset.source)) {
    return {"--dataset", frame->split, "--frame", frame->id};
  }
  if (const auto* set = std::get_if<Middlebury2014Set>(&dataset.source)) return {"--dataset", set->folder};
  return {"--dataset", std::get<MiddleburySet>(dataset.source).folder};
}

// A 2014 set or KITTI frame named by a manifest entry: it brings its own
// views and truth, so the entry may not name others.
Expected<PairFiles> benchmarkPairFiles(const nlohmann::json& entry, const std::string& folder, BatchPair& pair) {
  for (const char* key : {"left", "right", "truth", "mask", "scale"}) {
    if (entry.contains(key)) {
      return invalidInput("\"" + std::string(key) + "\" does not go with the dataset \"" + folder +
                          "\": it brings its own views and truth");
    }
  }
  const std::string frame = entry.contains("frame") ? entry["frame"].get<std::string>() : std::string();
  Expected<StereoDataset> dataset = openStereoDataset(folder, frame, "\"frame\"");
  if (!dataset) return std::move(dataset).error();
  pair.name = dataset->name;
  PairFiles files;
  files.datasetArgs = datasetArguments(*dataset);
  files.kitti = std::holds_alternative<KittiFrame>(dataset->source);
  return files;
}

// The entry's files, a dataset's filling what the entry leaves out.
Expected<PairFiles> pairFiles(const nlohmann::json& entry, const fs::path& base, BatchPair& pair) {
  for (const char* key : {"name", "dataset", "frame", "left", "right", "truth", "mask"}) {
    if (entry.contains(key) && !entry[key].is_string())
      return invalidInput("\"" + std::string(key) + "\" must be a string");
  }
  const auto text = [&](const char* key) {
    return entry.contains(key) ? entry[key].get<std::string>() : std::string();
  };
  PairFiles files;
  files.left = text("left");
  files.right = text("right");
  files.truth = text("truth");
  files.mask = text("mask");
  if (entry.contains("scale")) {
    if (!entry["scale"].is_number() || !(entry["scale"].get<double>() > 0)) {
      return invalidInput("\"scale\" must be a positive number");
    }
    files.scale = entry["scale"].get<double>();
  }
  if (text("dataset").empty()) {
    if (entry.contains("frame")) return invalidInput("\"frame\" picks a KITTI frame of a \"dataset\"");
    return files;
  }
  const std::string folder = resolve(base, text("dataset"));
  if (isMiddlebury2014Set(folder) || holdsKittiFrames(folder)) return benchmarkPairFiles(entry, folder, pair);
  if (entry.contains("frame")) return invalidInput("\"frame\" picks a KITTI frame; \"" + folder + "\" holds none");
  Expected<MiddleburySet> found = findMiddleburySet(folder);
  if (!found) return std::move(found).error();
  const MiddleburySet& set = *found;
  pair.name = set.name;
  if (files.left.empty()) files.left = set.left;
  if (files.right.empty()) files.right = set.right;
  if (files.truth.empty()) {
    files.truth = set.truth;
    if (!entry.contains("scale")) files.scale = set.truthScale;
  }
  if (files.mask.empty()) {
    files.mask = !set.nonocc.empty() ? set.nonocc : set.all;
    pair.mask = !set.nonocc.empty() ? "nonocc" : !set.all.empty() ? "all" : "";
  }
  files.labels = set.labelCount;
  return files;
}

// The files every pair writes into `outFolder`: its map and run summary, a
// KITTI frame's map also as KITTI's 16-bit PNG.
void appendOutputs(const std::string& outFolder, const std::string& name, bool kitti, std::vector<std::string>& args) {
  const std::string stem = (fs::path(outFolder) / name).string();
  args.insert(args.end(), {"--pfm", stem + ".pfm", "--json", stem + ".json"});
  if (kitti) args.insert(args.end(), {"--png16", stem + ".png"});
}

// The command line of a pair's run: its views, the defaults, the dataset's
// label count unless given, its own options, then the files the batch sets.
Status pairArguments(const nlohmann::json& entry, const PairFiles& files, const std::vector<std::string>& defaults,
                     const fs::path& base, const std::string& outFolder, BatchPair& pair) {
  pair.args = files.datasetArgs;
  if (pair.args.empty()) pair.args = {resolve(base, files.left), resolve(base, files.right)};
  pair.args.insert(pair.args.end(), {"--no-map", "-q"});
  pair.args.insert(pair.args.end(), defaults.begin(), defaults.end());
  if (files.labels > 0) {
    const bool rangeGiven =
        (entry.contains("options") && entry["options"].is_object() && entry["options"].contains("disparity-range")) ||
        std::find(defaults.begin(), defaults.end(), "--disparity-range") != defaults.end();
    if (!rangeGiven) pair.args.insert(pair.args.end(), {"--disparity-range", std::to_string(files.labels)});
  }
  if (entry.contains("options")) {
    if (Status bad = appendOptions(entry["options"], pair.args); !bad) return bad;
  }
  if (!files.truth.empty()) {
    pair.args.insert(pair.args.end(),
                     {"--ground-truth", resolve(base, files.truth), "--gt-scale", numberText(files.scale)});
    if (!files.mask.empty()) {
      pair.args.insert(pair.args.end(), {"--mask", resolve(base, files.mask)});
      if (pair.mask.empty()) pair.mask = resolve(base, files.mask);
    }
  }
  appendOutputs(outFolder, pair.name, files.kitti, pair.args);
  return {};
}

// One entry of "pairs", at 1-based `position`, named uniquely among `names`.
Expected<BatchPair> readPair(const nlohmann::json& entry, int position, const fs::path& base,
                             const std::vector<std::string>& defaults, const std::string& outFolder,
                             std::set<std::string>& names) {
  std::string where = "Pair " + std::to_string(position);
  if (!entry.is_object()) return invalidInput(where + " of the manifest is not an object");
  BatchPair pair;
  Expected<PairFiles> files = pairFiles(entry, base, pair);
  if (!files) return invalidInput(where + ": " + files.error().message);
  if (entry.contains("name") && !entry["name"].get<std::string>().empty()) pair.name = entry["name"].get<std::string>();
  if (pair.name.empty()) pair.name = "pair" + std::to_string(position);
  where += " (\"" + pair.name + "\")";
  if (!safeName(pair.name)) return invalidInput(where + ": the name may hold only letters, digits, '.', '_' and '-'");
  if (!names.insert(pair.name).second) return invalidInput(where + ": the name is used twice");
  if (files->datasetArgs.empty() && (files->left.empty() || files->right.empty())) {
    return invalidInput(where + ": give \"left\" and \"right\", or a \"dataset\"");
  }
  if (Status bad = pairArguments(entry, *files, defaults, base, outFolder, pair); !bad) {
    return invalidInput(where + ": " + bad.error().message);
  }
  return pair;
}

// Run options for every pair of a dataset may not set what the batch sets,
// nor name a file of the run (one path for every pair).
Status checkRunOptions(const std::vector<std::string>& options) {
  for (const std::string& word : options) {
    if (word.size() < 2 || word[0] != '-' || std::isdigit(static_cast<unsigned char>(word[1])) || word[1] == '.') {
      continue;  // a value, negative numbers included
    }
    const std::string name = word[1] == '-' ? word.substr(2, word.find('=') - 2) : word.substr(1, 1);
    const std::string full = name == "o" ? "output" : name == "q" ? "quiet" : name == "h" ? "help" : name;
    if (kReservedOptions.count(full)) return invalidInput("the option \"" + word + "\" is set by the batch itself");
    if (kPerPairFiles.count(full)) {
      return invalidInput("the option \"" + word + "\" names a file, which every pair would write over; the batch " +
                          "writes each pair's files into its output folder");
    }
  }
  return {};
}

// A dataset pair's run: the dataset, the options, its files, and with a
// method its submission into submitRoot/<the set's folder below the root>.
BatchPair datasetPair(const StereoDataset& dataset, const std::string& root, const std::string& outFolder,
                      const std::vector<std::string>& runOptions, const std::string& submitMethod) {
  BatchPair pair{dataset.name, datasetArguments(dataset), {}};
  if (const auto* older = std::get_if<MiddleburySet>(&dataset.source)) {
    pair.mask = !older->nonocc.empty() ? "nonocc" : !older->all.empty() ? "all" : "";
  }
  pair.args.insert(pair.args.end(), {"--no-map", "-q"});
  pair.args.insert(pair.args.end(), runOptions.begin(), runOptions.end());
  appendOutputs(outFolder, pair.name, std::holds_alternative<KittiFrame>(dataset.source), pair.args);
  const auto* set = std::get_if<Middlebury2014Set>(&dataset.source);
  if (set && !submitMethod.empty()) {
    // The run makes its set's own folder inside the one named here.
    const fs::path below =
        fs::path(set->folder).lexically_normal().lexically_relative(fs::path(root).lexically_normal());
    const fs::path inside = (fs::path(outFolder) / "submission" / below.parent_path()).lexically_normal();
    pair.args.insert(pair.args.end(), {"--submit", submitMethod, "--submit-dir", inside.string()});
  }
  return pair;
}

// The summary's columns: the pair, how its run ended, then the measures.
constexpr const char* kSummaryColumns[] = {
    "pair",           "status", "seconds", "mask", "evaluated", "unknown", "bad_0.5", "bad_1", "bad_2", "bad_4",
    "mean_abs_error", "rms",    "A50",     "A90",  "A95",       "A99",     "D1",      "bad_3", "bad_5", "density"};
constexpr std::size_t kFirstMeasure = 4;  // "evaluated"

// A pair's rows: one per region of its benchmark score, else one with the
// score of its mask (empty measures when it has none).
std::vector<nlohmann::json> pairRows(const BatchPair& pair, int status, const nlohmann::json& summary) {
  const nlohmann::json row = {{"pair", pair.name},
                              {"status", status},
                              {"mask", pair.mask},
                              {"seconds", summary.value("total_seconds", nlohmann::json())}};
  std::vector<nlohmann::json> scores;
  if (summary.contains("benchmark") && summary["benchmark"].is_object()) {
    for (const nlohmann::json& region : summary["benchmark"].value("regions", nlohmann::json::array())) {
      scores.push_back(region);
    }
  } else if (summary.contains("score") && summary["score"].is_object()) {
    scores.push_back(summary["score"]);
  }
  if (scores.empty()) scores.push_back(nlohmann::json::object());
  std::vector<nlohmann::json> rows;
  for (const nlohmann::json& score : scores) {
    nlohmann::json filled = row;
    if (score.contains("region")) filled["mask"] = score["region"];
    for (std::size_t c = kFirstMeasure; c < std::size(kSummaryColumns); ++c) {
      filled[kSummaryColumns[c]] = score.value(kSummaryColumns[c], nlohmann::json());
    }
    rows.push_back(std::move(filled));
  }
  return rows;
}

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

}  // namespace

Expected<BatchShard> parseShard(const std::string& text) {
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
    return BatchShard{i - 1, n};
  } catch (const std::exception&) {
    return invalidInput("--shard \"" + text + "\" must be I/N with 1 <= I <= N, e.g. 2/4");
  }
}

Expected<std::vector<BatchPair>> readBatchManifest(const std::string& path, const std::string& outFolder) {
  std::ifstream in(path);
  if (!in) return ioFailure("Cannot read the manifest \"" + path + "\"");
  nlohmann::json manifest;
  try {
    manifest = nlohmann::json::parse(in);
  } catch (const nlohmann::json::parse_error& e) {
    return invalidInput("The manifest \"" + path + "\" is not valid JSON: " + e.what());
  }
  if (!manifest.is_object() || !manifest.contains("pairs") || !manifest["pairs"].is_array()) {
    return invalidInput("The manifest \"" + path + "\" needs a \"pairs\" array");
  }
  const fs::path base = fs::path(path).parent_path();
  std::vector<std::string> defaults;
  if (manifest.contains("defaults")) {
    if (Status bad = appendOptions(manifest["defaults"], defaults); !bad) {
      return invalidInput("The manifest's \"defaults\": " + bad.error().message);
    }
  }
  std::set<std::string> names;
  std::vector<BatchPair> pairs;
  int position = 0;
  for (const nlohmann::json& entry : manifest["pairs"]) {
    Expected<BatchPair> pair = readPair(entry, ++position, base, defaults, outFolder, names);
    if (!pair) return std::move(pair).error();
    pairs.push_back(std::move(*pair));
  }
  if (pairs.empty()) return invalidInput("The manifest \"" + path + "\" lists no pairs");
  return pairs;
}

Expected<std::vector<BatchPair>> readDatasetBatch(const std::string& root, const std::string& outFolder,
                                                  const std::vector<std::string>& runOptions,
                                                  const std::string& submitMethod) {
  if (!submitMethod.empty()) {
    if (Status name = checkSubmissionMethod(submitMethod); !name) return std::move(name).error();
  }
  if (Status options = checkRunOptions(runOptions); !options) return std::move(options).error();
  Expected<std::vector<StereoDataset>> listed = listStereoDatasets(root);
  if (!listed) return std::move(listed).error();
  const bool any2014 = std::any_of(listed->begin(), listed->end(), [](const StereoDataset& d) {
    return std::holds_alternative<Middlebury2014Set>(d.source);
  });
  if (!submitMethod.empty() && !any2014) {
    return invalidInput("A submission is made of Middlebury 2014 sets, and \"" + root + "\" holds none");
  }
  std::vector<BatchPair> pairs;
  for (const StereoDataset& dataset : *listed)
    pairs.push_back(datasetPair(dataset, root, outFolder, runOptions, submitMethod));
  return pairs;
}

std::string batchSummary(const std::vector<BatchPair>& pairs, const std::vector<BatchOutcome>& outcomes, bool json,
                         const std::string& manifestPath, const std::string& shard) {
  nlohmann::json rows = nlohmann::json::array();
  std::string csv;
  for (const char* column : kSummaryColumns) {
    if (!csv.empty()) csv += ',';
    csv += column;
  }
  csv += '\n';
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    const int status = i < outcomes.size() ? outcomes[i].status : -1;
    nlohmann::json s;
    if (status == 0 && i < outcomes.size()) {
      try {
        s = nlohmann::json::parse(outcomes[i].runSummary);
      } catch (const nlohmann::json::exception&) {
      }
    }
    for (const nlohmann::json& row : pairRows(pairs[i], status, s.is_object() ? s : nlohmann::json::object())) {
      rows.push_back(row);
      for (std::size_t c = 0; c < std::size(kSummaryColumns); ++c) {
        const nlohmann::json& value = row[kSummaryColumns[c]];
        if (c > 0) csv += ',';
        if (value.is_string()) csv += csvField(value.get<std::string>());
        else if (!value.is_null()) csv += value.dump();
      }
      csv += '\n';
    }
  }
  if (!json) return csv;
  return nlohmann::json{{"manifest", manifestPath}, {"shard", shard}, {"pairs", rows}}.dump(2) + "\n";
}

}  // namespace orbelt
