// VornBootCheck on the emulated PC over in-memory disks: what it finds per
// entry, that it reads nothing but the sectors the boot program reads and
// writes nothing at all, the interactive keys, and its small parts.

#include "check/check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "check/boot_sector.h"
#include "check/findings.h"
#include "check/interactive.h"
#include "check/json.h"
#include "check/options.h"
#include "config/parser.h"
#include "disk/inventory.h"
#include "image/compiler.h"
#include "tests/emulator/scenario.h"
#include "tests/support/captured_stream.h"
#include "tests/support/memory_disks.h"
#include "tests/support/string_input.h"

namespace vornboot::check {
namespace {

using emulator::Partition;
using emulator::partitionSector;
using emulator::taggedBootSector;
using Kinds = std::vector<ProblemKind>;
using testing::DiskAccess;
using testing::MemoryDiskSystem;

// 2048-sector disks, their CHS fields written for the BIOS geometry of that size.
constexpr std::uint32_t kSectors = 2048;
const bench::Geometry kBios = bench::biosGeometry(kSectors);

// Disk 0: NTFS active in slot 0, the slot under test in slot 1.
constexpr std::uint32_t kFirst = 64, kSecond = 300;

/// Disks in memory with a table and, at each partition's start, a tagged boot sector.
struct Machine {
  MemoryDiskSystem system;
  void add(const std::vector<Partition>& parts, std::uint32_t sectors = kSectors) {
    const unsigned k = unsigned(system.disks.size());
    const emulator::Sector s0 = partitionSector(0xC0DE0000 + k, parts, kBios);
    system.addDisk(s0.data(), sectors);
    for (unsigned j = 0; j < parts.size(); ++j)
      if (parts[j].first < sectors) put(k, parts[j].first, taggedBootSector(k, j));
  }
  void put(unsigned disk, std::uint32_t lba, const emulator::Sector& s) {
    std::memcpy(system.sector(disk, lba), s.data(), mbr::kSectorSize);
  }
};

/// Every entry tried as the program tries it: the configuration compiled
/// over the disks, each entry booted with its password.
std::vector<EntryFindings> tryEntries(Machine& m, const std::string& text, bool chsStep = false,
                                      const std::map<unsigned, bench::Geometry>& pinned = {}) {
  BootConfig config(takeInventory(m.system, OpenMode::ReadOnly));
  testing::StringInput input(text);
  testing::CapturedStream messages;
  const Diagnostics diagnostics("c.txt", messages.file());
  TrialSetup setup;
  EXPECT_EQ(parseConfiguration(config, input, diagnostics), kParseAccepted) << messages.text();
  EXPECT_TRUE(CompileImage(config, setup.bootSector.data(), diagnostics, !chsStep))
      << messages.text();
  setup.disks = emulatedDisks(config.disks, pinned);
  setup.chsStep = chsStep;
  setup.configuredDisks = config.usedDiskCount();
  std::vector<EntryFindings> found;
  for (const BootEntry& e : config.entries) {
    const Trial t = tryBoot(setup.disks, setup.bootSector, passwordKeys(e.password.c_str()));
    found.push_back(assess(setup, e.name.c_str(), e.password.length(), t));
  }
  return found;
}

Kinds kindsOf(const EntryFindings& f) {
  Kinds k;
  for (const Problem& p : f.problems) k.push_back(p.kind);
  return k;
}

/// A FAT or NTFS boot sector with `hidden` hidden sectors.
emulator::Sector fileSystemSector(FileSystem fs, std::uint32_t hidden) {
  emulator::Sector s(512, 0);
  s[0] = 0xEB;
  s[11] = 0x00;  // 512 bytes per sector
  s[12] = 0x02;
  mbr::write32(&s[28], hidden);
  switch (fs) {
    case FileSystem::Ntfs:
      std::memcpy(&s[3], "NTFS    ", 8);
      break;
    case FileSystem::Fat32:
      s[66] = 0x29;
      std::memcpy(&s[82], "FAT32   ", 8);
      break;
    default:
      s[38] = 0x29;
      std::memcpy(&s[54], fs == FileSystem::Fat12 ? "FAT12   " : "FAT16   ", 8);
      break;
  }
  s[510] = 0x55;
  s[511] = 0xAA;
  return s;
}

const char kStartSlot1[] = R"(map { {0x07, 0x17} {0x0B, 0x1B} }
entry "A" { password "a" disk 0 { active 1 disable 0 } })";

TEST(Findings, TheStartedBootSector) {
  emulator::Sector unsignedTag = taggedBootSector(0, 1);
  unsignedTag[511] = 0;
  struct Case {
    const char* name;
    std::uint8_t type;
    emulator::Sector boot;
    Kinds kinds;
  };
  const Case cases[] = {
      {"a signed boot sector", 0x83, taggedBootSector(0, 1), {}},
      {"an empty one", 0x83, emulator::Sector(512, 0), {ProblemKind::Empty}},
      {"one without 0x55 0xAA", 0x83, unsignedTag, {ProblemKind::Unsigned}},
      {"FAT32 at its start", 0x0B, fileSystemSector(FileSystem::Fat32, kSecond), {}},
      {"FAT32 made for 63",
       0x0B,
       fileSystemSector(FileSystem::Fat32, 63),
       {ProblemKind::HiddenSectors}},
      {"FAT12 made elsewhere",
       0x01,
       fileSystemSector(FileSystem::Fat12, 1),
       {ProblemKind::HiddenSectors}},
      {"FAT16 at its start", 0x06, fileSystemSector(FileSystem::Fat16, kSecond), {}},
      {"NTFS made elsewhere",
       0x07,
       fileSystemSector(FileSystem::Ntfs, 2048),
       {ProblemKind::HiddenSectors}},
      {"a GPT disk's protective partition", 0xEE, taggedBootSector(0, 1), {ProblemKind::Gpt}},
  };
  for (const Case& c : cases) {
    Machine m;
    m.add({{0x80, 0x07, kFirst, 200}, {0, c.type, kSecond, 200}});
    m.put(0, kSecond, c.boot);
    const std::vector<EntryFindings> f = tryEntries(m, kStartSlot1);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(kindsOf(f[0]), c.kinds) << c.name;
    ASSERT_TRUE(f[0].started) << c.name;
    EXPECT_EQ(f[0].started->slot, 1) << c.name;
    EXPECT_EQ(f[0].started->lba, kSecond) << c.name;
    EXPECT_TRUE(f[0].started->read) << c.name;
    EXPECT_EQ(f[0].boots(), c.kinds.empty()) << c.name;
  }
}

TEST(Findings, SlotChangesAndTheTablesAfter) {
  Machine m;
  m.add({{0x80, 0x07, kFirst, 200}, {0, 0x0B, kSecond, 200}});
  m.add({{0, 0x1B, kFirst, 200}});
  const std::vector<EntryFindings> f = tryEntries(m, std::string(kStartSlot1) + R"(
entry "B" { password "b" disk 0 { active 0 } disk 1 { disable 0 } })");
  ASSERT_EQ(f.size(), 2u);
  // A: slot 0 inactive and hidden, slot 1 active; disk 1's hidden FAT32 visible.
  ASSERT_EQ(f[0].changes.size(), 3u);
  const SlotChange& hidden = f[0].changes[0];
  EXPECT_EQ((std::pair{hidden.disk, hidden.slot}), (std::pair{0u, 0u}));
  EXPECT_EQ((std::pair{hidden.before.indicator, hidden.before.type}),
            (std::pair<std::uint8_t, std::uint8_t>{0x80, 0x07}));
  EXPECT_EQ((std::pair{hidden.after.indicator, hidden.after.type}),
            (std::pair<std::uint8_t, std::uint8_t>{0x00, 0x17}));
  EXPECT_EQ(f[0].changes[1].after.indicator, 0x80);
  EXPECT_EQ((std::pair{f[0].changes[2].disk, f[0].changes[2].after.type}),
            (std::pair<unsigned, std::uint8_t>{1, 0x0B}));
  EXPECT_EQ(f[0].trial.after[1][446 + 4], 0x0B);
  EXPECT_TRUE(f[0].boots());
  // B leaves disk 0 as it is, and disk 1's FAT32 stays hidden.
  EXPECT_TRUE(f[1].changes.empty());
  EXPECT_EQ(f[1].started->slot, 0);
  const std::vector<std::string> prompt = {"VornBoot 2.0", "", "A", "B", "", "Enter password: OK"};
  EXPECT_EQ(std::vector<std::string>(f[1].trial.screen.begin(), f[1].trial.screen.begin() + 6),
            prompt);
}

TEST(Findings, WhatTheBootProgramCannotDo) {
  {  // A partition that starts past the disk's end.
    Machine m;
    m.add({{0x80, 0x07, kFirst, 200}, {0, 0x83, 4000, 200}});
    const std::vector<EntryFindings> f = tryEntries(m, kStartSlot1);
    EXPECT_EQ(kindsOf(f[0]), Kinds{ProblemKind::NotRead});
    EXPECT_EQ(f[0].started->lba, 4000u);
    EXPECT_FALSE(f[0].started->read);
  }
  {  // A disk that the configuration names and the machine lacks.
    Machine m;
    m.add({{0x80, 0x07, kFirst, 200}});
    const std::vector<EntryFindings> f =
        tryEntries(m, R"(map { {7, 0x17} } entry "A" { disk 0 { active 0 } disk 1 { } })");
    EXPECT_EQ(kindsOf(f[0]), Kinds{ProblemKind::MissingDisk});
    EXPECT_EQ(f[0].problems[0].text,
              "disk 1 of the configuration is not present: the boot program shows its "
              "disk-error text");
    EXPECT_EQ(f[0].started->slot, 0);
  }
  {  // A password the boot program refuses; an image that stops by itself.
    Machine m;
    m.add({{0x80, 0x07, kFirst, 200}});
    BootConfig config(takeInventory(m.system, OpenMode::ReadOnly));
    TrialSetup setup;
    setup.disks = emulatedDisks(config.disks, {});
    emulator::Compiled c = emulator::compileResident(
        R"(map { {7, 0x17} } entry "A" { password "a" disk 0 { active 0 } })",
        {std::vector<std::uint8_t>(config.disks[0].sector0.begin(), config.disks[0].sector0.end())},
        true);
    ASSERT_TRUE(c.ok) << c.messages;
    std::memcpy(setup.bootSector.data(), c.image.data(), 512);
    EXPECT_EQ(kindsOf(assess(setup, "A", 1,
                             tryBoot(setup.disks, setup.bootSector, passwordKeys("\x30")))),
              Kinds{ProblemKind::Refused});

    struct Stops {
      std::vector<std::uint8_t> code;
      ProblemKind kind;
    };
    const Stops stops[] = {
        {{0x90, 0xEB, 0xFE}, ProblemKind::Halted},                // jmp $
        {{0x90, 0x40, 0xEB, 0xFD}, ProblemKind::Loop},            // inc ax; jmp back
        {{0xCD, 0x18}, ProblemKind::BootFailed},                  // INT 18h
        {{0xCD, 0x15}, ProblemKind::Interrupt},                   // a service the BIOS lacks
        {{0xEA, 0x00, 0x7C, 0x00, 0x00}, ProblemKind::NoPrompt},  // jmp 0:7C00
    };
    for (const Stops& s : stops) {
      Sector image = config.disks[0].sector0;
      std::copy(s.code.begin(), s.code.end(), image.begin());
      const EntryFindings f = assess(setup, "A", 0, tryBoot(setup.disks, image, {bench::kEnter}));
      ASSERT_FALSE(f.problems.empty());
      EXPECT_EQ(f.problems[0].kind, s.kind) << problemKindName(s.kind);
    }
  }
}

TEST(Findings, ChsBootStepUnderTheGeometry) {
  // The CHS fields are written for 2/16/63; the boot step reads with the
  // geometry of the BIOS, which may disagree.
  struct Case {
    const char* name;
    std::map<unsigned, bench::Geometry> pinned;
    Kinds kinds;
  };
  const Case cases[] = {
      {"the BIOS geometry of the size", {}, {}},
      {"fewer sectors per track",
       {{0, bench::Geometry{4, 16, 50}}},
       {ProblemKind::NotPartitionStart, ProblemKind::Empty, ProblemKind::ChsMismatch}},
      {"fewer heads",
       {{0, bench::Geometry{2, 4, 63}}},
       {ProblemKind::NotRead, ProblemKind::ChsOutside}},
  };
  for (const Case& c : cases) {
    Machine m;
    m.add({{0x80, 0x07, kFirst, 200}, {0, 0x83, kSecond, 200}});
    const std::vector<EntryFindings> f = tryEntries(m, kStartSlot1, true, c.pinned);
    EXPECT_EQ(kindsOf(f[0]), c.kinds) << c.name;
    ASSERT_TRUE(f[0].started && f[0].started->chs) << c.name;
    EXPECT_EQ(f[0].started->slot, c.kinds.empty() || !f[0].started->addressed ? 1 : -1) << c.name;
  }
  // Without -x the CHS fields are not looked at.
  Machine m;
  m.add({{0x80, 0x07, kFirst, 200}, {0, 0x83, kSecond, 200}});
  const std::vector<EntryFindings> f =
      tryEntries(m, kStartSlot1, false, {{0, bench::Geometry{2, 4, 63}}});
  EXPECT_TRUE(f[0].boots());
  EXPECT_FALSE(f[0].started->chs);
}

// --- The whole program: read-only, and only the sectors the boot program reads.

/// A host with in-memory disks, one configuration file, and keys to type.
class FakeHost : public Platform, public Terminal {
 public:
  MemoryDiskSystem disks_;
  std::string config;
  std::string keys;
  std::string shown;

