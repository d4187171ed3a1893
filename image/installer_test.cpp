#include "image/installer.h"

#include <gtest/gtest.h>

#include <vector>

#include "boot/templates.h"
#include "image/compiler.h"
#include "image/image_test_support.h"

namespace vornboot {
namespace {

using testing::DiskAccess;
using testing::Machine;
using testing::makeSector0;
using testing::MemoryDiskSystem;

constexpr PartitionState U = Unspecified, A = Active, D = Disable;

// A configuration for the machine's disks, compiled.
void configure(Machine& m) {
  m.addMapping(0x07, 0x17);
  m.addMapping(0x0B, 0x1B);
  BootEntry& win = m.addEntry("Win", "\x11");
  m.addPlan(win, 0, {A, D, U, U});
  m.addPlan(m.addEntry("Dos", "\x20"), 0, {D, A, U, U});
  ASSERT_TRUE(m.compile()) << m.diagnostics;
}

std::vector<std::uint8_t> sectorOf(MemoryDiskSystem& system, unsigned disk) {
  return std::vector<std::uint8_t>(system.sector(disk), system.sector(disk) + 512);
}

// The accesses made after the inventory was taken.
std::vector<std::pair<int, std::string>> accessesSince(const MemoryDiskSystem& system,
                                                       std::size_t from) {
  std::vector<std::pair<int, std::string>> out;
  for (std::size_t i = from; i < system.log.size(); ++i) {
    const DiskAccess& a = system.log[i];
    out.push_back({a.kind, std::to_string(a.disk) + ":" + std::to_string(a.sector)});
  }
  return out;
}

const std::vector<std::uint8_t> kDiskZero =
    makeSector0(0xCAFEF00D, {{0x80, 0x07, 63, 1000}, {0x00, 0x0B, 2000, 1000}});
const std::vector<std::uint8_t> kDiskOne = makeSector0(0x12345678, {{0x80, 0x07, 63, 500}});

TEST(Installer, InstallWritesSectorZeroOfDiskZeroOnly) {
  Machine m({kDiskZero, kDiskOne});
  configure(m);
  const auto diskOneBefore = sectorOf(m.system, 1);
  const std::size_t inventoryEnd = m.system.log.size();
  ASSERT_TRUE(InstallImage(*m.config, m.image.data()));
  EXPECT_EQ(accessesSince(m.system, inventoryEnd),
            (std::vector<std::pair<int, std::string>>{{DiskAccess::ReadUncached, "0:0"},
                                                      {DiskAccess::Write, "0:0"},
                                                      {DiskAccess::ReadUncached, "0:0"}}));
  EXPECT_EQ(sectorOf(m.system, 0), m.image);
  EXPECT_EQ(sectorOf(m.system, 1), diskOneBefore);
  for (std::uint32_t s = 1; s < 64; ++s) EXPECT_EQ(m.system.sector(0, s)[0], 0) << "sector " << s;
}

TEST(Installer, InstallingTwiceGivesTheSameSector) {
  Machine first({kDiskZero});
  configure(first);
  ASSERT_TRUE(InstallImage(*first.config, first.image.data()));
  const auto installed = sectorOf(first.system, 0);

  // The next run's inventory reads the installed sector; its image must be the same.
  Machine second({installed});
  configure(second);
  EXPECT_TRUE(IsInstalled(*second.config));
  ASSERT_TRUE(InstallImage(*second.config, second.image.data()));
  EXPECT_EQ(sectorOf(second.system, 0), installed);
}

TEST(Installer, UninstallRightAfterInstall) {
  Machine first({kDiskZero, kDiskOne});
  configure(first);
  ASSERT_TRUE(InstallImage(*first.config, first.image.data()));
  const auto installed = sectorOf(first.system, 0);

  Machine second({installed, kDiskOne});
  ASSERT_TRUE(IsInstalled(*second.config));
  const std::size_t inventoryEnd = second.system.log.size();
  ASSERT_TRUE(Uninstall(*second.config));
  EXPECT_EQ(accessesSince(second.system, inventoryEnd),
            (std::vector<std::pair<int, std::string>>{{DiskAccess::ReadUncached, "0:0"},
                                                      {DiskAccess::Write, "0:0"},
                                                      {DiskAccess::ReadUncached, "0:0"}}));
  const auto after = sectorOf(second.system, 0);
  EXPECT_TRUE(std::equal(after.begin(), after.begin() + 440, boot::kStandardTemplate));
  EXPECT_EQ(after[437], 0x2C);
  EXPECT_EQ(after[438], 0x44);
  EXPECT_EQ(after[439], 0x63);
  EXPECT_TRUE(std::equal(after.begin() + 440, after.begin() + 444, kDiskZero.begin() + 440));
  EXPECT_EQ(after[444], 0);
  EXPECT_EQ(after[445], 0);
  EXPECT_TRUE(std::equal(after.begin() + 446, after.end(), kDiskZero.begin() + 446));
  EXPECT_EQ(sectorOf(second.system, 1), kDiskOne);

  Machine third({after});
  EXPECT_FALSE(IsInstalled(*third.config));
}

// Install refuses a disk 0 that cannot boot what it would write.
TEST(Installer, DiskZeroMustBeABiosMbrDiskOf512ByteSectors) {
  auto noSignature = kDiskZero;
  noSignature[511] = 0;
  const struct {
    const char* why;
    std::vector<std::uint8_t> sector0;
    unsigned sectorSize;
    DiskZeroFault fault;
  } cases[] = {
      {"an MBR disk", kDiskZero, 512, DiskZeroFault::None},
      {"a sector size the platform cannot tell", kDiskZero, 0, DiskZeroFault::None},
      {"no 0x55 0xAA", noSignature, 512, DiskZeroFault::NoBootSignature},
      {"a blank disk", std::vector<std::uint8_t>(512, 0), 512, DiskZeroFault::NoBootSignature},
      {"a GPT protective MBR", makeSector0(0, {{0, 0xEE, 1, 0xFFFFFFFF}}), 512,
       DiskZeroFault::GptTable},
      {"a hybrid MBR: 0xEE in a later slot",
       makeSector0(0, {{0x80, 0x07, 2048, 100}, {0, 0x0B, 4096, 100}, {0, 0xEE, 1, 2047}}), 512,
       DiskZeroFault::GptTable},
      {"4096-byte sectors", kDiskZero, 4096, DiskZeroFault::SectorSize},
  };
  for (const auto& c : cases) {
    Sector s;
    std::copy(c.sector0.begin(), c.sector0.end(), s.begin());
    EXPECT_EQ(diskZeroFault(s, c.sectorSize), c.fault) << c.why;
  }
}

TEST(Installer, InstalledTestLooksAtTheMarkerOnly) {
  struct Case {
    std::uint8_t b444, b445;
    bool installed;
  } cases[] = {{0x42, 0x4D, true}, {0x4D, 0x42, false}, {0x42, 0x00, false}, {0, 0, false}};
  for (const Case& c : cases) {
    auto sector = kDiskZero;  // standard code or anything: only 444..445 count
    sector[444] = c.b444;
    sector[445] = c.b445;
    Machine m({sector});
    EXPECT_EQ(IsInstalled(*m.config), c.installed);
  }
}

TEST(Installer, UninstallWithoutMarkerWritesNothing) {
  Machine m({kDiskZero});
  EXPECT_FALSE(Uninstall(*m.config));
  EXPECT_TRUE(m.system.writes().empty());
  EXPECT_EQ(sectorOf(m.system, 0), kDiskZero);
}

// Sector 0 is read again from the device right before the write: a change
// that another program made since the start is not overwritten.
TEST(Installer, ASectorZeroChangedSinceTheStartIsNotOverwritten) {
  for (bool uninstall : {false, true}) {
    auto installedSector = kDiskZero;
    installedSector[444] = 0x42;
    installedSector[445] = 0x4D;
    Machine m({installedSector});
    configure(m);
    m.system.sector(0)[mbr::kPartitionTable + mbr::kTypeId] = 0x83;  // a partitioner at work
    const auto changed = sectorOf(m.system, 0);
    const WriteResult r =
        uninstall ? Uninstall(*m.config) : InstallImage(*m.config, m.image.data());
    EXPECT_EQ(r.outcome, WriteOutcome::Changed);
    EXPECT_TRUE(m.system.writes().empty());
    EXPECT_EQ(sectorOf(m.system, 0), changed);
  }
}

// A write that fails, is short, or stores other bytes is followed by the
// copy taken at start; only the read-back decides what sector 0 now holds.
TEST(Installer, AFailedWriteIsRepairedAndTheOutcomeSaysWhatSectorZeroHolds) {
  auto installedSector = kDiskZero;
  installedSector[444] = 0x42;
  installedSector[445] = 0x4D;
  using Setup = void (*)(MemoryDiskSystem::Disk&);
  const struct {
    const char* why;
    Setup setUp;
    WriteOutcome outcome;
    DiskError::Kind error;
    std::size_t writes;
  } cases[] = {
      {"a write that stores nothing", [](auto& d) { d.failWrite = true; },
       WriteOutcome::FailedUnchanged, DiskError::System, 2},
      {"half a sector stored once, then the failure", [](auto& d) { d.failNextWrites = 1; },
       WriteOutcome::FailedUnchanged, DiskError::System, 2},
      {"two half writes: the second puts the changed half back",
       [](auto& d) { d.failNextWrites = 2; }, WriteOutcome::FailedUnchanged, DiskError::System, 2},
      {"other bytes stored once", [](auto& d) { d.corruptNextWrites = 1; },
       WriteOutcome::FailedUnchanged, DiskError::Mismatch, 2},
      {"other bytes stored every time", [](auto& d) { d.corruptWrites = true; },
       WriteOutcome::FailedDamaged, DiskError::Mismatch, 2},
      {"the read-back fails", [](auto& d) { d.readsBeforeFailure = 1; },
       WriteOutcome::FailedDamaged, DiskError::System, 2},
      {"sector 0 cannot be read again before the write", [](auto& d) { d.readsBeforeFailure = 0; },
       WriteOutcome::Unreadable, DiskError::System, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    for (bool uninstall : {false, true}) {
      Machine m({installedSector});
      configure(m);
      c.setUp(m.system.disks[0]);
      const WriteResult r =
          uninstall ? Uninstall(*m.config) : InstallImage(*m.config, m.image.data());
      EXPECT_EQ(r.outcome, c.outcome);
      EXPECT_EQ(r.error.kind, c.error);
      EXPECT_EQ(r.error.path, "d0.img");
      EXPECT_EQ(m.system.writes(), std::vector<std::string>(c.writes, "0:0"));
      if (c.outcome != WriteOutcome::FailedDamaged) {
        EXPECT_EQ(sectorOf(m.system, 0), installedSector);
      }
    }
  }
}

TEST(Installer, TheLockIsTakenOnDiskZeroOnly) {
  Machine m({kDiskZero, kDiskOne});
  m.system.disks[0].lockedByAnother = true;
  EXPECT_EQ(HoldDiskZero(*m.config), LockResult::Busy);
  m.system.disks[0].lockedByAnother = false;
  EXPECT_EQ(HoldDiskZero(*m.config), LockResult::Locked);
  EXPECT_EQ(m.system.log.back().kind, DiskAccess::Lock);
  EXPECT_EQ(m.system.log.back().disk, 0u);
}

TEST(Installer, WithoutDiskZeroNothingHappens) {
  MemoryDiskSystem none;
  BootConfig config(none);
  const std::size_t inventoryEnd = none.log.size();
  std::uint8_t image[512] = {};
  EXPECT_FALSE(IsInstalled(config));
  EXPECT_FALSE(InstallImage(config, image));
  EXPECT_FALSE(Uninstall(config));
  EXPECT_EQ(none.log.size(), inventoryEnd);
}

}  // namespace
}  // namespace vornboot
