#include "io/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace orbelt {

namespace {

Error failure(const std::string& path, const std::string& what, int err) {
  return ioFailure("Cannot write \"" + path + "\": " + what + " (" + std::strerror(err) + ")");
}

mode_t currentUmask() {
  // umask can only be read by setting it; put it straight back.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

}  // namespace

Status writeFileAtomically(const std::string& path, std::initializer_list<ByteRange> parts) {
  if (path.empty()) return ioFailure("Cannot write a file with an empty path");
  const auto slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty()) return ioFailure("Cannot write \"" + path + "\": the path names a folder, not a file");

  struct stat folderInfo {};
  if (::stat(folder.c_str(), &folderInfo) != 0) {
    return failure(path, "its folder \"" + folder + "\" is not there", errno);
  }
  if (!S_ISDIR(folderInfo.st_mode)) {
    return failure(path, "\"" + folder + "\" is not a folder", ENOTDIR);
  }

  // A hidden name in the same folder: the rename below is then atomic.
  std::string tmp = folder + "/." + name + ".tmp-XXXXXX";
  std::vector<char> tmpBuf(tmp.begin(), tmp.end());
  tmpBuf.push_back('\0');
  const int fd = ::mkstemp(tmpBuf.data());
  if (fd < 0) return failure(path, "cannot create a temporary file in \"" + folder + "\"", errno);
  tmp.assign(tmpBuf.data());

  auto abandon = [&](const std::string& what, int err) {
    ::close(fd);
    ::unlink(tmp.c_str());
    return failure(path, what, err);
  };

  // mkstemp makes the file private (0600); give it what a plain create would.
  if (::fchmod(fd, 0666 & ~currentUmask()) != 0) return abandon("cannot set permissions", errno);

  for (const ByteRange& part : parts) {
    const char* p = static_cast<const char*>(part.data);
    std::size_t left = part.size;
    while (left > 0) {
      const ssize_t n = ::write(fd, p, left);
      if (n < 0) {
        if (errno == EINTR) continue;
        return abandon("writing failed", errno);
      }
      p += n;
      left -= static_cast<std::size_t>(n);
    }
  }
  if (::fsync(fd) != 0) return abandon("flushing to disk failed", errno);
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    return failure(path, "closing failed", err);
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    return failure(path, "cannot replace it", err);
  }
  return {};
}

}  // namespace orbelt
