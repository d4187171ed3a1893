#include "disk/inventory.h"

#include <gtest/gtest.h>

#include "base/sector_format.h"
#include "tests/support/memory_disks.h"

namespace vornboot {
namespace {

using testing::DiskAccess;
using testing::makeSector0;
using testing::MemoryDiskSystem;

// Gives disk k a sector 0 that says which physical disk it is.
void addDisks(MemoryDiskSystem& system, unsigned count) {
  for (unsigned k = 0; k < count; ++k) system.addDisk(makeSector0(0x1000 + k, {}).data());
}

std::uint32_t signatureOf(const PhysicalDisk& d) {
  return mbr::signature(d.sector0.data());
}

TEST(Inventory, TakesDisksInOrderAndStopsAtTheFirstGap) {
  MemoryDiskSystem system;
  addDisks(system, 3);
  system.disks[1].failOpen = true;
  {
    std::vector<PhysicalDisk> disks = takeInventory(system);
    ASSERT_EQ(disks.size(), 1u);
    EXPECT_EQ(signatureOf(disks[0]), 0x1000u);
  }
  EXPECT_EQ(system.openHandles, 0);  // every handle closed with the inventory
}

TEST(Inventory, ADiskThatOpensButCannotBeReadEndsItAndIsClosed) {
  MemoryDiskSystem system;
  addDisks(system, 3);
  system.disks[1].failRead = true;
  std::vector<PhysicalDisk> disks = takeInventory(system);
  EXPECT_EQ(disks.size(), 1u);
  EXPECT_EQ(system.openHandles, 1);
}

TEST(Inventory, NoSystemVolumeTestWithOneDisk) {
  MemoryDiskSystem system;
  addDisks(system, 1);
  std::vector<PhysicalDisk> disks = takeInventory(system);
  for (const DiskAccess& a : system.log) EXPECT_NE(a.kind, DiskAccess::SystemVolume);
}

TEST(Inventory, TheDiskHoldingTheSystemVolumeBecomesDiskZero) {
  MemoryDiskSystem system;
  addDisks(system, 3);
  system.disks[1].holdsSystemVolume = true;
  std::vector<PhysicalDisk> disks = takeInventory(system);
  ASSERT_EQ(disks.size(), 3u);
  EXPECT_EQ(signatureOf(disks[0]), 0x1001u);
  EXPECT_EQ(signatureOf(disks[1]), 0x1000u);
  EXPECT_EQ(signatureOf(disks[2]), 0x1002u);
  for (unsigned k = 0; k < 3; ++k) EXPECT_EQ(disks[k].diskNumber, k);
  // Writes to disk 0 reach physical disk 1.
  std::uint8_t sector[512] = {0x5A};
  ASSERT_TRUE(disks[0].device.writeSector(sector, 0));
  EXPECT_EQ(system.sector(1)[0], 0x5A);
}

TEST(Inventory, OnlyDiskOneIsAskedAndDiskZeroHoldingItChangesNothing) {
  MemoryDiskSystem system;
  addDisks(system, 3);
  system.disks[0].holdsSystemVolume = true;
  system.disks[2].holdsSystemVolume = true;
  std::vector<PhysicalDisk> disks = takeInventory(system);
  EXPECT_EQ(signatureOf(disks[0]), 0x1000u);
  EXPECT_EQ(signatureOf(disks[2]), 0x1002u);
}

TEST(Inventory, TakesAsManyDisksAsTheSystemHas) {
  // The limit of ten is the Windows device names' (and image mode's), not the
  // inventory's.
  MemoryDiskSystem system;
  addDisks(system, 12);
  std::vector<PhysicalDisk> disks = takeInventory(system);
  EXPECT_EQ(disks.size(), 12u);
}

TEST(Inventory, EmptyWhenNoDiskCanBeRead) {
  MemoryDiskSystem system;
  EXPECT_TRUE(takeInventory(system).empty());
}

}  // namespace
}  // namespace vornboot
