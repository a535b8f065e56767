#include "eval/Middlebury2014Submission.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "io/AtomicFile.h"
#include "io/PfmFile.h"
#include "platform/NumberText.h"

namespace orbelt {

namespace fs = std::filesystem;

Status checkSubmissionMethod(const std::string& method) {
  const bool plain = !method.empty() && std::all_of(method.begin(), method.end(), [](unsigned char c) {
    return std::isalnum(c) || c == '_' || c == '-';
  });
  if (!plain) {
    return invalidInput("The method name \"" + method +
                        "\" must be one or more letters, digits, '_' or '-': it becomes part of the file names");
  }
  return {};
}

Expected<std::string> submissionFolder(const std::string& outputRoot, const std::string& datasetRoot,
                                       const std::string& setFolder) {
  std::error_code ec;
  const fs::path root = fs::weakly_canonical(datasetRoot, ec);
  const fs::path set = fs::weakly_canonical(setFolder, ec);
  const fs::path relative = set.lexically_relative(root);
  if (ec || relative.empty() || *relative.begin() == "..") {
    return invalidInput("The set \"" + setFolder + "\" does not lie in the dataset folder \"" + datasetRoot + "\"");
  }
  fs::path folder = (fs::path(outputRoot) / relative).lexically_normal();
  if (!folder.has_filename() && folder.has_parent_path()) folder = folder.parent_path();  // "out/" -> "out"
  return folder.string();
}

Status writeMiddlebury2014Submission(const std::string& folder, const std::string& method, const cv::Mat& disparity,
                                     double seconds) {
  if (Status name = checkSubmissionMethod(method); !name) return name;
  if (!std::isfinite(seconds) || seconds < 0) {
    return invalidInput("The run time must be a number of seconds of 0 or more, not " + doubleText(seconds));
  }
  if (disparity.empty() || disparity.type() != CV_32FC1) {
    return invalidInput("A submission needs a disparity map of one 32-bit float channel");
  }
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) return ioFailure("Cannot make the folder \"" + folder + "\": " + ec.message());
  if (Status map = writePfm((fs::path(folder) / ("disp0" + method + ".pfm")).string(), disparity); !map) return map;
  char text[64];
  const int length = std::snprintf(text, sizeof text, "%.3f\n", seconds);
  return writeFileAtomically((fs::path(folder) / ("time" + method + ".txt")).string(),
                             {ByteRange{text, static_cast<std::size_t>(length)}});
}

}  // namespace orbelt
