#include "recover/from_partitions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/sector_format.h"
#include "tests/support/memory_disks.h"

namespace vornboot {
namespace {

using testing::makeSector0;
using testing::MemoryDiskSystem;

/// Boot indicator, type ID, first sector and sector count of a slot.
struct Slot {
  std::uint8_t bootIndicator, typeId;
  std::uint32_t firstSector, sectorCount;
};

struct Pair {
  std::uint8_t original, hidden;
  std::string name;
  bool operator==(const Pair&) const = default;
};
using States = std::vector<PartitionState>;  // four per disk, disk after disk

struct Case {
  const char* why;
  std::vector<std::vector<Slot>> disks;
  std::vector<Pair> map;
  States states;
};

constexpr PartitionState U = Unspecified, E = Enable, A = Active, D = Disable;

TEST(FromPartitions, MapAndPlanFollowTheTables) {
  const Case cases[] = {
      {"an empty first slot hides the rest of the table",
       {{{0, 0, 0, 0}, {0x80, 0x07, 63, 100}}},
       {},
       {U, U, U, U}},
      {"slots after an empty one are ignored",
       {{{0x80, 0x07, 63, 100}, {0, 0, 0, 0}, {0, 0x0B, 200, 100}}},
       {{0x07, 0x17, "HPFS/NTFS"}},
       {A, U, U, U}},
      {"an unknown type with bit 0x10 set pairs with itself",
       {{{0x80, 0x12, 63, 100}, {0, 0x12, 200, 100}}},
       {{0x12, 0x12, ""}},
       {A, E, U, U}},
      {"0x93 before 0x83 gives two pairs",
       {{{0x80, 0x93, 63, 100}, {0, 0x83, 200, 100}}},
       {{0x93, 0x93, ""}, {0x83, 0x93, ""}},
       {A, E, U, U}},
      {"0x83 before 0x93 gives one pair, the 0x93 partition hidden",
       {{{0x80, 0x83, 63, 100}, {0, 0x93, 200, 100}}},
       {{0x83, 0x93, ""}},
       {A, D, U, U}},
      {"a hidden known type brings its known pair",
       {{{0, 0x17, 63, 100}, {0x80, 0x0C, 200, 100}}},
       {{0x07, 0x17, "HPFS/NTFS"}, {0x0C, 0x1C, "FAT32x"}},
       {D, A, U, U}},
      {"the same type on several disks gives one pair",
       {{{0x80, 0x07, 63, 100}}, {{0, 0x07, 63, 100}, {0, 0x17, 200, 10}}},
       {{0x07, 0x17, "HPFS/NTFS"}},
       {A, U, U, U, E, D, U, U}},
      {"a GPT protective entry gets no pair (hiding it hides the disk) and stays visible",
       {{{0, 0xEE, 1, 0xFFFFFFFF}}},
       {},
       {E, U, U, U}},
      {"a hybrid MBR: the GPT entry is left out of the map, the others are not",
       {{{0x80, 0x07, 2048, 100}, {0, 0xEE, 1, 2047}, {0, 0x0C, 4096, 100}}},
       {{0x07, 0x17, "HPFS/NTFS"}, {0x0C, 0x1C, "FAT32x"}},
       {A, E, E, U}},
      {"every active partition stays active, any non-zero indicator counts",
       {{{0x80, 0x06, 63, 100}, {0x01, 0x0B, 200, 100}, {0, 0x1B, 300, 1}, {0xFF, 0x05, 400, 1}}},
       {{0x06, 0x16, "FAT16b"}, {0x0B, 0x1B, "FAT32"}, {0x05, 0x15, "EXTENDED"}},
       {A, A, D, A}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    MemoryDiskSystem system;
    for (const auto& slots : c.disks) {
      std::vector<std::uint8_t> s = makeSector0(7, {});
      std::uint8_t* slot = s.data() + mbr::kPartitionTable;
      for (const Slot& one : slots) {
        slot[mbr::kBootIndicator] = one.bootIndicator;
        slot[mbr::kTypeId] = one.typeId;
        mbr::write32(slot + mbr::kFirstSector, one.firstSector);
        mbr::write32(slot + mbr::kSectorCount, one.sectorCount);
        slot += mbr::kSlotSize;
      }
      system.addDisk(s.data());
    }
    BootConfig config(system);
    configureFromPartitionTables(config);

    EXPECT_EQ(config.usedDiskCount(), c.disks.size());
    std::vector<Pair> map;
    for (const TypeMapping& m : config.typeMap) {
      map.push_back({m.originalId, m.hiddenId, m.typeName.c_str()});
    }
    EXPECT_EQ(map, c.map);

    ASSERT_EQ(config.entries.size(), 1u);
    const BootEntry& entry = config.entries[0];
    EXPECT_STREQ(entry.name.c_str(), "Original");
    EXPECT_TRUE(entry.password.empty());
    States states;
    std::uint32_t next = 0;
    for (const auto& [number, plan] : entry.diskPlans) {
      EXPECT_EQ(number, next++);
      for (PartitionState s : plan.partitionState) states.push_back(s);
    }
    EXPECT_EQ(next, config.disks.size());
    EXPECT_EQ(states, c.states);
  }
}

TEST(FromPartitions, EmptyInventoryGivesTheEntryWithoutPlans) {
  MemoryDiskSystem system;
  BootConfig config(system);
  configureFromPartitionTables(config);
  EXPECT_EQ(config.usedDiskCount(), 0u);
  EXPECT_TRUE(config.typeMap.empty());
  ASSERT_EQ(config.entries.size(), 1u);
  EXPECT_STREQ(config.entries[0].name.c_str(), "Original");
  EXPECT_TRUE(config.entries[0].diskPlans.empty());
  EXPECT_TRUE(config.display.empty());
}

}  // namespace
}  // namespace vornboot
