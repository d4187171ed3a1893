#include "image/installer.h"

#include <cstring>

#include "boot/templates.h"
#include "disk/mbr.h"
#include "image/layout.h"

namespace vornboot {

namespace {

// A write can report success and still leave other bytes on the disk (a
// caching layer, a failing device): only what reads back counts.
bool writeSectorZero(const PhysicalDisk& disk, const std::uint8_t* sector) {
  std::uint8_t readBack[layout::kSectorSize];
  return disk.device.writeSector(sector, 0) && disk.device.readSector(readBack, 0) &&
         std::memcmp(readBack, sector, layout::kSectorSize) == 0;
}

}  // namespace

bool IsInstalled(const BootConfig& config) {
  const PhysicalDisk* disk = config.diskZero();
  return disk && mbr::read16(disk->sector0 + layout::kMarker) == layout::kMarkerValue;
}

bool InstallImage(const BootConfig& config, const std::uint8_t image[512]) {
  const PhysicalDisk* disk = config.diskZero();
  return disk && writeSectorZero(*disk, image);
}

bool Uninstall(const BootConfig& config) {
  if (!IsInstalled(config)) return false;
  const PhysicalDisk& disk = *config.diskZero();
  std::uint8_t sector[layout::kSectorSize];
  std::memcpy(sector, boot::kStandardTemplate, layout::kTemplateSize);
  std::memcpy(sector + layout::kDiskSignature, disk.sector0 + layout::kDiskSignature, 4);
  std::memcpy(sector + layout::kPartitionTable, disk.sector0 + layout::kPartitionTable,
              layout::kSectorSize - layout::kPartitionTable);
  return writeSectorZero(disk, sector);
}

}  // namespace vornboot