  bool isNtFamily() override { return true; }
  bool slashOptions() override { return false; }
  bool namesBlockDevice(const char*) override { return false; }
  DiskSystem& disks() override { return disks_; }
  std::unique_ptr<InputStream> openForReading(const char* name) override {
    if (std::string(name) != "c.txt") return nullptr;
    return std::make_unique<testing::StringInput>(config);
  }
  std::unique_ptr<OutputFile> createForWriting(const char*, bool) override { return nullptr; }

  bool available() override { return true; }
  bool enterRaw() override { return true; }
  void leaveRaw() override {}
  bool readByte(unsigned char& byte) override {
    if (keys.empty()) return false;
    byte = static_cast<unsigned char>(keys[0]);
    keys.erase(0, 1);
    return true;
  }
  void write(const char* data, std::size_t size) override { shown.append(data, size); }
};

struct Outcome {
  int status;
  std::string out, err;
};

Outcome run(FakeHost& host, std::vector<const char*> args) {
  args.insert(args.begin(), "VornBootCheck");
  testing::CapturedStream out, err;
  const int status = runCheck(int(args.size()), args.data(), host, &host, out.file(), err.file());
  return {status, out.text(), err.text()};
}

const char kThreeEntries[] = R"(map { {0x07, 0x17} {0x83, 0x93} }
entry "Win" { password "win" disk 0 { active 0 } disk 1 { disable 0 } }
entry "Lin" { password "lin" disk 0 { active 1 } }
entry "Data" { disk 0 { active 0 } disk 1 { active 1 } })";

