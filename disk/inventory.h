#pragma once

#include <vector>

#include "disk/disk_device.h"
#include "disk/physical_disk.h"

namespace vornboot {

/// Opens disks 0, 1, 2, ... of `system` until one cannot be opened or read,
/// and returns them with their sectors 0, disk 0 first. When disk 1 holds the
/// system volume, the first two disks exchange device and sector 0 (their
/// numbers stay with their places).
std::vector<PhysicalDisk> takeInventory(DiskSystem& system);

}  // namespace vornboot
