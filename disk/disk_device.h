#pragma once
// The one place where the program touches disks. A DiskSystem is the
// platform's way to the physical disks (raw devices on Windows NT, block
// devices on Linux, or disk image files in either); a DiskDevice is one open
// disk of it. Sectors are 512 bytes; only whole sectors are read or written.

#include <cstdint>
#include <utility>

#include "base/sector_format.h"

namespace vornboot {

/// An operating-system handle as an opaque number; kInvalidHandle when a disk
/// could not be opened.
using DiskHandle = std::intptr_t;
inline constexpr DiskHandle kInvalidHandle = -1;

/// How a disk is opened: for reading and writing (the installer's), or for
/// reading only (a program that must never write a disk).
enum class OpenMode { ReadWrite, ReadOnly };

class DiskSystem {
 public:
  virtual ~DiskSystem() = default;
  /// Opens disk `diskNumber` in `mode`; kInvalidHandle when it does not
  /// exist or cannot be opened. Reports nothing. Writes through a handle
  /// opened ReadOnly fail.
  virtual DiskHandle open(unsigned diskNumber, OpenMode mode) = 0;
  /// True when exactly 512 bytes of sector `sector` were read into `buffer`.
  virtual bool readSector(DiskHandle handle, std::uint8_t* buffer, std::uint32_t sector) = 0;
  /// True when exactly 512 bytes were written to sector `sector` and reached
  /// stable storage (a failed flush is a failed write).
  virtual bool writeSector(DiskHandle handle, const std::uint8_t* buffer, std::uint32_t sector) = 0;
  virtual void close(DiskHandle handle) = 0;
  /// True when the disk behind `handle` holds the system volume (C:).
  virtual bool holdsSystemVolume(DiskHandle handle) = 0;
  /// The size of the disk behind `handle` in 512-byte sectors; 0 when the
  /// system cannot tell. Reads no sector.
  virtual std::uint64_t sectorCount(DiskHandle) { return 0; }
};

/// One open disk of a DiskSystem. It owns its handle: the handle is closed
/// when the device is destroyed, and a device can be moved but not copied.
class DiskDevice {
 public:
  DiskDevice() = default;
  ~DiskDevice() { close(); }
  DiskDevice(DiskDevice&& other) noexcept
      : system_(std::exchange(other.system_, nullptr)),
        handle_(std::exchange(other.handle_, kInvalidHandle)) {}
  DiskDevice& operator=(DiskDevice&& other) noexcept {
    if (this != &other) {
      close();
      system_ = std::exchange(other.system_, nullptr);
      handle_ = std::exchange(other.handle_, kInvalidHandle);
    }
    return *this;
  }
  DiskDevice(const DiskDevice&) = delete;
  DiskDevice& operator=(const DiskDevice&) = delete;

  /// Opens disk `diskNumber` of `system`; the device is invalid when that failed.
  static DiskDevice open(DiskSystem& system, unsigned diskNumber, OpenMode mode) {
    DiskDevice d;
    d.system_ = &system;
    d.handle_ = system.open(diskNumber, mode);
    return d;
  }

  bool readSector(std::uint8_t* buffer, std::uint32_t sector) const {
    return valid() && system_->readSector(handle_, buffer, sector);
  }
  bool writeSector(const std::uint8_t* buffer, std::uint32_t sector) const {
    return valid() && system_->writeSector(handle_, buffer, sector);
  }
  bool holdsSystemVolume() const { return valid() && system_->holdsSystemVolume(handle_); }
  /// The disk's size in sectors; 0 when it is not known.
  std::uint64_t sectorCount() const { return valid() ? system_->sectorCount(handle_) : 0; }
  /// Closes the handle when it is valid; the device is invalid afterwards.
  void close() {
    if (valid()) system_->close(handle_);
    handle_ = kInvalidHandle;
  }
  bool valid() const { return system_ != nullptr && handle_ != kInvalidHandle; }

 private:
  DiskSystem* system_ = nullptr;
  DiskHandle handle_ = kInvalidHandle;
};

}  // namespace vornboot
