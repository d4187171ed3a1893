#include "image/installer.h"

#include <cstring>

#include "base/sector_format.h"
#include "boot/templates.h"

namespace vornboot {

namespace {

bool holds(const DiskDevice& device, const std::uint8_t* expected) {
  Sector onDisk;
  return device.readSectorUncached(onDisk.data(), 0) &&
         std::memcmp(onDisk.data(), expected, mbr::kSectorSize) == 0;
}

// A write can report success and still leave other bytes on the disk (a
// caching layer, a failing device): only what reads back from the device counts.
WriteResult writeSectorZero(const PhysicalDisk& disk, const std::uint8_t* sector) {
  const DiskDevice& device = disk.device;
  Sector now;
  if (!device.readSectorUncached(now.data(), 0)) {
    return {WriteOutcome::Unreadable, device.lastError()};
  }
  if (now != disk.sector0) return {WriteOutcome::Changed, {}};

  DiskError failure;
  Sector back;
  if (!device.writeSector(sector, 0)) {
    failure = device.lastError();
  } else if (!device.readSectorUncached(back.data(), 0)) {
    failure = device.lastError();
  } else if (std::memcmp(back.data(), sector, mbr::kSectorSize) != 0) {
    failure = DiskError{DiskError::Mismatch, device.path(), "", 0, DiskError::NoRemedy};
  } else {
    return {WriteOutcome::Written, {}};
  }
  // Put the copy taken at start back; whether that worked, only the read-back
  // tells (a failed write may have left the sector as it was).
  device.writeSector(disk.sector0.data(), 0);
  const bool restored = holds(device, disk.sector0.data());
  return {restored ? WriteOutcome::FailedUnchanged : WriteOutcome::FailedDamaged, failure};
}

}  // namespace

DiskZeroFault diskZeroFault(const Sector& sector0, unsigned sectorSize) {
  if (!mbr::hasBootSignature(sector0.data())) return DiskZeroFault::NoBootSignature;
  for (unsigned j = 0; j < mbr::kSlotCount; ++j) {
    if (mbr::slotType(sector0.data(), j) == mbr::kTypeGptProtective) return DiskZeroFault::GptTable;
  }
  if (sectorSize != 0 && sectorSize != mbr::kSectorSize) return DiskZeroFault::SectorSize;
  return DiskZeroFault::None;
}

bool IsInstalled(const BootConfig& config) {
  const PhysicalDisk* disk = config.diskZero();
  return disk && mbr::read16(disk->sector0.data() + layout::kMarker) == layout::kMarkerValue;
}

LockResult HoldDiskZero(const BootConfig& config) {
  const PhysicalDisk* disk = config.diskZero();
  return disk ? disk->device.lockExclusive() : LockResult::Unsupported;
}

WriteResult InstallImage(const BootConfig& config, const std::uint8_t image[512]) {
  const PhysicalDisk* disk = config.diskZero();
  if (!disk) return {};
  return writeSectorZero(*disk, image);
}

WriteResult Uninstall(const BootConfig& config) {
  if (!IsInstalled(config)) return {};
  const PhysicalDisk& disk = *config.diskZero();
  Sector sector = disk.sector0;  // the signature, the table and 0x55 0xAA stay
  std::memcpy(sector.data(), boot::kStandardTemplate, layout::kTemplateSize);
  std::memcpy(sector.data() + mbr::kDiskSignature, disk.sector0.data() + mbr::kDiskSignature, 4);
  return writeSectorZero(disk, sector.data());
}

}  // namespace vornboot
