#pragma once
// The disks as VornBootCheck sees them: every disk opened for reading only,
// and no write passed on, whatever asks for one.

#include "disk/disk_device.h"

namespace vornboot::check {

class ReadOnlyDisks : public DiskSystem {
 public:
  explicit ReadOnlyDisks(DiskSystem& disks) : disks_(disks) {}

  DiskHandle open(unsigned diskNumber, OpenMode) override {
    return disks_.open(diskNumber, OpenMode::ReadOnly);
  }
  bool readSector(DiskHandle handle, std::uint8_t* buffer, std::uint32_t sector) override {
    return disks_.readSector(handle, buffer, sector);
  }
  /// Fails without reaching the disk.
  bool writeSector(DiskHandle, const std::uint8_t*, std::uint32_t) override { return false; }
  void close(DiskHandle handle) override { disks_.close(handle); }
  bool holdsSystemVolume(DiskHandle handle) override { return disks_.holdsSystemVolume(handle); }
  std::uint64_t sectorCount(DiskHandle handle) override { return disks_.sectorCount(handle); }
  DiskError lastError() const override { return disks_.lastError(); }
  std::string path(DiskHandle handle) const override { return disks_.path(handle); }

 private:
  DiskSystem& disks_;
};

}  // namespace vornboot::check
