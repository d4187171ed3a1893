#pragma once
// Which whole disk holds the root file system of a Linux host. The root's
// st_dev leads, through /sys/dev/block, to its block device; a partition
// leads to its disk, and a device-mapper, md or LVM device to the disks of
// its `slaves`, followed down. A file system whose st_dev is no block device
// (btrfs gives an anonymous one) is found through the source of "/" in the
// mount table instead.

#include <string>
#include <vector>

namespace vornboot {

/// Where the host describes its block devices and mounts. Tests point these
/// into a fake tree in a temporary folder.
struct HostTree {
  std::string sys = "/sys";
  std::string dev = "/dev";
  std::string mountInfo = "/proc/self/mountinfo";
};

/// The names (as in /sys/block: "sda", "nvme0n1") of the whole disks under
/// the sysfs device directory `node`: its own name for a whole disk, its
/// disk's for a partition, and the whole disks of its slaves for a mapped or
/// RAID device. Sorted, without repeats.
std::vector<std::string> wholeDisksUnder(const std::string& node);

/// The /dev path of the whole disk that holds "/", whose st_dev has the
/// numbers `major` and `minor`; the first in name order when the root file
/// system lies on several disks; "" when no disk holds it.
std::string rootDiskPath(const HostTree& tree, unsigned major, unsigned minor);

}  // namespace vornboot
