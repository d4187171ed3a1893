// The POSIX disk layer over image files in a temporary folder: what it says
// when a disk cannot be had, the lock, the read that bypasses the cache, the
// sector size and the same-file test.
#include "disk/disk_system_posix.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "tests/support/temp_folder.h"

namespace vornboot {
namespace {

using testing::TempFolder;

std::string sectors(unsigned count) {
  std::string bytes;
  for (unsigned s = 0; s < count; ++s) bytes += std::string(mbr::kSectorSize, char('A' + s));
  return bytes;
}

TEST(PosixDisks, SayWhyADiskCannotBeHad) {
  TempFolder t;
  const std::string empty = t.write("empty.img", "");
  const std::string missing = t.path("missing.img");
  PosixDiskSystem images({empty, missing}, "");
  std::uint8_t buffer[mbr::kSectorSize];

  const DiskHandle h = images.open(0, OpenMode::ReadWrite);
  ASSERT_NE(h, kInvalidHandle);
  EXPECT_FALSE(images.readSector(h, buffer, 0));
  DiskError e = images.lastError();
  EXPECT_EQ(e.kind, DiskError::Short);
  EXPECT_EQ(e.path, empty);
  EXPECT_EQ(e.transferred, 0u);
  images.close(h);

  EXPECT_EQ(images.open(1, OpenMode::ReadWrite), kInvalidHandle);
  e = images.lastError();
  EXPECT_EQ(e.kind, DiskError::System);
  EXPECT_EQ(e.path, missing);
  EXPECT_EQ(e.reason, std::strerror(ENOENT));
  EXPECT_EQ(e.remedy, DiskError::NoRemedy);

  EXPECT_EQ(images.open(2, OpenMode::ReadWrite), kInvalidHandle);
  EXPECT_EQ(images.lastError().kind, DiskError::NotListed);

  // A host without block devices (a fake /sys with none).
  t.write("sys/block/.keep", "");
  auto devices = PosixDiskSystem::forDevices({t.path("sys"), t.path("dev"), t.path("none")}, 0, 0);
  EXPECT_EQ(devices->open(0, OpenMode::ReadOnly), kInvalidHandle);
  EXPECT_EQ(devices->lastError().kind, DiskError::NoDevices);
}

TEST(PosixDisks, AnotherHoldersLockIsReportedNotWaitedFor) {
  TempFolder t;
  const std::string image = t.write("d0.img", sectors(2));
  PosixDiskSystem first({image}, ""), second({image}, "");
  const DiskHandle a = first.open(0, OpenMode::ReadWrite);
  const DiskHandle b = second.open(0, OpenMode::ReadWrite);
  EXPECT_EQ(first.lockExclusive(a), LockResult::Locked);
  EXPECT_EQ(second.lockExclusive(b), LockResult::Busy);
  first.close(a);  // closing releases it
  EXPECT_EQ(second.lockExclusive(b), LockResult::Locked);
  second.close(b);
}

TEST(PosixDisks, UncachedReadsFindEverySectorOfAnImage) {
  TempFolder t;
  // Three sectors: the file ends inside the first 4096-byte block that a
  // read through O_DIRECT fetches.
  const std::string image = t.write("d0.img", sectors(3));
  PosixDiskSystem disks({image}, "");
  const DiskHandle h = disks.open(0, OpenMode::ReadWrite);
  std::uint8_t buffer[mbr::kSectorSize];
  for (unsigned s = 0; s < 3; ++s) {
    ASSERT_TRUE(disks.readSectorUncached(h, buffer, s)) << s;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), sizeof buffer),
              std::string(mbr::kSectorSize, char('A' + s)));
  }
  const std::string written(mbr::kSectorSize, 'w');
  ASSERT_TRUE(disks.writeSector(h, reinterpret_cast<const std::uint8_t*>(written.data()), 1));
  ASSERT_TRUE(disks.readSectorUncached(h, buffer, 1));
  EXPECT_EQ(std::memcmp(buffer, written.data(), sizeof buffer), 0);
  EXPECT_FALSE(disks.readSectorUncached(h, buffer, 3));  // past the end
  EXPECT_EQ(disks.lastError().kind, DiskError::Short);
  EXPECT_EQ(disks.logicalSectorSize(h), 512u);
  disks.close(h);
  EXPECT_EQ(t.read("d0.img").substr(512, 512), written);
}

// Whether page `page` of the open file `fd` is in the page cache.
bool cached(int fd, std::size_t page) {
  const std::size_t size = std::size_t(sysconf(_SC_PAGESIZE));
  void* map = mmap(nullptr, size * (page + 1), PROT_READ, MAP_SHARED, fd, 0);
  unsigned char resident[64] = {};
  const bool known = map != MAP_FAILED && mincore(map, size * (page + 1), resident) == 0;
  if (map != MAP_FAILED) munmap(map, size * (page + 1));
  return known && (resident[page] & 1);
}

// The read-back after a write must come from the device: the cached page
// around the sector is dropped (the system drops whole pages only, so a drop
// of the sector's 512 bytes alone would keep it), and the read itself leaves
// nothing in the cache.
TEST(PosixDisks, AnUncachedReadLeavesThePageOfItsSectorOutOfTheCache) {
  TempFolder t;
  const std::string image = t.write("d0.img", sectors(16));
  const int fd = open(image.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  fsync(fd);
  posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  if (cached(fd, 0)) {
    close(fd);
    GTEST_SKIP() << "this file system keeps its pages (tmpfs: memory is the storage)";
  }
  std::uint8_t buffer[mbr::kSectorSize];
  ASSERT_EQ(pread(fd, buffer, sizeof buffer, mbr::kSectorSize), ssize_t(sizeof buffer));
  ASSERT_TRUE(cached(fd, 0));
  PosixDiskSystem disks({image}, "");
  const DiskHandle h = disks.open(0, OpenMode::ReadWrite);
  ASSERT_TRUE(disks.readSectorUncached(h, buffer, 1));  // inside the first page, not at its start
  EXPECT_EQ(buffer[0], 'B');
  EXPECT_FALSE(cached(fd, 0));
  disks.close(h);
  close(fd);
}

TEST(PosixDisks, SameFileMeansTheSameInodeUnderAnyName) {
  TempFolder t;
  const std::string image = t.write("d0.img", sectors(1));
  const std::string copy = t.write("copy.img", sectors(1));
  ASSERT_EQ(link(image.c_str(), t.path("hard.img").c_str()), 0);
  t.link("soft.img", image);
  PosixDiskSystem disks({image}, "");
  const DiskHandle h = disks.open(0, OpenMode::ReadOnly);
  const struct {
    std::string name;
    bool same;
  } cases[] = {{image, true}, {t.path("hard.img"), true}, {t.path("soft.img"), true},
               {copy, false}, {t.path("none"), false},    {t.path(), false}};
  for (const auto& c : cases) EXPECT_EQ(disks.isSameFile(h, c.name.c_str()), c.same) << c.name;
  disks.close(h);
}

}  // namespace
}  // namespace vornboot
