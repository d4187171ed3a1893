#pragma once
// Installing, detecting and removing the boot manager on disk 0. Everything
// works from the copy of disk 0's sector 0 taken at start and writes, through
// the inventory's open handle, sector 0 of disk 0 and nothing else.

#include <cstdint>

#include "config/model.h"

namespace vornboot {

/// Why disk 0 cannot boot the sector that install would write.
enum class DiskZeroFault {
  None,
  NoBootSignature,  ///< sector 0 does not end in 0x55 0xAA: the BIOS boots no such disk
  GptTable,         ///< a slot has type 0xEE: the disk is GPT, which needs a GPT boot loader
  SectorSize,       ///< the logical sector size is not 512 bytes
};

/// Checks disk 0's sector 0, as read at start, and its logical sector size
/// `sectorSize` (0 when the platform could not tell, which is let pass).
/// Pure: the caller asks the disk for its sector size.
DiskZeroFault diskZeroFault(const Sector& sector0, unsigned sectorSize);

/// True when bytes 444..445 of disk 0's sector 0, as read at start, hold the
/// marker "BM" (0x4D42). False when the inventory has no disk 0. Nothing else
/// of the sector is examined.
bool IsInstalled(const BootConfig& config);

/// Writes `image` unchanged to sector 0 of disk 0, reads the sector back and
/// compares. False when there is no disk 0, or the write (with its flush), the
/// read-back or the comparison fails; what the disk then holds is whatever the
/// write left.
bool InstallImage(const BootConfig& config, const std::uint8_t image[512]);

/// Replaces the boot manager by the standard master boot program: its 446
/// bytes, with disk 0's disk signature at 440..443 and its partition table and
/// boot signature at 446..511 taken from the sector read at start; 444..445
/// become 0. Written and verified as by InstallImage. When IsInstalled is
/// false nothing is written and the result is false: callers test IsInstalled
/// first to tell "not installed" from a write error.
bool Uninstall(const BootConfig& config);

}  // namespace vornboot
