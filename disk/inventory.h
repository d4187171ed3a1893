#pragma once

#include <vector>

#include "disk/disk_device.h"
#include "disk/physical_disk.h"

namespace vornboot {

/// Opens disks 0, 1, 2, ... of `system` until one cannot be opened or read,
/// and returns them with their sectors 0, disk 0 first. When disk 1 holds the
/// system volume, the first two disks exchange device and sector 0 (their
/// numbers stay with their places). The disks are opened in `mode`.
std::vector<PhysicalDisk> takeInventory(DiskSystem& system, OpenMode mode = OpenMode::ReadWrite);

}  // namespace vornboot
