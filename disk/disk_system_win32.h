#pragma once

#include <memory>
#include <string>
#include <vector>

#include "disk/disk_device.h"

namespace vornboot {

/// The raw device path of physical disk `diskNumber`: "\\.\PHYSICALDRIVE0"
/// with its last character raised by the number, so that disk 10 gets a name
/// ending in ':' that names no device.
std::string physicalDriveName(unsigned diskNumber);

/// Disks on Windows NT: the raw devices \\.\PHYSICALDRIVEn, or the files of a
/// disk image list opened the same way. Handles are Win32 HANDLEs.
class Win32DiskSystem : public DiskSystem {
 public:
  /// Raw devices; the system volume is \\.\C:.
  Win32DiskSystem();
  /// Disk images: disk n is paths[n]; `systemVolume` (may be empty) stands for
  /// C:. An image file's drive layout is read from its own sector 0.
  Win32DiskSystem(std::vector<std::string> paths, std::string systemVolume);
  /// From VORNBOOT_DISKS (';'-separated) / VORNBOOT_SYSTEM_VOLUME, or the raw devices.
  static std::unique_ptr<Win32DiskSystem> fromEnvironment();

  DiskHandle open(unsigned diskNumber, OpenMode mode) override;
  bool readSector(DiskHandle handle, std::uint8_t* buffer, std::uint32_t sector) override;
  /// Writes all 512 bytes (a short write is continued), then FlushFileBuffers.
  bool writeSector(DiskHandle handle, const std::uint8_t* buffer, std::uint32_t sector) override;
  void close(DiskHandle handle) override;
  bool holdsSystemVolume(DiskHandle handle) override;

  DiskError lastError() const override { return lastError_; }
  std::string path(DiskHandle handle) const override;
  /// LockFileEx on a byte range far past the data, which other programs
  /// that lock the same way respect; a raw disk has no lock of its own.
  LockResult lockExclusive(DiskHandle handle) override;
  /// Through a second handle opened with FILE_FLAG_NO_BUFFERING, so that an
  /// image file is not read from the file cache (raw disk handles are not
  /// cached); the ordinary read when that handle cannot be had.
  bool readSectorUncached(DiskHandle handle, std::uint8_t* buffer, std::uint32_t sector) override;
  /// The drive geometry's bytes per sector for a raw disk; 512 for an image.
  unsigned logicalSectorSize(DiskHandle handle) override;
  /// The same volume serial number and file index.
  bool isSameFile(DiskHandle handle, const char* path) override;

 private:
  bool failed(DiskHandle handle, unsigned long error, unsigned transferred);

  bool imageMode_;
  std::vector<std::string> paths_;
  std::string systemVolume_;
  std::vector<std::pair<DiskHandle, std::string>> openPaths_;
  DiskError lastError_;
};

}  // namespace vornboot
