#include "io/ImageFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "io/AtomicFile.h"

namespace orbelt {

Expected<cv::Mat> loadInputImage(const std::string& path, const char* role) {
  const std::string prefix = std::string("Cannot read the ") + role + " image \"" + path + "\": ";
  struct stat info {};
  if (path.empty()) return ioFailure(std::string("Cannot read the ") + role + " image: no file name given");
  if (::stat(path.c_str(), &info) != 0) return ioFailure(prefix + "file missing (" + std::strerror(errno) + ")");
  if (S_ISDIR(info.st_mode)) return ioFailure(prefix + "it is a folder, not an image file");
  // Said plainly: an empty file is usually an interrupted copy or download.
  if (S_ISREG(info.st_mode) && info.st_size == 0) return invalidInput(prefix + "the file is empty (0 bytes)");
  cv::Mat image;
  try {
    image = cv::imread(path, cv::IMREAD_UNCHANGED);
  } catch (const cv::Exception& e) {
    return invalidInput(prefix + "not a readable image (" + e.what() + ")");
  }
  if (image.empty()) return invalidInput(prefix + "not an image file OpenCV can decode");
  return image;
}

Status saveImageAtomically(const std::string& path, const cv::Mat& image) {
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot + 1 == path.size()) {
    return invalidInput("Cannot write \"" + path +
                        "\": the name has no extension to choose the image format by (e.g. .bmp)");
  }
  const std::string extension = path.substr(dot);
  std::vector<std::uint8_t> encoded;
  try {
    if (!cv::imencode(extension, image, encoded)) {
      return invalidInput("Cannot write \"" + path + "\": the image could not be encoded as " + extension);
    }
  } catch (const cv::Exception& e) {
    return invalidInput("Cannot write \"" + path + "\": " + extension + " is not an image format OpenCV can write (" +
                        e.err + ")");
  }
  return writeFileAtomically(path, {ByteRange{encoded.data(), encoded.size()}});
}

}  // namespace orbelt
