#include "config/model.h"

#include <algorithm>

#include "disk/inventory.h"

namespace vornboot {

const EntryDisk* BootEntry::findPlan(std::uint32_t diskNumber) const {
  const auto it = diskPlans.find(diskNumber);
  return it == diskPlans.end() ? nullptr : &it->second;
}

bool DisplaySettings::empty() const {
  return !noLogo && std::none_of(texts_.begin(), texts_.end(), [](const auto& t) { return t; });
}

BootConfig::BootConfig(DiskSystem& system) : disks(takeInventory(system)) {}

std::uint32_t BootConfig::usedDiskCount() const {
  std::uint32_t count = 0;
  for (const BootEntry& entry : entries) {
    if (!entry.diskPlans.empty()) count = std::max(count, entry.diskPlans.rbegin()->first + 1);
  }
  return count;
}

const TypeMapping* BootConfig::findMapping(std::uint8_t typeId) const {
  for (const TypeMapping& m : typeMap) {
    if (m.originalId == typeId || m.hiddenId == typeId) return &m;
  }
  return nullptr;
}

void BootConfig::reset() {
  typeMap.clear();
  entries.clear();
  display.reset();
}

const char* knownTypeName(std::uint8_t typeId) {
  for (const KnownPartitionType& row : KnownPartitionTypes) {
    if (row.originalId == typeId) return row.name;
  }
  return nullptr;
}

}  // namespace vornboot
