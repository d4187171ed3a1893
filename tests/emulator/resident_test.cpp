// The resident boot program on the test bench, built from configuration
// texts by the real parser and compiler; every test runs under each BIOS mode.

#include <gtest/gtest.h>

#include <memory>

#include "base/sector_format.h"
#include "tests/emulator/bios_modes.h"
#include "tests/emulator/scenario.h"

namespace vornboot::emulator {
namespace {

using bench::Pc;
using bench::Stop;
using Lines = std::vector<std::string>;

class ResidentProgram : public BootProgramTest {
 protected:
  /// A machine with the compiled image on disk 0 and `sector0s[k]` on disk k.
  std::unique_ptr<Pc> machineFor(const Compiled& compiled, const std::vector<Sector>& sector0s) {
    auto pc = std::make_unique<Pc>(mode(), nextSeed());
    pc->disks().add(diskWith(compiled.image, 0));
    for (unsigned k = 1; k < sector0s.size(); ++k) pc->disks().add(diskWith(sector0s[k], k));
    return pc;
  }
};

INSTANTIATE_TEST_SUITE_P(EachBiosMode, ResidentProgram, ::testing::ValuesIn(kBiosModes),
                         biosModeName);

/// Occurrences of `text` in everything the program printed.
int printed(Pc& pc, const std::string& text) {
  int n = 0;
  const std::string& t = pc.screen().transcript();
  for (std::size_t at = t.find(text); at != std::string::npos; at = t.find(text, at + 1)) ++n;
  return n;
}

std::string loadedTag(Pc& pc) {
  return tagOf(loadedSector(pc));
}

// One disk: NTFS in slot 0 (active), Linux in slot 1, FAT32 in slot 2.
const std::vector<Sector> kOneDisk = {partitionSector(
    0xCAFE0001, {{0x80, 0x07, 64, 400}, {0x00, 0x83, 464, 400}, {0x00, 0x0B, 864, 400}})};

const char kWinLin[] = R"(
map { {0x07, 0x17} }
entry "Win" { password "win" disk 0 { active 0 } }
entry "Lin" { password "lin" disk 0 { active 1 } }
)";

TEST_P(ResidentProgram, ScreenOfTheWinLinExample) {
  for (bool extensions : {true, false}) {
    SCOPED_TRACE(extensions ? "extended-read step" : "CHS step");
    Compiled c = compileResident(kWinLin, kOneDisk, extensions);
    ASSERT_TRUE(c.ok) << c.messages;
    auto pc = machineFor(c, kOneDisk);
    ASSERT_EQ(pc->boot(), Stop::WaitingForKey);
    EXPECT_EQ(pc->screen().usedLines(),
              (Lines{"VornBoot 2.0", "", "Win", "Lin", "", "Enter password:"}));
    EXPECT_EQ(pc->screen().cursorRow(), 5u);
    EXPECT_EQ(pc->screen().cursorColumn(), 16u);
    EXPECT_EQ(pc->screen().transcript(), "VornBoot 2.0\r\n\nWin\r\nLin\r\n\nEnter password: ")
        << "nothing more, nothing echoed";

    // A wrong password: WRONG! on the same line, the prompt on the next.
    ASSERT_EQ(pc->type("wim\r"), Stop::WaitingForKey);
    EXPECT_EQ(pc->screen().usedLines(), (Lines{"VornBoot 2.0", "", "Win", "Lin", "",
                                               "Enter password: WRONG!", "Enter password:"}));
    EXPECT_EQ(pc->screen().cursorRow(), 6u);
    EXPECT_EQ(pc->screen().cursorColumn(), 16u);

    // The retry is compared from its first key on.
    ASSERT_EQ(pc->type("lin\r"), Stop::ChainLoaded);
    EXPECT_EQ(pc->screen().usedLines(),
              (Lines{"VornBoot 2.0", "", "Win", "Lin", "", "Enter password: WRONG!",
                     "Enter password: OK", "", ""}));
    EXPECT_EQ(pc->screen().cursorRow(), 8u);
    EXPECT_EQ(pc->screen().cursorColumn(), 0u);
    EXPECT_EQ(loadedTag(*pc), "0:1");
  }
}

TEST_P(ResidentProgram, RunsRelocatedAtSegmentZero) {
  Compiled c = compileResident(kWinLin, kOneDisk, true);
  ASSERT_TRUE(c.ok) << c.messages;
  auto pc = machineFor(c, kOneDisk);
  // The start-up jump from 0000:7C1E reaches 0000:061E only by wrapping at
  // 64 KiB; the waiting program must be running in the moved copy.
  ASSERT_EQ(pc->boot(), Stop::WaitingForKey);
  bench::RegisterState r = pc->machine().registers();
  EXPECT_EQ(r.cs, 0);
  EXPECT_GE(r.ip, 0x061E);
  EXPECT_LT(r.ip, 0x0600 + 264);
  EXPECT_EQ(pc->memory(0x061E, 414), Sector(c.image.begin() + 30, c.image.begin() + 444));
}

TEST_P(ResidentProgram, WhichEntryTheKeysChoose) {
  const char config[] = R"(
map { {0x07, 0x17} {0x0B, 0x1B} }
entry "Win" { password "win" disk 0 { active 0 } }
entry "Lin" { password "lin" disk 0 { active 1 } }
entry "Rescue" { disk 0 { active 2 } }
)";
  struct Case {
    const char* keys;
    int wrong;  // WRONG! texts before the choice
    const char* started;
  };
  const Case cases[] = {
      {"win\r", 0, "0:0"},       {"WIN\r", 0, "0:0"},  // capitals: the same keys
      {"LiN\r", 0, "0:1"},       {"\r", 0, "0:2"},     // Enter alone: the entry without password
      {"win\b\r\r", 1, "0:2"},                         // Backspace is a key like any other
      {"wi\r\r", 1, "0:2"},                            // too short
      {"winn\r\r", 1, "0:2"},                          // too long
      {"xwin\r\r", 1, "0:2"},                          // no match from the middle
      {"lwin\rwin\r", 1, "0:0"},                       // the retry starts afresh
      {"w\rl\rlin\r", 2, "0:1"},
  };
  Compiled c = compileResident(config, kOneDisk, true);
  ASSERT_TRUE(c.ok) << c.messages;
  for (const Case& k : cases) {
    auto pc = machineFor(c, kOneDisk);
    ASSERT_EQ(pc->boot(), Stop::WaitingForKey);
    EXPECT_EQ(pc->type(k.keys), Stop::ChainLoaded) << k.keys;
    EXPECT_EQ(printed(*pc, "WRONG!"), k.wrong) << k.keys;
    EXPECT_EQ(loadedTag(*pc), k.started) << k.keys;
    EXPECT_TRUE(pc->keyboard().empty()) << k.keys;
  }

