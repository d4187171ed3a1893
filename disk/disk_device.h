#pragma once
// The one place where the program touches disks. A DiskSystem is the
// platform's way to the physical disks (raw devices on Windows NT, block
// devices on Linux, or disk image files in either); a DiskDevice is one open
// disk of it. Sectors are 512 bytes; only whole sectors are read or written.

#include <cstdint>

namespace vornboot {

inline constexpr unsigned kSectorSize = 512;

/// An operating-system handle as an opaque number; kInvalidHandle when a disk
/// could not be opened.
using DiskHandle = std::intptr_t;
inline constexpr DiskHandle kInvalidHandle = -1;

class DiskSystem {
 public:
  virtual ~DiskSystem() = default;
  /// Opens disk `diskNumber` for reading and writing; kInvalidHandle when it
  /// does not exist or cannot be opened. Reports nothing.
  virtual DiskHandle open(unsigned diskNumber) = 0;
  /// True when exactly 512 bytes of sector `sector` were read into `buffer`.
  virtual bool readSector(DiskHandle handle, std::uint8_t* buffer, std::uint32_t sector) = 0;
  /// True when exactly 512 bytes were written to sector `sector` and reached
  /// stable storage (a failed flush is a failed write).
  virtual bool writeSector(DiskHandle handle, const std::uint8_t* buffer, std::uint32_t sector) = 0;
  virtual void close(DiskHandle handle) = 0;
  /// True when the disk behind `handle` holds the system volume (C:).
  virtual bool holdsSystemVolume(DiskHandle handle) = 0;
};

/// One open disk: the handle and whether this holder closes it.
class DiskDevice {
 public:
  DiskDevice() = default;
  DiskDevice(const DiskDevice&) = default;
  DiskDevice& operator=(const DiskDevice&) = default;

  /// Opens disk `diskNumber` of `system`; ownsHandle is false afterwards.
  static DiskDevice open(DiskSystem& system, unsigned diskNumber) {
    DiskDevice d;
    d.system_ = &system;
    d.handle_ = system.open(diskNumber);
    return d;
  }

  bool readSector(std::uint8_t* buffer, std::uint32_t sector) const {
    return valid() && system_->readSector(handle_, buffer, sector);
  }
  bool writeSector(const std::uint8_t* buffer, std::uint32_t sector) const {
    return valid() && system_->writeSector(handle_, buffer, sector);
  }
  bool holdsSystemVolume() const { return valid() && system_->holdsSystemVolume(handle_); }
  /// Closes the handle when it is valid and owned; otherwise does nothing.
  void close() {
    if (ownsHandle && valid()) system_->close(handle_);
    handle_ = kInvalidHandle;
  }

  bool valid() const { return system_ != nullptr && handle_ != kInvalidHandle; }
  DiskHandle handle() const { return handle_; }

  bool ownsHandle = false;

 private:
  DiskSystem* system_ = nullptr;
  DiskHandle handle_ = kInvalidHandle;
};

}  // namespace vornboot