TEST(Program, ReadsOnlyWhatTheBootProgramReadsAndWritesNothing) {
  struct Case {
    const char* name;
    std::vector<const char*> args;
    std::string keys;  // typed in the interactive mode
    bool installed;    // the configuration is installed on disk 0 first
    std::set<std::pair<unsigned, std::uint32_t>> started;
  };
  const std::set<std::pair<unsigned, std::uint32_t>> both = {{0, kFirst}, {0, kSecond}};
  const Case cases[] = {
      {"text report", {"c.txt"}, "", false, both},
      {"CHS boot step", {"-x", "c.txt"}, "", false, both},
      {"JSON", {"--json", "c.txt"}, "", false, both},
      {"the installed boot manager", {}, "", true, both},
      {"interactive", {"-i", "c.txt"}, "lim\rlin\r", false, {{0, kSecond}}},
  };
  for (const Case& c : cases) {
    FakeHost host;
    host.config = kThreeEntries;
    host.keys = c.keys;
    for (unsigned k = 0; k < 3; ++k) {
      const emulator::Sector s0 =
          partitionSector(k, {{0x80, 0x07, kFirst, 200}, {0, 0x83, kSecond, 200}}, kBios);
      host.disks_.addDisk(s0.data(), kSectors);
      for (unsigned j = 0; j < 2; ++j)
        std::memcpy(host.disks_.sector(k, j ? kSecond : kFirst), taggedBootSector(k, j).data(),
                    512);
    }
    if (c.installed) {
      emulator::Compiled compiled = emulator::compileResident(
          kThreeEntries, {emulator::Sector(host.disks_.sector(0), host.disks_.sector(0) + 512)},
          true);
      ASSERT_TRUE(compiled.ok);
      std::memcpy(host.disks_.sector(0), compiled.image.data(), 512);
    }
    const std::vector<std::uint8_t> before = host.disks_.disks[0].bytes;

    const Outcome r = run(host, c.args);
    EXPECT_EQ(r.status, CheckBoots) << c.name << "\n" << r.out << r.err;
    std::set<std::pair<unsigned, std::uint32_t>> reads;
    for (const DiskAccess& a : host.disks_.log) {
      EXPECT_NE(a.kind, DiskAccess::Write) << c.name;
      EXPECT_NE(a.kind, DiskAccess::Open) << c.name << ": a disk opened for writing";
      if (a.kind == DiskAccess::Read) {
        EXPECT_TRUE(reads.insert({a.disk, a.sector}).second)
            << c.name << ": disk " << a.disk << " sector " << a.sector << " read twice";
      }
    }
    std::set<std::pair<unsigned, std::uint32_t>> expected = c.started;
    for (unsigned k = 0; k < 3; ++k) expected.insert({k, 0});
    EXPECT_EQ(reads, expected) << c.name;
    EXPECT_EQ(host.disks_.disks[0].bytes, before) << c.name;
    EXPECT_EQ(host.disks_.openHandles, 0) << c.name;
  }
}

