#include "io/AtomicFile.h"

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/io/ErrorText.h"
#include "tests/pipeline/TempFolder.h"

namespace orbelt {
namespace {

using testing::errorText;
using testing::readText;
using testing::TempFolder;
using testing::writeText;

int entriesIn(const std::string& folder) {
  int n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder)) ++n;
  return n;
}

TEST(WriteFileAtomically, WritesThePartsInOrderAndReplacesAnEarlierFile) {
  TempFolder folder;
  const std::string path = folder.file("out.bin");
  writeText(path, "an older and longer content");
  const std::string head = "head:";
  const char tail[] = {'t', 'a', 'i', 'l'};
  EXPECT_EQ(errorText(writeFileAtomically(path, {ByteRange{head.data(), head.size()}, ByteRange{tail, sizeof tail}})),
            "");
  EXPECT_EQ(readText(path), "head:tail");
  EXPECT_EQ(entriesIn(folder.path()), 1);  // no temporary file left behind
}

TEST(WriteFileAtomically, GivesTheNewFileThePermissionsOfAPlainCreate) {
  TempFolder folder;
  const mode_t old = ::umask(022);
  const std::string failure = errorText(writeFileAtomically(folder.file("f"), {ByteRange{"x", 1}}));
  ::umask(old);
  ASSERT_EQ(failure, "");
  struct stat info {};
  ASSERT_EQ(::stat(folder.file("f").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST(WriteFileAtomically, FailuresNameThePathAndTheReasonAndLeaveNothing) {
  TempFolder folder;
  std::filesystem::create_directory(folder.file("sub"));
  writeText(folder.file("plain"), "a file, not a folder");
  struct Case {
    std::string path;
    std::string reason;
  };
  const Case cases[] = {
      {folder.file("missing/out.bmp"), "its folder \"" + folder.file("missing") + "\" is not there"},
      {folder.file("plain/out.bmp"), "is not a folder"},
      {folder.file("sub/"), "the path names a folder, not a file"},
      {folder.file("sub"), "cannot replace it"},  // a folder stands where the file should go
      {"", "empty path"},
  };
  for (const Case& c : cases) {
    const Status written = writeFileAtomically(c.path, {ByteRange{"data", 4}});
    ASSERT_FALSE(written) << c.path;
    EXPECT_EQ(written.error().kind, ErrorKind::IoFailure) << c.path;
    const std::string& message = written.error().message;
    EXPECT_NE(message.find(c.reason), std::string::npos) << message;
    if (!c.path.empty()) {
      EXPECT_NE(message.find("\"" + c.path + "\""), std::string::npos) << message;
    }
  }
  EXPECT_EQ(entriesIn(folder.path()), 2);
  EXPECT_EQ(entriesIn(folder.file("sub")), 0);
}

}  // namespace
}  // namespace orbelt
