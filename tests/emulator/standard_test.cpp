// The standard master boot program on the test bench, merged with a disk's
// signature and partition table the way uninstall writes it; every test runs
// under each BIOS mode.

#include <gtest/gtest.h>

#include "base/sector_format.h"
#include "tests/emulator/bios_modes.h"
#include "tests/emulator/scenario.h"

namespace vornboot::emulator {
namespace {

using bench::EntryPoint;
using bench::Pc;
using bench::Stop;

constexpr char kInvalidTable[] = "Invalid partition table";
constexpr char kErrorLoading[] = "Error loading operating system";
constexpr char kMissingSystem[] = "Missing operating system";
constexpr std::uint16_t kTableAddress = 0x07BE;

class StandardProgram : public BootProgramTest {};

INSTANTIATE_TEST_SUITE_P(EachBiosMode, StandardProgram, ::testing::ValuesIn(kBiosModes),
                         biosModeName);

/// Puts the standard program over `sector0` on a disk of its own as drive
/// 0x80 and boots it.
bench::DiskImage& install(Pc& pc, const Sector& sector0, std::uint32_t sectors = kDiskSectors,
                          const bench::Geometry& g = kGeometry) {
  return pc.disks().add(diskWith(standardSector(sector0), 0, sectors, g));
}

/// The message on the screen after an error stop (the first line).
std::string message(Pc& pc) {
  return pc.screen().line(0);
}

TEST_P(StandardProgram, BootsTheActivePartitionFromEitherEntryAddress) {
  for (EntryPoint entry : {EntryPoint::Zero7C00, EntryPoint::Segment07C0}) {
    for (unsigned slot = 0; slot < 4; ++slot) {
      std::vector<Partition> parts = {
          {0, 0x07, 64, 100}, {0, 0x83, 200, 100}, {0, 0x0B, 400, 100}, {0, 0x06, 600, 100}};
      parts[slot].bootIndicator = 0x80;
      Pc pc(mode(), nextSeed());
      install(pc, partitionSector(0x11223344, parts));
      SCOPED_TRACE(std::string("slot ") + std::to_string(slot));
      ASSERT_EQ(pc.boot(entry), Stop::ChainLoaded) << message(pc);
      EXPECT_EQ(tagOf(loadedSector(pc)), std::string("0:") + std::to_string(slot));
      const bench::RegisterState& r = pc.machine().chainLoadState();
      EXPECT_EQ(r.cs, 0);
      EXPECT_EQ(r.ip, 0x7C00);
      EXPECT_EQ(r.dl(), 0x80);
      EXPECT_EQ(r.ds, 0);
      EXPECT_EQ(r.si, kTableAddress + 16 * slot);
      EXPECT_EQ(pc.screen().transcript(), "");
      EXPECT_TRUE(pc.disks().calls(0x03).empty()) << "the standard program never writes";
    }
  }
}

TEST_P(StandardProgram, DriveIsTheBootIndicator) {
  // A boot indicator of 0x81 names the second BIOS drive: the boot sector is
  // read from there and started with DL = 0x81.
  Pc pc(mode(), nextSeed());
  install(pc, partitionSector(1, {{0x81, 0x07, 64, 100}}));
  bench::DiskImage& second = pc.disks().add(bench::DiskImage(kDiskSectors, kGeometry));
  second.setSector(64, taggedBootSector(1, 0).data());
  ASSERT_EQ(pc.boot(), Stop::ChainLoaded) << message(pc);
  EXPECT_EQ(tagOf(loadedSector(pc)), "1:0");
  EXPECT_EQ(pc.machine().chainLoadState().dl(), 0x81);
  for (const bench::DiskCall& c : pc.disks().calls()) {
    if (c.function == 0x02 || c.function == 0x42) {
      EXPECT_EQ(c.drive, 0x81);
    }
  }
}

TEST_P(StandardProgram, PartitionTableChecks) {
  struct Case {
    const char* name;
    std::vector<Partition> parts;
    Stop stop;
    const char* text;  // the message, or the tag of the started sector
  };
  const Case cases[] = {
      {"two active entries",
       {{0x80, 0x07, 64, 100}, {0x80, 0x07, 200, 100}},
       Stop::Halted,
       kInvalidTable},
      {"0x01 before the active entry",
       {{0x01, 0x07, 64, 100}, {0x80, 0x07, 200, 100}},
       Stop::Halted,
       kInvalidTable},
      {"0x7F after the active entry",
       {{0x80, 0x07, 64, 100}, {0, 0x07, 200, 100}, {0, 0, 0, 0}, {0x7F, 0x07, 400, 100}},
       Stop::Halted,
       kInvalidTable},
      {"no active entry", {{0, 0x07, 64, 100}, {0, 0x07, 200, 100}}, Stop::BootFailed, ""},
      {"empty table", {}, Stop::BootFailed, ""},
      {"inactive entries before the active one are skipped",
       {{0, 0x07, 64, 100}, {0, 0, 0, 0}, {0x80, 0x07, 400, 100}, {0, 0x07, 600, 100}},
       Stop::ChainLoaded,
       "0:2"},
  };
  for (const Case& c : cases) {
    Pc pc(mode(), nextSeed());
    install(pc, partitionSector(7, c.parts));
    EXPECT_EQ(pc.boot(), c.stop) << c.name;
    if (c.stop == Stop::ChainLoaded) {
      EXPECT_EQ(tagOf(loadedSector(pc)), c.text) << c.name;
    } else {
      EXPECT_EQ(message(pc), c.text) << c.name;
      // Nothing is read when the table itself is wrong.
      EXPECT_TRUE(pc.disks().calls(0x02).empty()) << c.name;
    }
  }
}

TEST_P(StandardProgram, BackupBootSectorOfFat32) {
  enum Sector6 { Good, Unsigned, Unreadable };
  struct Case {
    std::uint8_t type;
    Sector6 first;  // the partition's first sector
    Sector6 sixth;  // its sector 6
    Stop stop;
    const char* text;
  };
  const Case cases[] = {
      {0x0B, Good, Good, Stop::ChainLoaded, "0:1"},
      {0x0B, Unreadable, Good, Stop::ChainLoaded, "0:1+6"},
      {0x0C, Unsigned, Good, Stop::ChainLoaded, "0:1+6"},
      {0x0C, Unreadable, Good, Stop::ChainLoaded, "0:1+6"},
      {0x0B, Unsigned, Unsigned, Stop::Halted, kMissingSystem},
      {0x0C, Unreadable, Unsigned, Stop::Halted, kMissingSystem},
      {0x0B, Unreadable, Unreadable, Stop::Halted, kErrorLoading},
      {0x07, Unsigned, Good, Stop::Halted, kErrorLoading},
      {0x07, Unreadable, Good, Stop::Halted, kErrorLoading},
      {0x06, Unsigned, Good, Stop::Halted, kErrorLoading},
  };
  // The partition starts a track (sector 1 in CHS terms), so that sector 6
  // of it is sector 7 of the same track, as the fallback computes it.
  constexpr std::uint32_t kFirst = 5 * 64;
  for (const Case& c : cases) {
    std::string name = std::string("type ") + std::to_string(c.type) + " first " +
                       std::to_string(c.first) + " sixth " + std::to_string(c.sixth);
    Pc pc(mode(), nextSeed());
    bench::DiskImage& d =
        install(pc, partitionSector(9, {{0, 0x07, 64, 100}, {0x80, c.type, kFirst, 100}}));
    Sector backup = taggedBootSector(0, 1, 6);
    if (c.first == Unsigned) d.sector(kFirst)[511] = 0;
    if (c.first == Unreadable) d.unreadable.insert(kFirst);
    if (c.sixth == Unsigned) backup[510] = 0;
    d.setSector(kFirst + 6, backup.data());
    if (c.sixth == Unreadable) d.unreadable.insert(kFirst + 6);

    EXPECT_EQ(pc.boot(), c.stop) << name;
    if (c.stop != Stop::ChainLoaded) {
      EXPECT_EQ(message(pc), c.text) << name;
      continue;
    }
    EXPECT_EQ(tagOf(loadedSector(pc)), c.text) << name;
    // The fallback changes the table in memory only, and the hand-over
    // points at that changed entry.
    const bench::RegisterState& r = pc.machine().chainLoadState();
    EXPECT_EQ(r.si, kTableAddress + 16);
    std::uint32_t first = mbr::read32(pc.memory(kTableAddress + 16 + 8, 4).data());
    EXPECT_EQ(first, c.first == Good ? kFirst : kFirst + 6) << name;
    EXPECT_TRUE(pc.disks().calls(0x03).empty()) << name;
    EXPECT_EQ(mbr::read32(pc.disks()[0].sector(0) + 446 + 16 + 8), kFirst) << name;
  }
}

TEST_P(StandardProgram, BackupSectorNumberCarriesIntoTheUpperWord) {
  // 0xFFFC + 6 = 0x10002: beyond the CHS capacity, so read by block number.
  constexpr std::uint32_t kFirst = 0xFFFC;
  Pc pc(mode(), nextSeed());
  bench::DiskImage& d = install(pc, partitionSector(9, {{0x80, 0x0C, kFirst, 100}}), kFirst + 100);
  d.unreadable.insert(kFirst);
  d.setSector(kFirst + 6, taggedBootSector(0, 0, 6).data());
  ASSERT_EQ(pc.boot(), Stop::ChainLoaded) << message(pc);
  EXPECT_EQ(tagOf(loadedSector(pc)), "0:0+6");
  EXPECT_EQ(pc.disks().calls().back().function, 0x42);
  EXPECT_EQ(pc.disks().calls().back().lba, kFirst + 6);
}

TEST_P(StandardProgram, FiveReadsWithResets) {
  for (unsigned failures : {1u, 4u, 5u}) {
    Pc pc(mode(), nextSeed());
    bench::DiskImage& d = install(pc, partitionSector(3, {{0x80, 0x07, 64, 100}}));
    d.failFirstReads = failures;
    Stop stop = pc.boot();
    std::vector<bench::DiskCall> reads = pc.disks().calls(0x02);
    if (failures < 5) {
      ASSERT_EQ(stop, Stop::ChainLoaded) << failures << " " << message(pc);
      EXPECT_EQ(tagOf(loadedSector(pc)), "0:0");
      EXPECT_EQ(reads.size(), failures + 1);
    } else {
      EXPECT_EQ(stop, Stop::Halted);
      EXPECT_EQ(message(pc), kErrorLoading);
      EXPECT_EQ(reads.size(), 5u);
    }
    // Every failed read is followed by a reset before the next read.
    const std::vector<bench::DiskCall>& calls = pc.disks().calls();
    for (std::size_t i = 0; i + 1 < calls.size(); ++i) {
      if (calls[i].function != 0x02 || calls[i].ok) continue;
      bool resetBeforeNextRead = false;
      for (std::size_t k = i + 1; k < calls.size() && calls[k].function != 0x02; ++k)
        resetBeforeNextRead |= calls[k].function == 0x00 && calls[k].drive == 0x80;
      bool lastRead = true;
      for (std::size_t k = i + 1; k < calls.size(); ++k) lastRead &= calls[k].function != 0x02;
      if (!lastRead) {
        EXPECT_TRUE(resetBeforeNextRead) << "read " << i << ", " << failures;
      }
    }
  }
}

TEST_P(StandardProgram, ChsOrExtendedReadByCapacity) {
  // 16 cylinders x 4 heads x 16 sectors: a CHS capacity of 1024 sectors.
  const bench::Geometry small{16, 4, 16};
  // 1024 x 255 x 63 = 16450560 sectors: the capacity needs all 32 bits.
  const bench::Geometry large{1024, 255, 63};
  struct Case {
    const char* name;
    bench::Geometry geometry;
    std::uint32_t first;
    bool extensions;
    bool geometryFails;
    std::uint8_t function;  // the read that loaded the sector, or 0 for an error
  };
  const Case cases[] = {
      {"last sector within the capacity", small, 1023, true, false, 0x02},
      {"first sector beyond the capacity", small, 1024, true, false, 0x42},
      {"beyond the capacity without extensions", small, 1024, false, false, 0},
      {"within the capacity without extensions", small, 100, false, false, 0x02},
      {"geometry unknown", small, 100, true, true, 0x02},
      {"capacity above 16 bits", large, 70000, true, false, 0x02},
  };
  for (const Case& c : cases) {
    Pc pc(mode(), nextSeed());
    bench::DiskImage& d = install(pc, partitionSector(5, {{0x80, 0x07, c.first, 16}}, c.geometry),
                                  c.first + 16, c.geometry);
    d.extensions = c.extensions;
    d.failGeometry = c.geometryFails;
    Stop stop = pc.boot();
    if (c.function == 0) {
      EXPECT_EQ(stop, Stop::Halted) << c.name;
      EXPECT_EQ(message(pc), kErrorLoading) << c.name;
      EXPECT_TRUE(pc.disks().calls(0x02).empty()) << c.name << ": no CHS fallback";
      continue;
    }
    ASSERT_EQ(stop, Stop::ChainLoaded) << c.name << ": " << message(pc);
    EXPECT_EQ(tagOf(loadedSector(pc)), "0:0") << c.name;
    const bench::DiskCall& last = pc.disks().calls().back();
    EXPECT_EQ(last.function, c.function) << c.name;
    EXPECT_EQ(last.lba, c.first) << c.name;
    EXPECT_EQ(last.drive, 0x80) << c.name;
  }
}

}  // namespace
}  // namespace vornboot::emulator
