#pragma once

#include "config/model.h"
#include "disk/disk_device.h"

namespace vornboot {

/// Opens disks 0, 1, 2, ... of `system` until one cannot be opened or read,
/// copying each sector 0 into a PhysicalDisk of `disks`. When disk 1 holds the
/// system volume, the first two disks exchange device and sector 0. Every disk
/// owns its handle afterwards.
void takeInventory(DiskSystem& system, OwnedArray<PhysicalDisk>& disks);

}  // namespace vornboot
