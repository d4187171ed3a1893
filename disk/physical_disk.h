#pragma once
// A disk of the inventory: the open device, its number, and its sector 0 as
// read at start.

#include <array>
#include <cstdint>

#include "base/sector_format.h"
#include "disk/disk_device.h"

namespace vornboot {

using Sector = std::array<std::uint8_t, mbr::kSectorSize>;

struct PhysicalDisk {
  DiskDevice device;
  std::uint32_t diskNumber = 0;
  /// Sector 0 as read when the inventory was taken; never read again.
  Sector sector0{};
};

}  // namespace vornboot
