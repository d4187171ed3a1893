#pragma once
// Disk image mode, on every platform: when VORNBOOT_DISKS is set, disk n is
// the n-th path of that list, opened as a drive would be, and
// VORNBOOT_SYSTEM_VOLUME names the file that stands for the system volume C:.
// An image file's drive layout is read from its own sector 0.

#include <cstdint>
#include <string>
#include <vector>

namespace vornboot {

/// Image mode stands for the raw drives \\.\PHYSICALDRIVE0 to 9, whose names
/// end in the digit of the disk number: ten disks at most, on every platform.
inline constexpr unsigned kImageModeMaxDisks = 10;

/// The disk image list: `list` split at `separator`, empty items dropped,
/// and only the first kImageModeMaxDisks kept.
std::vector<std::string> imageModePaths(const char* list, char separator);

/// The two facts of a drive layout that decide whether a disk holds the
/// system volume: the disk signature and the number of partitions.
struct DriveLayout {
  std::uint32_t signature = 0;
  std::uint32_t partitionCount = 0;
  bool operator==(const DriveLayout&) const = default;
};

/// The layout an image file's sector 0 describes: signature at 440, partition
/// count = slots with a non-zero type ID.
DriveLayout layoutOfSector0(const std::uint8_t* sector0);

}  // namespace vornboot
