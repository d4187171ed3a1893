// The POSIX host's output files, in a temporary folder: a regular file is
// replaced only by a whole text, with the old file's mode; devices are
// written directly.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/platform.h"
#include "tests/support/temp_folder.h"

namespace vornboot {
namespace {

using testing::TempFolder;

std::unique_ptr<Platform> imageModePlatform() {
  setenv("VORNBOOT_DISKS", "", 1);  // no look at the host's own disks
  return makeHostPlatform();
}

unsigned modeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? unsigned(st.st_mode & 07777) : 0;
}

std::vector<std::string> filesIn(const TempFolder& t) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(t.path()))
    names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(PosixOutput, AFileIsReplacedOnlyByAWholeText) {
  TempFolder t;
  auto platform = imageModePlatform();
  const std::string old = t.write("old.txt", "old");
  chmod(old.c_str(), 0640);

  // Given up before the close (the driver does so after a failed write).
  {
    auto file = platform->createForWriting(old.c_str(), false);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->write("new", 3));
  }
  EXPECT_EQ(t.read("old.txt"), "old");
  EXPECT_EQ(filesIn(t), std::vector<std::string>{"old.txt"});  // no temporary file left

  auto file = platform->createForWriting(old.c_str(), false);
  ASSERT_TRUE(file && file->write("new", 3) && file->close());
  EXPECT_EQ(t.read("old.txt"), "new");
  EXPECT_EQ(modeOf(old), 0640u);  // kept
  EXPECT_EQ(filesIn(t), std::vector<std::string>{"old.txt"});

  file = platform->createForWriting(old.c_str(), true);
  ASSERT_TRUE(file && file->write("pw", 2) && file->close());
  EXPECT_EQ(modeOf(old), 0600u);  // it holds passwords

  file = platform->createForWriting(t.path("new.txt").c_str(), false);
  ASSERT_TRUE(file && file->write("n", 1) && file->close());
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(modeOf(t.path("new.txt")), 0666u & ~mask);
}

TEST(PosixOutput, ALinkLeadsToTheFileThatIsReplaced) {
  TempFolder t;
  auto platform = imageModePlatform();
  t.write("real/conf.txt", "old");
  t.link("link.txt", t.path("real/conf.txt"));
  auto file = platform->createForWriting(t.path("link.txt").c_str(), false);
  ASSERT_TRUE(file && file->write("new", 3) && file->close());
  EXPECT_TRUE(std::filesystem::is_symlink(t.path("link.txt")));
  EXPECT_EQ(t.read("real/conf.txt"), "new");
}

TEST(PosixOutput, DevicesAreWrittenDirectlyAndBlockDevicesAreNamed) {
  TempFolder t;
  auto platform = imageModePlatform();
  auto file = platform->createForWriting("/dev/null", false);
  ASSERT_TRUE(file && file->write("x", 1) && file->close());
  EXPECT_EQ(filesIn(t), std::vector<std::string>{});
  // A node of its own for the null device (root only): with -p, a device's
  // mode is left alone.
  const std::string null = t.path("null");
  if (mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    chmod(null.c_str(), 0666);
    file = platform->createForWriting(null.c_str(), true);
    ASSERT_TRUE(file && file->write("x", 1) && file->close());
    EXPECT_EQ(modeOf(null), 0666u);
    EXPECT_EQ(filesIn(t), std::vector<std::string>{"null"});
  }
  EXPECT_FALSE(platform->createForWriting(t.path().c_str(), false));  // a folder
  EXPECT_FALSE(platform->namesBlockDevice("/dev/null"));
  EXPECT_FALSE(platform->namesBlockDevice(t.write("f.img", "").c_str()));
  EXPECT_FALSE(platform->namesBlockDevice(t.path("none").c_str()));
  // A block device node of its own (root only), which is never opened.
  const std::string node = t.path("disk");
  if (mknod(node.c_str(), S_IFBLK | 0600, makedev(7, 250)) == 0) {
    EXPECT_TRUE(platform->namesBlockDevice(node.c_str()));
  }
}

}  // namespace
}  // namespace vornboot