  // Without an entry that has no password, Enter alone is a wrong password.
  Compiled noEmpty = compileResident(kWinLin, kOneDisk, true);
  ASSERT_TRUE(noEmpty.ok) << noEmpty.messages;
  auto pc = machineFor(noEmpty, kOneDisk);
  ASSERT_EQ(pc->boot(), Stop::WaitingForKey);
  EXPECT_EQ(pc->type("\r"), Stop::WaitingForKey);
  EXPECT_EQ(printed(*pc, "WRONG!"), 1);
}

TEST_P(ResidentProgram, RawScanCodesAreTypedByTheirKeys) {
  // F1 (0x3B) and "=" (0x0D) have no row in the key table; written as raw
  // codes they are matched by their keys, whatever character the key gives.
  const char config[] = R"cfg(
map { {0x07, 0x17} }
entry "Win" { password "w" disk 0 { active 0 } }
entry "Raw" { password "a(\x3B\x0D)" disk 0 { active 1 } }
)cfg";
  Compiled c = compileResident(config, kOneDisk, true);
  ASSERT_TRUE(c.ok) << c.messages;
  auto pc = machineFor(c, kOneDisk);
  ASSERT_EQ(pc->boot(), Stop::WaitingForKey);
  ASSERT_EQ(pc->type("a\r"), Stop::WaitingForKey);
  pc->keyboard().type("a");
  pc->keyboard().press(bench::Key{0x3B, 0x00});
  EXPECT_EQ(pc->type("=\r"), Stop::ChainLoaded);
  EXPECT_EQ(printed(*pc, "WRONG!"), 1);
  EXPECT_EQ(loadedTag(*pc), "0:1");
}

