#include "disk/inventory.h"

#include <cstring>
#include <utility>

namespace vornboot {

namespace {
// Device names end in the digit of the disk number; "10" would be a colon,
// which names no device, so ten disks are the most there can be.
constexpr unsigned kMaxDisks = 10;
}  // namespace

void takeInventory(DiskSystem& system, OwnedArray<PhysicalDisk>& disks) {
  for (unsigned n = 0; n < kMaxDisks; ++n) {
    PhysicalDisk prototype;
    prototype.device = DiskDevice::open(system, n);
    prototype.diskNumber = n;
    if (!prototype.device.readSector(prototype.sector0, 0)) {
      // Not kept: close what was opened (the prototype does not own it).
      prototype.device.ownsHandle = true;
      break;
    }
    disks.append(prototype);
  }
  if (disks.count() >= 2 && disks[1].device.holdsSystemVolume()) {
    std::swap(disks[0].device, disks[1].device);
    std::uint8_t sector[512];
    std::memcpy(sector, disks[0].sector0, sizeof sector);
    std::memcpy(disks[0].sector0, disks[1].sector0, sizeof sector);
    std::memcpy(disks[1].sector0, sector, sizeof sector);
  }
  for (std::size_t i = 0; i < disks.count(); ++i) disks[i].device.ownsHandle = true;
}

}  // namespace vornboot
