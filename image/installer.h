#pragma once
// Installing, detecting and removing the boot manager on disk 0. Everything
// works from the copy of disk 0's sector 0 taken at start and writes, through
// the inventory's open handle, sector 0 of disk 0 and nothing else.
//
// A write of sector 0 is guarded on both sides. Right before it, sector 0 is
// read again from the device: when another program changed it since the
// start, nothing is written. After it, the sector is read back from the
// device (not from a cache) and compared. When the write, its flush or the
// comparison fails, the copy taken at start is written back and checked the
// same way, so that the result says whether sector 0 holds its previous
// content or may be damaged.

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

/// How a write of sector 0 of disk 0 ended.
enum class WriteOutcome {
  Written,          ///< written, and the device reads back the new sector
  NoDisk,           ///< no disk 0, or (Uninstall) not installed: nothing written
  Changed,          ///< sector 0 is no longer as read at start: nothing written
  Unreadable,       ///< sector 0 could not be read again before the write: nothing written
  FailedUnchanged,  ///< the write failed; sector 0 reads back as it was at start
  FailedDamaged,    ///< the write failed and sector 0 could not be put back
};
struct WriteResult {
  WriteOutcome outcome = WriteOutcome::NoDisk;
  /// Unreadable, Failed…: the first failure (the write's, the read-back's,
  /// or a Mismatch).
  DiskError error;
  explicit operator bool() const { return outcome == WriteOutcome::Written; }
};

/// Locks disk 0 for this program until the end of the run (when its handle
/// is closed); Unsupported without disk 0.
LockResult HoldDiskZero(const BootConfig& config);

/// True when bytes 444..445 of disk 0's sector 0, as read at start, hold the
/// marker "BM" (0x4D42). False when the inventory has no disk 0. Nothing else
/// of the sector is examined.
bool IsInstalled(const BootConfig& config);

/// Writes `image` unchanged to sector 0 of disk 0, guarded as described above.
WriteResult InstallImage(const BootConfig& config, const std::uint8_t image[512]);

/// Replaces the boot manager by the standard master boot program: its 446
/// bytes, with disk 0's disk signature at 440..443 and its partition table and
/// boot signature at 446..511 taken from the sector read at start; 444..445
/// become 0. Written as by InstallImage. When IsInstalled is false nothing is
/// written and the outcome is NoDisk: callers test IsInstalled first to tell
/// "not installed" from a write error.
WriteResult Uninstall(const BootConfig& config);

}  // namespace vornboot