TEST_P(ResidentProgram, FirstMatchingEntryWins) {
  // Equal passwords cannot be configured; the model is changed between
  // parsing and compiling to get them.
  const char config[] = R"(
map { {0x07, 0x17} }
entry "A" { password "abc" disk 0 { active 1 } }
entry "B" { password "xyz" disk 0 { active 0 } }
)";
  Compiled c = compileResident(config, kOneDisk, true, [](BootConfig& model) {
    model.entries[1].password = model.entries[0].password;
  });
  ASSERT_TRUE(c.ok) << c.messages;
  auto pc = machineFor(c, kOneDisk);
  ASSERT_EQ(pc->boot(), Stop::WaitingForKey);
  EXPECT_EQ(pc->type("abc\r"), Stop::ChainLoaded);
  EXPECT_EQ(loadedTag(*pc), "0:1");
}

TEST_P(ResidentProgram, EachOfEightEntries) {
  // Entry i makes slot i % 4 of disk 0 and slot i / 4 of disk 1 active, so
  // the boot indicators on disk 1 tell entries i and i + 4 apart.
  std::string config = "map { {0x07, 0x17} }\n";
  for (int i = 0; i < 8; ++i)
    config += std::string("entry \"E") + std::to_string(i) + "\" { password \"p" +
              std::to_string(i) + "\" disk 0 { active " + std::to_string(i % 4) +
              " } disk 1 { active " + std::to_string(i / 4) + " } }\n";
  const std::vector<Sector> disks = {
      partitionSector(
          1,
          {{0x80, 0x07, 64, 100}, {0, 0x07, 200, 100}, {0, 0x07, 400, 100}, {0, 0x07, 600, 100}}),
      partitionSector(2, {{0, 0x07, 64, 100}, {0, 0x07, 200, 100}})};
  Compiled c = compileResident(config, disks, true);
  ASSERT_TRUE(c.ok) << c.messages;
  for (int i = 0; i < 8; ++i) {
    auto pc = machineFor(c, disks);
    ASSERT_EQ(pc->boot(), Stop::WaitingForKey);
    ASSERT_EQ(pc->type(std::string("p") + std::to_string(i) + "\r"), Stop::ChainLoaded) << i;
    EXPECT_EQ(loadedTag(*pc), std::string("0:") + std::to_string(i % 4)) << i;
    const std::uint8_t* disk1 = pc->disks()[1].sector(0);
    EXPECT_EQ(mbr::slot(disk1, unsigned(i / 4))[0], 0x80) << i;
    EXPECT_EQ(mbr::slot(disk1, unsigned(1 - i / 4))[0], 0x00) << i;
  }
}

// Three disks for the rewriting tests. Types 0x07/0x17, 0x0B/0x1B and
// 0x83/0x93 are mapped; 0x06 and 0x0C are not.
const std::vector<Sector> kThreeDisks = {
    partitionSector(0xD0D0D0D0, {{0x80, 0x07, 64, 400},
                                 {0x00, 0x1B, 464, 400},
                                 {0x00, 0x83, 864, 400},
                                 {0x00, 0x06, 1264, 700}}),
    partitionSector(0xD1D1D1D1, {{0x80, 0x17, 64, 400},
                                 {0x01, 0x0C, 464, 400},
                                 {0x00, 0x93, 864, 400},
                                 {0x00, 0x07, 1264, 700}}),
    partitionSector(0xD2D2D2D2, {{0x00, 0x1B, 64, 400},
                                 {0x80, 0x0B, 464, 400},
                                 {0x00, 0x00, 0, 0},
                                 {0x00, 0x17, 1264, 700}}),
};