TEST(Program, InteractiveSessionShowsTheScreenAndReportsTheChoice) {
  FakeHost host;
  host.config = kThreeEntries;
  for (std::uint32_t signature : {1, 2})
    host.disks_.addDisk(
        partitionSector(signature, {{0x80, 0x07, kFirst, 200}, {0, 0x83, kSecond, 200}}, kBios)
            .data(),
        kSectors);
  std::memcpy(host.disks_.sector(0, kSecond), taggedBootSector(0, 1).data(), 512);
  // A cursor key and an unknown character are not keys; Backspace is one.
  host.keys = "w\x1b[Ain=\x7f\rlin\r";
  const Outcome r = run(host, {"-i", "c.txt"});
  EXPECT_EQ(r.status, CheckBoots) << r.out << r.err;
  EXPECT_NE(host.shown.find("Enter password: WRONG!\r\nEnter password: OK\r\n"), std::string::npos)
      << host.shown;
  EXPECT_NE(r.out.find("entry \"Lin\"\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  started: disk 0 slot 1, type 0x83 Unknown, start 300, size 200\n"),
            std::string::npos)
      << r.out;

  // Ctrl-C at the prompt ends the check: nothing was chosen.
  host.keys = "li\x03";
  host.shown.clear();
  const Outcome ended = run(host, {"-i", "c.txt"});
  EXPECT_EQ(ended.status, CheckProblems);
  EXPECT_NE(ended.out.find("problem: the check ended before the boot program handed over"),
            std::string::npos)
      << ended.out;
}

