#include "cli/OutputPlan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include <opencv2/imgcodecs.hpp>

namespace orbelt {

namespace {

std::string extensionOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

std::string joined(const std::vector<std::string>& items) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) text += (i ? (i + 1 == items.size() ? " or " : ", ") : "") + items[i];
  return text;
}

}  // namespace

Status checkWritable(const std::string& path, const std::string& what) {
  const auto slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  struct stat info {};
  if (path.empty() || path.back() == '/') return invalidInput("The " + what + " path \"" + path + "\" names no file");
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    return invalidInput("Cannot write the " + what + " \"" + path + "\": its folder \"" + folder + "\" is not there");
  }
  if (::access(folder.c_str(), W_OK) != 0) {
    return invalidInput("Cannot write the " + what + " \"" + path + "\": its folder \"" + folder +
                        "\" is not writable");
  }
  if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    return invalidInput("Cannot write the " + what + " \"" + path + "\": it is a folder");
  }
  return {};
}

Status checkCreatable(const std::string& path, const std::string& what) {
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  std::error_code ec;
  if (path.empty() || path.back() == '/' || folder.empty() || std::filesystem::exists(folder, ec)) {
    return checkWritable(path, what);
  }
  while (!folder.empty() && !std::filesystem::exists(folder, ec)) folder = folder.parent_path();
  if (folder.empty()) folder = ".";
  if (!std::filesystem::is_directory(folder, ec)) {
    return invalidInput("Cannot write the " + what + " \"" + path + "\": \"" + folder.string() +
                        "\" is in the way and is not a folder");
  }
  if (::access(folder.c_str(), W_OK) != 0) {
    return invalidInput("Cannot write the " + what + " \"" + path + "\": the folder \"" + folder.string() +
                        "\" is not writable");
  }
  return {};
}

Status checkOutputPlan(const std::vector<PlannedOutput>& outputs) {
  std::vector<std::pair<std::string, std::string>> seen;  // normalised path, role
  for (const PlannedOutput& out : outputs) {
    if (out.path.empty()) continue;
    if (Status bad = out.makesFolder ? checkCreatable(out.path, out.what) : checkWritable(out.path, out.what); !bad) {
      return bad;
    }
    const std::string ext = extensionOf(out.path);
    if (!out.extensions.empty() &&
        std::find(out.extensions.begin(), out.extensions.end(), ext) == out.extensions.end()) {
      return invalidInput("The " + out.what + " \"" + out.path + "\" must end in " + joined(out.extensions));
    }
    if (out.image && !cv::haveImageWriter(out.path)) {
      return invalidInput("The " + out.what + " \"" + out.path + "\" has no image format for its extension \"" + ext +
                          "\" (use .png or .bmp)");
    }
    std::error_code ec;
    const std::string key = std::filesystem::weakly_canonical(out.path, ec).string();
    for (const auto& [other, role] : seen) {
      if (other == (ec ? out.path : key)) {
        return invalidInput("The " + out.what + " and the " + role + " would both be written to \"" + out.path + "\"");
      }
    }
    seen.emplace_back(ec ? out.path : key, out.what);
  }
  return {};
}

}  // namespace orbelt
