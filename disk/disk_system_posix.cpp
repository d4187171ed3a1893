#include "disk/disk_system_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "disk/image_mode.h"

namespace vornboot {

namespace {

bool readAt(int fd, std::uint8_t* buffer, std::uint32_t sector) {
  const off_t offset = off_t(sector) * mbr::kSectorSize;
  return pread(fd, buffer, mbr::kSectorSize, offset) == ssize_t(mbr::kSectorSize);
}

// Whole disks only: partitions, loop, RAM, optical, RAID and mapper devices
// are not disks a boot manager could live on.
bool isWholeDisk(const char* name) {
  static const char* const kSkipped[] = {"loop", "ram", "zram", "sr", "md", "dm-", "fd"};
  if (name[0] == '.') return false;
  for (const char* prefix : kSkipped) {
    if (std::strncmp(name, prefix, std::strlen(prefix)) == 0) return false;
  }
  return true;
}

std::vector<std::string> blockDevices() {
  std::vector<std::string> names;
  if (DIR* dir = opendir("/sys/block")) {
    while (dirent* e = readdir(dir)) {
      if (isWholeDisk(e->d_name)) names.push_back(e->d_name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  for (std::string& n : names) n = "/dev/" + n;
  return names;
}

// The /dev path of the whole disk that holds the root file system, or "".
std::string rootDiskPath() {
  struct stat st;
  if (stat("/", &st) != 0) return "";
  char link[64];
  std::snprintf(link, sizeof link, "/sys/dev/block/%u:%u", major(st.st_dev), minor(st.st_dev));
  char* resolved = realpath(link, nullptr);
  if (!resolved) return "";
  std::string path = resolved;
  std::free(resolved);
  // A partition's directory sits inside its disk's directory (…/sda/sda1).
  std::string parent = path.substr(0, path.rfind('/'));
  struct stat pst;
  if (stat((path + "/partition").c_str(), &pst) == 0) path = parent;
  return "/dev/" + path.substr(path.rfind('/') + 1);
}

}  // namespace

PosixDiskSystem::PosixDiskSystem(std::vector<std::string> paths, std::string systemVolume)
    : paths_(std::move(paths)), systemVolume_(std::move(systemVolume)) {}

std::unique_ptr<PosixDiskSystem> PosixDiskSystem::fromEnvironment() {
  if (const char* list = std::getenv("VORNBOOT_DISKS")) {
    const char* volume = std::getenv("VORNBOOT_SYSTEM_VOLUME");
    return std::make_unique<PosixDiskSystem>(imageModePaths(list, ':'), volume ? volume : "");
  }
  auto system = std::make_unique<PosixDiskSystem>(blockDevices(), "");
  system->imageMode_ = false;
  system->rootDisk_ = rootDiskPath();
  return system;
}

DiskHandle PosixDiskSystem::open(unsigned diskNumber, OpenMode mode) {
  if (diskNumber >= paths_.size()) return kInvalidHandle;
  const int access = mode == OpenMode::ReadOnly ? O_RDONLY : O_RDWR;
  const int fd = ::open(paths_[diskNumber].c_str(), access | O_CLOEXEC);
  if (fd < 0) return kInvalidHandle;
  openPaths_.emplace_back(fd, paths_[diskNumber]);
  return fd;
}

bool PosixDiskSystem::readSector(DiskHandle handle, std::uint8_t* buffer, std::uint32_t sector) {
  return readAt(int(handle), buffer, sector);
}

bool PosixDiskSystem::writeSector(DiskHandle handle, const std::uint8_t* buffer,
                                  std::uint32_t sector) {
  const off_t offset = off_t(sector) * mbr::kSectorSize;
  if (pwrite(int(handle), buffer, mbr::kSectorSize, offset) != ssize_t(mbr::kSectorSize))
    return false;
  return fsync(int(handle)) == 0;
}

void PosixDiskSystem::close(DiskHandle handle) {
  ::close(int(handle));
  std::erase_if(openPaths_, [handle](const auto& p) { return p.first == handle; });
}

bool PosixDiskSystem::holdsSystemVolume(DiskHandle handle) {
  if (!imageMode_) {
    for (const auto& [h, path] : openPaths_) {
      if (h == handle) return !rootDisk_.empty() && path == rootDisk_;
    }
    return false;
  }
  if (systemVolume_.empty()) return false;
  const int volume = ::open(systemVolume_.c_str(), O_RDONLY | O_CLOEXEC);
  if (volume < 0) return false;
  std::uint8_t volumeSector[mbr::kSectorSize];
  const bool volumeRead = readAt(volume, volumeSector, 0);
  ::close(volume);
  std::uint8_t diskSector[mbr::kSectorSize];
  if (!volumeRead || !readAt(int(handle), diskSector, 0)) return false;
  return layoutOfSector0(volumeSector) == layoutOfSector0(diskSector);
}

std::uint64_t PosixDiskSystem::sectorCount(DiskHandle handle) {
  struct stat st;
  if (fstat(int(handle), &st) != 0) return 0;
  if (S_ISREG(st.st_mode)) return std::uint64_t(st.st_size) / mbr::kSectorSize;
  std::uint64_t bytes = 0;
  if (S_ISBLK(st.st_mode) && ioctl(int(handle), BLKGETSIZE64, &bytes) == 0)
    return bytes / mbr::kSectorSize;
  return 0;
}

}  // namespace vornboot