// --- Parts -----------------------------------------------------------------

TEST(Parts, KeysOfTerminalBytes) {
  struct Case {
    unsigned char byte;
    KeyMeaning meaning;
    std::uint8_t scan;
  };
  const Case cases[] = {
      {'a', KeyMeaning::Key, 0x1E},  {'A', KeyMeaning::Key, 0x1E},  {'/', KeyMeaning::Key, 0x35},
      {' ', KeyMeaning::Key, 0x39},  {'\r', KeyMeaning::Key, 0x1C}, {'\n', KeyMeaning::Key, 0x1C},
      {0x7F, KeyMeaning::Key, 0x0E}, {'=', KeyMeaning::Ignore, 0},  {0x80, KeyMeaning::Ignore, 0},
      {0x03, KeyMeaning::End, 0},    {0x04, KeyMeaning::End, 0},
  };
  for (const Case& c : cases) {
    bench::Key key{};
    EXPECT_EQ(keyOfByte(c.byte, key), c.meaning) << int(c.byte);
    if (c.meaning == KeyMeaning::Key) {
      EXPECT_EQ(key.scan, c.scan) << int(c.byte);
    }
  }
}

TEST(Parts, CommandLine) {
  struct Case {
    std::vector<const char*> args;
    const char* file;
    bool chs, interactive, json;
    const char* save;
    MessageId error;
  };
  const Case cases[] = {
      {{"c.txt"}, "c.txt", false, false, false, "", MessageId(0)},
      {{"-xi", "c.txt"}, "c.txt", true, true, false, "", MessageId(0)},
      {{"--json", "-s", "mbr.bin"}, "", false, false, true, "mbr.bin", MessageId(0)},
      {{"-smbr.bin", "c.txt"}, "c.txt", false, false, false, "mbr.bin", MessageId(0)},
      {{"--", "-c.txt"}, "-c.txt", false, false, false, "", MessageId(0)},
      {{"a", "b"}, "a", false, false, false, "", msgCheckTwoFiles},
      {{"-q"}, "", false, false, false, "", msgCheckBadOption},
      {{"--jsn"}, "", false, false, false, "", msgCheckBadOption},
      {{"-i", "--json"}, "", false, true, true, "", msgCheckJsonInteractive},
      {{"--geometry", "0=0/16/63"}, "", false, false, false, "", msgCheckBadGeometry},
      {{"--geometry=1=1024/256/63"}, "", false, false, false, "", msgCheckBadGeometry},
  };
  for (const Case& c : cases) {
    const CheckOptions o = readCheckOptions(int(c.args.size()), c.args.data());
    const std::string name = c.args[0];
    EXPECT_EQ(o.error, c.error) << name;
    if (c.error) continue;
    EXPECT_EQ(o.fileName, c.file) << name;
    EXPECT_EQ((std::vector<bool>{o.chsStep, o.interactive, o.json}),
              (std::vector<bool>{c.chs, c.interactive, c.json}))
        << name;
    EXPECT_EQ(o.saveFile, c.save) << name;
  }
  const char* pin[] = {"--geometry=2=20/16/63"};
  const CheckOptions o = readCheckOptions(1, pin);
  ASSERT_EQ(o.geometries.count(2), 1u);
  EXPECT_EQ(o.geometries.at(2), (bench::Geometry{20, 16, 63}));
}

TEST(Parts, WhatSectorZeroHolds) {
  Sector s{};
  EXPECT_EQ(sectorZeroCode(s.data()), SectorZeroCode::NoCode);
  s[0] = 0xFA;
  EXPECT_EQ(sectorZeroCode(s.data()), SectorZeroCode::Other);
  s[444] = 'B';
  s[445] = 'M';
  EXPECT_EQ(sectorZeroCode(s.data()), SectorZeroCode::VornBoot);
  const emulator::Sector standard = emulator::standardSector(partitionSector(5, {}));
  EXPECT_EQ(sectorZeroCode(standard.data()), SectorZeroCode::Standard);
}

TEST(Parts, JsonTextsAreAscii) {
  std::string out;
  JsonWriter w(out);
  w.beginObject();
  w.key("t");
  w.string(std::string("a\"\\\r\n\x01\x7f\xe9", 8));
  w.key("empty");
  w.beginArray();
  w.endArray();
  w.endObject();
  EXPECT_EQ(out, "{\n  \"t\": \"a\\\"\\\\\\r\\n\\u0001\\u007f\\u00e9\",\n  \"empty\": []\n}\n");
}

}  // namespace
}  // namespace vornboot::check
