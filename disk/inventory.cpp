#include "disk/inventory.h"

#include <utility>

namespace vornboot {

namespace {
// BIOS drive numbers 0x80 + k end at 0xFF; the disk system itself says where
// its disks end (a number that names no disk does not open).
constexpr unsigned kMaxBiosDisks = 0x80;
}  // namespace

std::vector<PhysicalDisk> takeInventory(DiskSystem& system, OpenMode mode) {
  std::vector<PhysicalDisk> disks;
  for (unsigned n = 0; n < kMaxBiosDisks; ++n) {
    PhysicalDisk disk{DiskDevice::open(system, n, mode), n, {}};
    if (!disk.device.readSector(disk.sector0.data(), 0)) break;  // closed as it goes
    disks.push_back(std::move(disk));
  }
  if (disks.size() >= 2 && disks[1].device.holdsSystemVolume()) {
    std::swap(disks[0].device, disks[1].device);
    std::swap(disks[0].sector0, disks[1].sector0);
  }
  return disks;
}

}  // namespace vornboot