const char kThreeDiskConfig[] = R"(
map { {0x07, 0x17} {0x0B, 0x1B} {0x83, 0x93} }
entry "Only0" {
  password "a"
  disk 0 { active 1 disable 2 }
}
entry "All" {
  password "b"
  disk 2 { active 3 disable 0 disable 1 }
  disk 1 { enable 0 disable 2 disable 1 }
  disk 0 { active 0 disable 1 disable 3 }
}
)";

/// `before` with the four (boot indicator, type ID) pairs of its table set.
Sector rewritten(const Sector& before, const std::uint8_t (&table)[4][2]) {
  Sector s(before);
  for (unsigned j = 0; j < 4; ++j) {
    s[446 + 16 * j] = table[j][0];
    s[446 + 16 * j + 4] = table[j][1];
  }
  return s;
}

TEST_P(ResidentProgram, RewritesEveryDiskInOrder) {
  struct Case {
    const char* password;
    std::uint8_t tables[3][4][2];  // per disk: (boot indicator, type) of each slot
    const char* started;
  };
  const Case cases[] = {
      // Only disk 0 named: disks 2 and 1 lose every active mark and show
      // every mapped type visible; unmapped types never change.
      {"a\r",
       {{{0x00, 0x07}, {0x80, 0x0B}, {0x00, 0x93}, {0x00, 0x06}},
        {{0x00, 0x07}, {0x00, 0x0C}, {0x00, 0x83}, {0x00, 0x07}},
        {{0x00, 0x0B}, {0x00, 0x0B}, {0x00, 0x00}, {0x00, 0x07}}},
       "0:1"},
      // Hidden stays hidden, visible becomes hidden, an unmapped type
      // stays as it is even when disabled, and so does an empty slot.
      {"b\r",
       {{{0x80, 0x07}, {0x00, 0x1B}, {0x00, 0x83}, {0x00, 0x06}},
        {{0x00, 0x07}, {0x00, 0x0C}, {0x00, 0x93}, {0x00, 0x07}},
        {{0x00, 0x1B}, {0x00, 0x1B}, {0x00, 0x00}, {0x80, 0x07}}},
       "0:0"},
  };
  for (bool extensions : {true, false}) {
    Compiled c = compileResident(kThreeDiskConfig, kThreeDisks, extensions);
    ASSERT_TRUE(c.ok) << c.messages;
    for (const Case& k : cases) {
      SCOPED_TRACE(std::string(k.password) + (extensions ? " extended" : " CHS"));
      auto pc = machineFor(c, kThreeDisks);
      ASSERT_EQ(pc->boot(), Stop::WaitingForKey);
      ASSERT_EQ(pc->type(k.password), Stop::ChainLoaded);
      EXPECT_EQ(loadedTag(*pc), k.started);
      EXPECT_EQ(printed(*pc, "Disk IO Error"), 0);
      const Sector before[3] = {c.image, kThreeDisks[1], kThreeDisks[2]};
      for (unsigned d = 0; d < 3; ++d) {
        Sector after(pc->disks()[d].sector(0), pc->disks()[d].sector(0) + 512);
        EXPECT_EQ(after, rewritten(before[d], k.tables[d])) << "disk " << d;
      }
      // Read and written back one by one, the last disk first.
      std::vector<std::pair<int, int>> order;
      for (const bench::DiskCall& call : pc->disks().calls())
        order.emplace_back(call.function, call.drive);
      ASSERT_EQ(order.size(), 7u);
      EXPECT_EQ(order, (std::vector<std::pair<int, int>>{{0x02, 0x82},
                                                         {0x03, 0x82},
                                                         {0x02, 0x81},
                                                         {0x03, 0x81},
                                                         {0x02, 0x80},
                                                         {0x03, 0x80},
                                                         {extensions ? 0x42 : 0x02, 0x80}}));
      for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(pc->disks().calls()[i].lba, 0u);
    }
  }
}

