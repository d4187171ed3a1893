#include "check/disk_view.h"

#include <cstring>

namespace vornboot::check {

bool InventorySource::read(std::uint32_t lba, std::uint8_t* out) {
  if (lba == 0) {
    std::memcpy(out, disk_.sector0.data(), mbr::kSectorSize);
    return true;
  }
  auto it = read_.find(lba);
  if (it == read_.end()) {
    Sector s;
    std::optional<Sector> result;
    if (disk_.device.readSector(s.data(), lba)) result = s;
    it = read_.emplace(lba, result).first;
  }
  if (!it->second) return false;
  std::memcpy(out, it->second->data(), mbr::kSectorSize);
  return true;
}

std::vector<EmulatedDisk> emulatedDisks(const std::vector<PhysicalDisk>& inventory,
                                        const std::map<unsigned, bench::Geometry>& pinned) {
  constexpr std::uint64_t kMaxSectors = 0xFFFFFFFFu;  // what 32-bit block numbers reach
  std::vector<EmulatedDisk> disks;
  for (const PhysicalDisk& d : inventory) {
    EmulatedDisk e;
    e.source = std::make_shared<InventorySource>(d);
    const std::uint64_t count = d.device.sectorCount();
    e.sizeKnown = count != 0;
    e.sectors = std::uint32_t(count == 0 || count > kMaxSectors ? kMaxSectors : count);
    auto pin = pinned.find(d.diskNumber);
    e.geometry = pin != pinned.end() ? pin->second : bench::biosGeometry(e.sectors);
    e.sector0 = d.sector0;
    disks.push_back(std::move(e));
  }
  return disks;
}

}  // namespace vornboot::check
