// Describing the disks as they are and installing that description must
// change nothing: for generated partition tables, the configuration written
// by the build mode (entry "Original", no password) is installed and booted
// on the test bench with Enter alone, and afterwards every partition table is
// exactly as before, with disk 0's active partition started.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "recover/from_partitions.h"
#include "recover/writer.h"
#include "tests/emulator/scenario.h"
#include "tests/support/memory_disks.h"

namespace vornboot {
namespace {

using emulator::Partition;
using emulator::Sector;

// Visible and hidden known types, types no table knows, and 0x12 whose
// "hidden" twin is itself. Not 0x93: met before 0x83 it forms the pair
// (0x93, 0x93), which the written file flags for the user to mend.
const std::uint8_t kTypes[] = {0x01, 0x04, 0x06, 0x07, 0x0B, 0x0C, 0x0E, 0x11, 0x16, 0x17,
                               0x1B, 0x1C, 0x83, 0x82, 0x12, 0xA5, 0x05, 0x0F, 0x15};

// An active partition is described as `active` alone, which makes it visible
// at boot: the language has no "active and hidden". So active partitions get
// visible, bootable types here.
const std::uint8_t kActiveTypes[] = {0x01, 0x04, 0x06, 0x07, 0x0B, 0x0C, 0x0E, 0x83, 0x82, 0xA5};

// A table with partitions in slots 0..k-1 and at most one active one; disk 0
// always has a bootable active partition.
std::vector<Partition> randomTable(std::mt19937& rng, bool diskZero) {
  const unsigned count = (diskZero ? 1 : 0) + rng() % (diskZero ? 4 : 5);
  std::vector<Partition> table;
  std::uint32_t next = 16;
  for (unsigned j = 0; j < count; ++j) {
    const std::uint32_t size = 16 + rng() % 64;
    table.push_back({0, kTypes[rng() % std::size(kTypes)], next, size});
    next += size + rng() % 8;
  }
  if (!table.empty() && (diskZero || rng() % 2)) {
    Partition& active = table[rng() % table.size()];
    active.bootIndicator = 0x80;
    active.type = kActiveTypes[rng() % std::size(kActiveTypes)];
  }
  return table;
}

TEST(OriginalBoot, InstallingTheDisksAsTheyAreChangesNoPartitionTable) {
  std::mt19937 rng(19);
  int booted = 0;
  for (int round = 0; round < 60; ++round) {
    const unsigned diskCount = 1 + rng() % 4;
    std::vector<Sector> sectors;
    for (unsigned k = 0; k < diskCount; ++k) {
      sectors.push_back(
          emulator::partitionSector(0x1000 + round * 16 + k, randomTable(rng, k == 0)));
    }

    // -b: the configuration of the disks as they are.
    testing::MemoryDiskSystem system;
    for (const Sector& s : sectors) system.addDisk(s.data());
    std::string text;
    {
      BootConfig config(system);
      configureFromPartitionTables(config);
      writeConfiguration(config, text, false, false);
    }
    SCOPED_TRACE(text);

    // Install it.
    const bool useExtensions = rng() % 2;
    emulator::Compiled compiled = emulator::compileResident(text, sectors, useExtensions);
    if (!compiled.ok) {
      // Only a map of nothing but self-paired types may leave the map empty.
      EXPECT_NE(compiled.messages.find("no partition map defined"), std::string::npos)
          << compiled.messages;
      continue;
    }

    // Boot it: Enter alone chooses "Original".
    bench::Pc pc;
    ASSERT_TRUE(pc.ready()) << pc.machine().error();
    std::vector<bench::DiskImage*> disks;
    for (unsigned k = 0; k < diskCount; ++k) {
      disks.push_back(&pc.disks().add(emulator::diskWith(k ? sectors[k] : compiled.image, k)));
    }
    ASSERT_EQ(pc.boot(), bench::Stop::WaitingForKey) << pc.screen().transcript();
    ASSERT_EQ(pc.type("\r"), bench::Stop::ChainLoaded) << pc.screen().transcript();
    ++booted;

    for (unsigned k = 0; k < diskCount; ++k) {
      EXPECT_EQ(0, std::memcmp(disks[k]->sector(0) + 446, sectors[k].data() + 446, 64))
          << "disk " << k;
    }
    EXPECT_EQ(0, std::memcmp(disks[0]->sector(0), compiled.image.data(), 446));
    // The active partition of disk 0 was started.
    unsigned active = 0;
    while (sectors[0][446 + 16 * active] != 0x80) ++active;
    EXPECT_EQ(emulator::tagOf(emulator::loadedSector(pc)), "0:" + std::to_string(active));
  }
  EXPECT_GT(booted, 40);
}

}  // namespace
}  // namespace vornboot
