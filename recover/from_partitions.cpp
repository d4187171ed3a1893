#include "recover/from_partitions.h"

#include "disk/mbr.h"
#include "driver/catalog.h"

namespace vornboot {
namespace {

TypeMapping mappingFor(std::uint8_t type) {
  for (const KnownPartitionType& row : KnownPartitionTypes) {
    if (row.originalId == type || row.hiddenId == type)
      return TypeMapping(row.originalId, row.hiddenId, row.name);
  }
  return TypeMapping(type, std::uint8_t(type | 0x10), "");
}

void addTypesOf(const PhysicalDisk& disk, BootConfig& config) {
  for (unsigned j = 0; j < 4; ++j) {
    std::uint8_t type = mbr::slotType(disk.sector0, j);
    if (type == 0) return;  // slots after an empty one are not looked at
    if (!config.findMapping(type)) config.typeMap.append(mappingFor(type));
  }
}

EntryDisk planFor(PhysicalDisk& disk, const BootConfig& config) {
  EntryDisk plan(&disk, disk.diskNumber);
  for (unsigned j = 0; j < 4; ++j) {
    const std::uint8_t* slot = mbr::slot(disk.sector0, j);
    std::uint8_t type = slot[mbr::kTypeId];
    if (type == 0) break;
    if (slot[mbr::kBootIndicator] != 0) {
      plan.partitionState[j] = Active;
    } else {
      // Every type on the disks is in the map by now.
      const TypeMapping* m = config.findMapping(type);
      plan.partitionState[j] = m && type == m->originalId ? Enable : Disable;
    }
  }
  return plan;
}

}  // namespace

void configureFromPartitionTables(BootConfig& config) {
  config.usedDiskCount = std::uint32_t(config.disks.count());
  for (std::size_t i = 0; i < config.disks.count(); ++i) addTypesOf(config.disks[i], config);

  BootEntry entry;
  char name[kMessageBufferSize];
  loadMessage(msgWordOriginal, name);
  entry.name.set(name);
  for (std::size_t i = 0; i < config.disks.count(); ++i)
    entry.diskPlans.append(planFor(config.disks[i], config));
  config.entries.append(entry);
}

}  // namespace vornboot
