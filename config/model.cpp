#include "config/model.h"

#include "disk/inventory.h"

namespace vornboot {

const EntryDisk* BootEntry::findPlan(std::uint32_t diskNumber) const {
  for (std::size_t i = 0; i < diskPlans.count(); ++i) {
    if (diskPlans[i].planDiskNumber() == diskNumber) return &diskPlans[i];
  }
  return nullptr;
}

BootConfig::BootConfig(DiskSystem& system) {
  takeInventory(system, disks);
}

BootConfig::~BootConfig() {
  // Plans refer to disks, so entries go first; the disks close their handles.
  entries.clear();
  typeMap.clear();
  disks.clear();
}

const TypeMapping* BootConfig::findMapping(std::uint8_t typeId) const {
  for (std::size_t i = 0; i < typeMap.count(); ++i) {
    const TypeMapping& m = typeMap[i];
    if (m.originalId == typeId || m.hiddenId == typeId) return &m;
  }
  return nullptr;
}

void BootConfig::reset() {
  usedDiskCount = 0;
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
