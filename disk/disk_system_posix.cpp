#include "disk/disk_system_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "disk/image_mode.h"
#include "disk/transfer.h"

namespace vornboot {

namespace {

struct Transfer {
  std::size_t done;
  int error;  // errno of the call that failed; 0 when a call moved nothing
};

Transfer readFully(int fd, void* buffer, std::size_t size, off_t offset) {
  int error = 0;
  const std::size_t done = transferAll(size, [&](std::size_t at) {
    const ssize_t n = pread(fd, static_cast<char*>(buffer) + at, size - at, offset + off_t(at));
    error = n < 0 ? errno : 0;
    return TransferStep{long(n), error == EINTR};
  });
  return {done, error};
}

Transfer writeFully(int fd, const void* buffer, std::size_t size, off_t offset) {
  int error = 0;
  const std::size_t done = transferAll(size, [&](std::size_t at) {
    const ssize_t n =
        pwrite(fd, static_cast<const char*>(buffer) + at, size - at, offset + off_t(at));
    error = n < 0 ? errno : 0;
    return TransferStep{long(n), error == EINTR};
  });
  return {done, error};
}

off_t positionOf(std::uint32_t sector) {
  return off_t(sector) * mbr::kSectorSize;
}

bool readAt(int fd, std::uint8_t* buffer, std::uint32_t sector) {
  return readFully(fd, buffer, mbr::kSectorSize, positionOf(sector)).done == mbr::kSectorSize;
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

std::vector<std::string> blockDevices(const HostTree& tree) {
  std::vector<std::string> names;
  if (DIR* dir = opendir((tree.sys + "/block").c_str())) {
    while (dirent* e = readdir(dir)) {
      if (isWholeDisk(e->d_name)) names.push_back(e->d_name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  for (std::string& n : names) n = "/dev/" + n;
  return names;
}

DiskError systemError(const std::string& path, int error) {
  DiskError e{DiskError::System, path, std::strerror(error), 0, DiskError::NoRemedy};
  if (error == EACCES || error == EPERM) e.remedy = DiskError::RunAsRoot;
  return e;
}

// O_DIRECT wants the buffer, the position and the length aligned to the
// logical block size, which is at most this on the disks that exist.
constexpr std::size_t kDirectBlock = 4096;

enum class Direct { Read, Failed, Unsupported };

Direct readDirect(int fd, std::uint8_t* buffer, off_t offset, Transfer& failure) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_DIRECT) != 0) return Direct::Unsupported;
  void* block = std::aligned_alloc(kDirectBlock, kDirectBlock);
  if (!block) {
    fcntl(fd, F_SETFL, flags);
    return Direct::Unsupported;
  }
  const off_t start = offset & ~off_t(kDirectBlock - 1);
  // A file that ends inside the block delivers what it holds.
  const Transfer t = readFully(fd, block, kDirectBlock, start);
  fcntl(fd, F_SETFL, flags);
  const std::size_t needed = std::size_t(offset - start) + mbr::kSectorSize;
  Direct result = Direct::Read;
  if (t.done >= needed) {
    std::memcpy(buffer, static_cast<const std::uint8_t*>(block) + (offset - start),
                mbr::kSectorSize);
  } else if (t.error == EINVAL) {
    result = Direct::Unsupported;  // an alignment the file system does not take
  } else {
    failure = {t.done > std::size_t(offset - start) ? t.done - std::size_t(offset - start) : 0,
               t.error};
    result = Direct::Failed;
  }
  std::free(block);
  return result;
}

}  // namespace

PosixDiskSystem::PosixDiskSystem(std::vector<std::string> paths, std::string systemVolume)
    : paths_(std::move(paths)), systemVolume_(std::move(systemVolume)) {}

std::unique_ptr<PosixDiskSystem> PosixDiskSystem::forDevices(const HostTree& tree,
                                                             unsigned rootMajor,
                                                             unsigned rootMinor) {
  auto system = std::make_unique<PosixDiskSystem>(blockDevices(tree), "");
  system->imageMode_ = false;
  system->rootDisk_ = rootDiskPath(tree, rootMajor, rootMinor);
  return system;
}

std::unique_ptr<PosixDiskSystem> PosixDiskSystem::fromEnvironment() {
  if (const char* list = std::getenv("VORNBOOT_DISKS")) {
    const char* volume = std::getenv("VORNBOOT_SYSTEM_VOLUME");
    return std::make_unique<PosixDiskSystem>(imageModePaths(list, ':'), volume ? volume : "");
  }
  struct stat root;
  const bool known = stat("/", &root) == 0;
  return forDevices(HostTree{}, known ? major(root.st_dev) : 0, known ? minor(root.st_dev) : 0);
}

DiskHandle PosixDiskSystem::open(unsigned diskNumber, OpenMode mode) {
  if (diskNumber >= paths_.size()) {
    lastError_ = DiskError{imageMode_ ? DiskError::NotListed : DiskError::NoDevices, "", "", 0,
                           DiskError::NoRemedy};
    return kInvalidHandle;
  }
  const int access = mode == OpenMode::ReadOnly ? O_RDONLY : O_RDWR;
  const int fd = ::open(paths_[diskNumber].c_str(), access | O_CLOEXEC);
  if (fd < 0) {
    lastError_ = systemError(paths_[diskNumber], errno);
    return kInvalidHandle;
  }
  openPaths_.emplace_back(fd, paths_[diskNumber]);
  return fd;
}

bool PosixDiskSystem::failed(DiskHandle handle, int error, std::size_t transferred) {
  if (error != 0) {
    lastError_ = systemError(path(handle), error);
  } else {
    lastError_ =
        DiskError{DiskError::Short, path(handle), "", unsigned(transferred), DiskError::NoRemedy};
  }
  return false;
}

bool PosixDiskSystem::readSector(DiskHandle handle, std::uint8_t* buffer, std::uint32_t sector) {
  const Transfer t = readFully(int(handle), buffer, mbr::kSectorSize, positionOf(sector));
  return t.done == mbr::kSectorSize || failed(handle, t.error, t.done);
}

bool PosixDiskSystem::writeSector(DiskHandle handle, const std::uint8_t* buffer,
                                  std::uint32_t sector) {
  const Transfer t = writeFully(int(handle), buffer, mbr::kSectorSize, positionOf(sector));
  if (t.done != mbr::kSectorSize) return failed(handle, t.error, t.done);
  int synced;
  do {
    synced = fsync(int(handle));
  } while (synced != 0 && errno == EINTR);
  return synced == 0 || failed(handle, errno, mbr::kSectorSize);
}

bool PosixDiskSystem::readSectorUncached(DiskHandle handle, std::uint8_t* buffer,
                                         std::uint32_t sector) {
  const int fd = int(handle);
  const off_t offset = positionOf(sector);
  // After the fsync of a write the cached pages are clean and can be dropped:
  // a read that cannot bypass the cache then fetches them from the device.
  // Only whole pages are dropped, so the range is the page around the sector.
  const long page = sysconf(_SC_PAGESIZE);
  const off_t pageSize = page > 0 ? off_t(page) : off_t(kDirectBlock);
  posix_fadvise(fd, offset - offset % pageSize, pageSize, POSIX_FADV_DONTNEED);
  Transfer failure{0, 0};
  switch (readDirect(fd, buffer, offset, failure)) {
    case Direct::Read:
      return true;
    case Direct::Failed:
      return failed(handle, failure.error, failure.done);
    case Direct::Unsupported:
      break;
  }
  return readSector(handle, buffer, sector);
}

void PosixDiskSystem::close(DiskHandle handle) {
  ::close(int(handle));
  std::erase_if(openPaths_, [handle](const auto& p) { return p.first == handle; });
}

std::string PosixDiskSystem::path(DiskHandle handle) const {
  for (const auto& [h, path] : openPaths_) {
    if (h == handle) return path;
  }
  return "";
}

LockResult PosixDiskSystem::lockExclusive(DiskHandle handle) {
  int locked;
  do {
    locked = flock(int(handle), LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked == 0) return LockResult::Locked;
  return errno == EWOULDBLOCK ? LockResult::Busy : LockResult::Unsupported;
}

unsigned PosixDiskSystem::logicalSectorSize(DiskHandle handle) {
  struct stat st;
  if (fstat(int(handle), &st) != 0) return 0;
  if (!S_ISBLK(st.st_mode)) return mbr::kSectorSize;  // an image file
  int size = 0;
  return ioctl(int(handle), BLKSSZGET, &size) == 0 && size > 0 ? unsigned(size) : 0;
}

bool PosixDiskSystem::isSameFile(DiskHandle handle, const char* path) {
  struct stat named, open;
  if (stat(path, &named) != 0 || fstat(int(handle), &open) != 0) return false;
  if (S_ISBLK(named.st_mode) && S_ISBLK(open.st_mode)) return named.st_rdev == open.st_rdev;
  return named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

bool PosixDiskSystem::holdsSystemVolume(DiskHandle handle) {
  if (!imageMode_) return !rootDisk_.empty() && path(handle) == rootDisk_;
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
