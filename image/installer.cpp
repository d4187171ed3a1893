#include "image/installer.h"

#include <cstring>

#include "base/sector_format.h"
#include "boot/templates.h"

namespace vornboot {

namespace {

// A write can report success and still leave other bytes on the disk (a
// caching layer, a failing device): only what reads back counts.
bool writeSectorZero(const PhysicalDisk& disk, const std::uint8_t* sector) {
  Sector readBack;
  return disk.device.writeSector(sector, 0) && disk.device.readSector(readBack.data(), 0) &&
         std::memcmp(readBack.data(), sector, mbr::kSectorSize) == 0;
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

bool InstallImage(const BootConfig& config, const std::uint8_t image[512]) {
  const PhysicalDisk* disk = config.diskZero();
  return disk && writeSectorZero(*disk, image);
}

bool Uninstall(const BootConfig& config) {
  if (!IsInstalled(config)) return false;
  const PhysicalDisk& disk = *config.diskZero();
  Sector sector = disk.sector0;  // the signature, the table and 0x55 0xAA stay
  std::memcpy(sector.data(), boot::kStandardTemplate, layout::kTemplateSize);
  std::memcpy(sector.data() + mbr::kDiskSignature, disk.sector0.data() + mbr::kDiskSignature, 4);
  return writeSectorZero(disk, sector.data());
}

}  // namespace vornboot
