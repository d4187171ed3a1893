#pragma once

#include <memory>
#include <string>
#include <vector>

#include "disk/disk_device.h"
#include "disk/root_disk.h"

namespace vornboot {

/// Disks on a POSIX host: the files of a disk image list, or the whole-disk
/// block devices of /sys/block in name order.
class PosixDiskSystem : public DiskSystem {
 public:
  /// Disk images: disk n is paths[n]; `systemVolume` (may be empty) stands for C:.
  PosixDiskSystem(std::vector<std::string> paths, std::string systemVolume);
  /// The block devices of `tree`; the system volume is the disk that holds "/",
  /// whose st_dev has the numbers `rootMajor` and `rootMinor`.
  static std::unique_ptr<PosixDiskSystem> forDevices(const HostTree& tree, unsigned rootMajor,
                                                     unsigned rootMinor);
  /// From VORNBOOT_DISKS / VORNBOOT_SYSTEM_VOLUME, or the host's block devices.
  static std::unique_ptr<PosixDiskSystem> fromEnvironment();

  DiskHandle open(unsigned diskNumber, OpenMode mode) override;
  bool readSector(DiskHandle handle, std::uint8_t* buffer, std::uint32_t sector) override;
  /// Writes all 512 bytes (a short write is continued, an interrupted one
  /// repeated), then fsync.
  bool writeSector(DiskHandle handle, const std::uint8_t* buffer, std::uint32_t sector) override;
  void close(DiskHandle handle) override;
  bool holdsSystemVolume(DiskHandle handle) override;
  /// A regular file's size, or a block device's (BLKGETSIZE64).
  std::uint64_t sectorCount(DiskHandle handle) override;

  DiskError lastError() const override { return lastError_; }
  std::string path(DiskHandle handle) const override;
  /// flock(LOCK_EX | LOCK_NB) on the device or image file.
  LockResult lockExclusive(DiskHandle handle) override;
  /// Drops the sector's range from the page cache and reads it through
  /// O_DIRECT; where the file system refuses O_DIRECT (tmpfs, where memory is
  /// the storage), an ordinary read after the drop.
  bool readSectorUncached(DiskHandle handle, std::uint8_t* buffer, std::uint32_t sector) override;
  /// BLKSSZGET for a block device; 512 for an image file.
  unsigned logicalSectorSize(DiskHandle handle) override;
  /// The same inode, or for block devices the same device number.
  bool isSameFile(DiskHandle handle, const char* path) override;

  /// The disk that holds "/" in device mode ("" when none, or in image mode).
  const std::string& rootDisk() const { return rootDisk_; }

 private:
  bool failed(DiskHandle handle, int error, std::size_t transferred);

  std::vector<std::string> paths_;
  std::string systemVolume_;  // image mode: a file; device mode: empty
  bool imageMode_ = true;
  std::string rootDisk_;  // device mode: the /dev path of the disk holding "/"
  std::vector<std::pair<DiskHandle, std::string>> openPaths_;
  DiskError lastError_;
};

}  // namespace vornboot