TEST_P(ResidentProgram, DoesNotUseTheEntryDrive) {
  // Some BIOSes enter with DL = 0, or with another drive than disk 0: the
  // disks are numbered from 0x80 all the same, and the started sector gets
  // DL = 0x80.
  Compiled c = compileResident(kThreeDiskConfig, kThreeDisks, true);
  ASSERT_TRUE(c.ok) << c.messages;
  for (int drive : {0x00, 0x01, 0x7F, 0x81, 0x82, 0xFF}) {
    SCOPED_TRACE(drive);
    auto pc = machineFor(c, kThreeDisks);
    pc->setEntryDrive(std::uint8_t(drive));
    ASSERT_EQ(pc->boot(), Stop::WaitingForKey);
    ASSERT_EQ(pc->type("b\r"), Stop::ChainLoaded);
    EXPECT_EQ(loadedTag(*pc), "0:0");
    EXPECT_EQ(pc->machine().chainLoadState().dl(), 0x80);
    std::vector<int> drives;
    for (const bench::DiskCall& call : pc->disks().calls()) drives.push_back(call.drive);
    EXPECT_EQ(drives, (std::vector<int>{0x82, 0x82, 0x81, 0x81, 0x80, 0x80, 0x80}));
  }
}

TEST_P(ResidentProgram, DiskErrorsLeaveTheDiskAndGoOn) {
  struct Case {
    const char* name;
    unsigned disk;
    bool failReads, failWrites;
  };
  const Case cases[] = {
      {"disk 1 unreadable", 1, true, false},
      {"disk 2 unwritable", 2, false, true},
      {"disk 0 unwritable", 0, false, true},
  };
  Compiled c = compileResident(kThreeDiskConfig, kThreeDisks, true);
  ASSERT_TRUE(c.ok) << c.messages;
  const Sector before[3] = {c.image, kThreeDisks[1], kThreeDisks[2]};
  for (const Case& k : cases) {
    auto pc = machineFor(c, kThreeDisks);
    pc->disks()[k.disk].failReads = k.failReads;
    pc->disks()[k.disk].failWrites = k.failWrites;
    ASSERT_EQ(pc->boot(), Stop::WaitingForKey) << k.name;
    ASSERT_EQ(pc->type("a\r"), Stop::ChainLoaded) << k.name;
    EXPECT_EQ(pc->screen().transcript().substr(pc->screen().transcript().find("OK")),
              "OK\r\n\nDisk IO Error\r\n")
        << k.name;
    EXPECT_EQ(loadedTag(*pc), "0:1") << k.name;
    for (unsigned d = 0; d < 3; ++d) {
      Sector after(pc->disks()[d].sector(0), pc->disks()[d].sector(0) + 512);
      EXPECT_EQ(after == before[d], d == k.disk) << k.name << ", disk " << d;
    }
  }

  // A configured disk that the machine does not have.
  const std::vector<Sector> twoDisks(kThreeDisks.begin(), kThreeDisks.begin() + 2);
  Compiled missing = compileResident(kThreeDiskConfig, twoDisks, true);
  ASSERT_TRUE(missing.ok) << missing.messages;
  EXPECT_NE(missing.messages.find("non-existent disk number"), std::string::npos);
  auto pc = machineFor(missing, twoDisks);
  ASSERT_EQ(pc->boot(), Stop::WaitingForKey);
  ASSERT_EQ(pc->type("a\r"), Stop::ChainLoaded);
  EXPECT_EQ(printed(*pc, "Disk IO Error\r\n"), 1);
  EXPECT_EQ(pc->disks()[1].sector(0)[446], 0x00) << "disk 1 rewritten all the same";
  EXPECT_EQ(loadedTag(*pc), "0:1");
}

