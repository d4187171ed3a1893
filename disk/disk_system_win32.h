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
  bool writeSector(DiskHandle handle, const std::uint8_t* buffer, std::uint32_t sector) override;
  void close(DiskHandle handle) override;
  bool holdsSystemVolume(DiskHandle handle) override;

 private:
  bool imageMode_;
  std::vector<std::string> paths_;
  std::string systemVolume_;
};

}  // namespace vornboot
