#include "report/BatchManifest.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "eval/MiddleburySet.h"

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
  int labels = 0;  // the dataset's label count; 0 without a dataset
};

// The entry's files, a dataset's filling what the entry leaves out.
Expected<PairFiles> pairFiles(const nlohmann::json& entry, const fs::path& base, BatchPair& pair) {
  for (const char* key : {"name", "dataset", "left", "right", "truth", "mask"}) {
    if (entry.contains(key) && !entry[key].is_string())
      return invalidInput("\"" + std::string(key) + "\" must be a string");
  }
  const auto text = [&](const char* key) {
    return entry.contains(key) ? entry[key].get<std::string>() : std::string();
  };
  PairFiles files{text("left"), text("right"), text("truth"), text("mask")};
  if (entry.contains("scale")) {
    if (!entry["scale"].is_number() || !(entry["scale"].get<double>() > 0)) {
      return invalidInput("\"scale\" must be a positive number");
    }
    files.scale = entry["scale"].get<double>();
  }
  if (text("dataset").empty()) return files;
  Expected<MiddleburySet> found = findMiddleburySet(resolve(base, text("dataset")));
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

// The command line of a pair's run: its views, the defaults, the dataset's
// label count unless given, its own options, then the files the batch sets.
Status pairArguments(const nlohmann::json& entry, const PairFiles& files, const std::vector<std::string>& defaults,
                     const fs::path& base, const std::string& outFolder, BatchPair& pair) {
  pair.args = {resolve(base, files.left), resolve(base, files.right), "--no-map", "-q"};
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
  const std::string stem = (fs::path(outFolder) / pair.name).string();
  pair.args.insert(pair.args.end(), {"--pfm", stem + ".pfm", "--json", stem + ".json"});
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
  if (files->left.empty() || files->right.empty()) {
    return invalidInput(where + ": give \"left\" and \"right\", or a \"dataset\"");
  }
  if (Status bad = pairArguments(entry, *files, defaults, base, outFolder, pair); !bad) {
    return invalidInput(where + ": " + bad.error().message);
  }
  return pair;
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

}  // namespace orbelt
