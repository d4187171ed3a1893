#pragma once

#include <memory>
#include <string>
#include <vector>

#include "disk/disk_device.h"

namespace vornboot {

/// Disks on a POSIX host: the files of a disk image list, or the whole-disk
/// block devices of /sys/block in name order.
class PosixDiskSystem : public DiskSystem {
 public:
  /// Disk images: disk n is paths[n]; `systemVolume` (may be empty) stands for C:.
  PosixDiskSystem(std::vector<std::string> paths, std::string systemVolume);
  /// From VORNBOOT_DISKS / VORNBOOT_SYSTEM_VOLUME, or the host's block devices.
  static std::unique_ptr<PosixDiskSystem> fromEnvironment();

  DiskHandle open(unsigned diskNumber, OpenMode mode) override;
  bool readSector(DiskHandle handle, std::uint8_t* buffer, std::uint32_t sector) override;
  bool writeSector(DiskHandle handle, const std::uint8_t* buffer, std::uint32_t sector) override;
  void close(DiskHandle handle) override;
  bool holdsSystemVolume(DiskHandle handle) override;
  /// A regular file's size, or a block device's (BLKGETSIZE64).
  std::uint64_t sectorCount(DiskHandle handle) override;

 private:
  std::vector<std::string> paths_;
  std::string systemVolume_;  // image mode: a file; device mode: empty
  bool imageMode_ = true;
  std::string rootDisk_;  // device mode: the /dev path of the disk holding "/"
  std::vector<std::pair<DiskHandle, std::string>> openPaths_;
};

}  // namespace vornboot