TEST_P(ResidentProgram, BootStepsAndHandOver) {
  // Disk 0's active partition starts beyond 16 bits of block number, which
  // only the extended read reaches; the CHS step reads slot 1 of a second
  // layout within the geometry.
  constexpr std::uint32_t kFar = 0x10010;
  const std::vector<Sector> far = {
      partitionSector(0xF0F0F0F0, {{0x00, 0x07, 64, 100}, {0x80, 0x07, kFar, 100}})};
  const char config[] = R"(
map { {0x07, 0x17} }
entry "X" { password "" disk 0 { active 1 } }
)";
  struct Case {
    const char* name;
    bool extensions;
    const std::vector<Sector>* disks;
    std::uint32_t sectors;
    bool unreadable;  // the partition's boot sector cannot be read
  };
  const Case cases[] = {
      {"extended read", true, &far, kFar + 100, false},
      {"CHS read", false, &kOneDisk, kDiskSectors, false},
      {"extended read fails", true, &far, kFar + 100, true},
      {"CHS read fails", false, &kOneDisk, kDiskSectors, true},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Compiled c = compileResident(config, *k.disks, k.extensions);
    ASSERT_TRUE(c.ok) << c.messages;
    Pc pc(mode(), nextSeed());
    bench::DiskImage& d = pc.disks().add(diskWith(c.image, 0, k.sectors));
    std::uint32_t first = mbr::read32(mbr::slot(c.image.data(), 1) + mbr::kFirstSector);
    if (k.unreadable) d.unreadable.insert(first);
    ASSERT_EQ(pc.boot(), Stop::WaitingForKey);
    ASSERT_EQ(pc.type("\r"), Stop::ChainLoaded);

    const bench::DiskCall& last = pc.disks().calls().back();
    EXPECT_EQ(last.function, k.extensions ? 0x42 : 0x02);
    EXPECT_EQ(last.lba, first);
    EXPECT_EQ(last.drive, 0x80);
    const bench::RegisterState& r = pc.machine().chainLoadState();
    EXPECT_EQ(r.cs, 0);
    EXPECT_EQ(r.ip, 0x7C00);
    EXPECT_EQ(r.dl(), 0x80);
    EXPECT_EQ(r.ds, 0);
    EXPECT_EQ(r.es, 0);
    EXPECT_EQ(r.ss, 0);
    if (!k.unreadable) {
      EXPECT_EQ(loadedTag(pc), "0:1");
      EXPECT_EQ(printed(pc, "Disk IO Error"), 0);
    } else {
      // The buffer still holds disk 0's sector 0 as written back: the boot
      // manager starts again. Only the CHS step says so.
      EXPECT_EQ(loadedSector(pc), Sector(d.sector(0), d.sector(0) + 512));
      EXPECT_EQ(printed(pc, "Disk IO Error\r\n"), k.extensions ? 0 : 1);
    }
  }
}

TEST_P(ResidentProgram, NoLogoAndCustomTexts) {
  const char config[] = R"(
map { {0x07, 0x17} }
entry "Win" { password "win" disk 0 { active 0 } }
entry "Lin" { password "lin" disk 0 { active 1 } }
set {
  no_logo
  password_prompt "Pass? "
  password_wrong "Nope\r\n"
  password_ok ""
  disk_error "Bad disk!\r\n"
}
)";
  const std::vector<Sector> twoDisks = {kOneDisk[0], kThreeDisks[1]};
  std::string withDisk1 = std::string(config) +
                          R"(entry "D1" { password "d" disk 0 { active 0 } disk 1 { active 0 } })";
  Compiled c = compileResident(withDisk1, twoDisks, false);
  ASSERT_TRUE(c.ok) << c.messages;
  auto pc = machineFor(c, twoDisks);
  pc->disks()[1].failReads = true;
  ASSERT_EQ(pc->boot(), Stop::WaitingForKey);
  EXPECT_EQ(pc->screen().usedLines(), (Lines{"Win", "Lin", "D1", "Pass?"}));
  EXPECT_EQ(pc->screen().cursorColumn(), 6u);
  ASSERT_EQ(pc->type("x\r"), Stop::WaitingForKey);
  EXPECT_EQ(pc->screen().usedLines(), (Lines{"Win", "Lin", "D1", "Pass? Nope", "Pass?"}));
  ASSERT_EQ(pc->type("d\r"), Stop::ChainLoaded);
  EXPECT_EQ(pc->screen().usedLines(),
            (Lines{"Win", "Lin", "D1", "Pass? Nope", "Pass? Bad disk!", ""}));
  EXPECT_EQ(loadedTag(*pc), "0:0");
}

}  // namespace
}  // namespace vornboot::emulator
