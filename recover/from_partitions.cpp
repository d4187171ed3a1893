#include "recover/from_partitions.h"

#include "base/catalog.h"
#include "base/sector_format.h"

namespace vornboot {
namespace {

TypeMapping mappingFor(std::uint8_t type) {
  for (const KnownPartitionType& row : KnownPartitionTypes) {
    if (row.originalId == type || row.hiddenId == type)
      return {row.originalId, row.hiddenId, FixedText(row.name)};
  }
  return {type, std::uint8_t(type | 0x10), FixedText()};
}

void addTypesOf(const PhysicalDisk& disk, BootConfig& config) {
  for (unsigned j = 0; j < mbr::kSlotCount; ++j) {
    std::uint8_t type = mbr::slotType(disk.sector0.data(), j);
    if (type == mbr::kTypeEmpty) return;  // slots after an empty one are not looked at
    // A pair for a GPT disk's protective entry would offer to hide the whole
    // disk: it is left out of the map (and the compiler refuses one).
    if (type == mbr::kTypeGptProtective) continue;
    if (!config.findMapping(type)) config.typeMap.push_back(mappingFor(type));
  }
}

EntryDisk planFor(const PhysicalDisk& disk, const BootConfig& config) {
  EntryDisk plan;
  for (unsigned j = 0; j < mbr::kSlotCount; ++j) {
    const std::uint8_t* slot = mbr::slot(disk.sector0.data(), j);
    std::uint8_t type = slot[mbr::kTypeId];
    if (type == mbr::kTypeEmpty) break;
    if (slot[mbr::kBootIndicator] != 0) {
      plan.partitionState[j] = Active;
    } else {
      // Every type on the disks is in the map by now, but the GPT type,
      // which stays visible.
      const TypeMapping* m = config.findMapping(type);
      plan.partitionState[j] = !m || type == m->originalId ? Enable : Disable;
    }
  }
  return plan;
}

}  // namespace

void configureFromPartitionTables(BootConfig& config) {
  for (const PhysicalDisk& disk : config.disks) addTypesOf(disk, config);

  BootEntry& entry = config.entries.emplace_back();
  char name[kMessageBufferSize];
  loadMessage(msgWordOriginal, name);
  entry.name.set(name);
  for (const PhysicalDisk& disk : config.disks) {
    entry.diskPlans[disk.diskNumber] = planFor(disk, config);
  }
}

}  // namespace vornboot
