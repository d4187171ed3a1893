#include "driver/driver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/support/memory_disks.h"

namespace vornboot {
namespace {

using testing::DiskAccess;
using testing::makeSector0;
using testing::MemoryDiskSystem;

// A host with in-memory disks and files. A file being written takes the place
// of the old one only when it is closed.
class FakePlatform : public Platform {
 public:
  bool nt = true;
  bool failWrites = false;
  MemoryDiskSystem diskSystem;
  std::map<std::string, std::string> files;
  std::vector<std::string> opened;
  std::vector<std::string> blockDevices;

  bool isNtFamily() override { return nt; }
  bool slashOptions() override { return false; }
  DiskSystem& disks() override { return diskSystem; }

  std::unique_ptr<InputStream> openForReading(const char* name) override {
    opened.push_back(name);
    auto it = files.find(name);
    if (it == files.end()) return nullptr;
    return std::make_unique<Input>(it->second);
  }
  std::unique_ptr<OutputFile> createForWriting(const char* name, bool) override {
    opened.push_back(name);
    return std::make_unique<Output>(files[name], failWrites);
  }
  bool namesBlockDevice(const char* name) override {
    return std::find(blockDevices.begin(), blockDevices.end(), name) != blockDevices.end();
  }

 private:
  struct Input : InputStream {
    explicit Input(const std::string& t) : text(t) {}
    long read(char* buffer, std::size_t size) override {
      const std::size_t n = std::min(size, text.size() - at);
      std::memcpy(buffer, text.data() + at, n);
      at += n;
      return long(n);
    }
    std::string text;
    std::size_t at = 0;
  };
  struct Output : OutputFile {
    Output(std::string& t, bool fail) : target(t), failing(fail) {}
    bool write(const char* data, std::size_t size) override {
      if (failing) size /= 2;
      text.append(data, size);
      return !failing;
    }
    bool close() override {
      target = text;
      return true;
    }
    std::string& target;
    bool failing;
    std::string text;
  };
};

struct Result {
  int status;
  std::string out, err;
};

std::string contents(std::FILE* f) {
  std::rewind(f);
  std::string s;
  for (int c; (c = std::fgetc(f)) != EOF;) s += char(c);
  std::fclose(f);
  return s;
}

Result run(FakePlatform& platform, std::vector<const char*> args) {
  args.insert(args.begin(), "VornBoot32");
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const int status = runDriver(int(args.size()), args.data(), platform, out, err);
  return {status, contents(out), contents(err)};
}

// The second line carries the project's version (VORNBOOT_EXPECTED_VERSION,
// given by CMake from project(VERSION)).
const char* const kBanner = "Vorn Boot Manager 2.0\nVornBoot32 " VORNBOOT_EXPECTED_VERSION
                            ": password boot manager for the master boot record of disk 0.\n";

// Two disks, a valid configuration file and a broken one.
void setUp(FakePlatform& p) {
  p.diskSystem.addDisk(
      makeSector0(0x11111111, {{0x80, 0x07, 63, 1000}, {0, 0x0B, 2000, 500}}).data());
  p.diskSystem.addDisk(makeSector0(0x22222222, {{0x80, 0x07, 63, 1000}}).data());
  p.files["good.txt"] =
      "map { {7, 0x17} {0x0B, 0x1B} }\n"
      "entry \"A\" { password \"a\" disk 0 { active 0 disable 1 } disk 1 { disable 0 } }\n";
  p.files["bad.txt"] = "map {\n";
  p.files["refused.txt"] = "map { }\n";
}

TEST(Driver, NonNtPlatformStopsBeforeReadingAnything) {
  FakePlatform p;
  setUp(p);
  p.nt = false;
  const Result r = run(p, {"good.txt"});
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.out, kBanner);
  EXPECT_EQ(r.err, "VornBoot32 requires Windows NT, use VornBoot instead");
  EXPECT_TRUE(p.diskSystem.log.empty());
  EXPECT_TRUE(p.opened.empty());
}

TEST(Driver, OnlyInstallAndUninstallWriteAndOnlySectorZeroOfDiskZero) {
  struct Step {
    std::vector<const char*> args;
    int status;
    bool writes;
  };
  const Step steps[] = {
      {{}, 0, false},
      {{"-u"}, 1, false},
      {{"-b", "out.txt"}, 0, false},
      {{"bad.txt"}, -6, false},
      {{"refused.txt"}, -6, false},
      {{"missing.txt"}, -5, false},
      {{"good.txt"}, 0, true},
      {{"-bp", "out.txt"}, 0, false},
      {{"-bn", "out.txt"}, 0, false},
      {{"-x", "good.txt"}, 0, true},
      {{"-u"}, 0, true},
  };
  FakePlatform p;
  setUp(p);
  for (const Step& step : steps) {
    p.diskSystem.log.clear();
    const Result r = run(p, step.args);
    const std::string what = step.args.empty() ? "(none)" : step.args[0];
    EXPECT_EQ(r.status, step.status) << what << r.out << r.err;
    EXPECT_EQ(p.diskSystem.writes(),
              step.writes ? std::vector<std::string>{"0:0"} : std::vector<std::string>{})
        << what;
    for (const DiskAccess& a : p.diskSystem.log) {
      if (a.kind == DiskAccess::Read || a.kind == DiskAccess::ReadUncached) {
        EXPECT_EQ(a.sector, 0u) << what;
      }
    }
    EXPECT_EQ(p.diskSystem.openHandles, 0) << what;  // every handle closed at the end
  }
}

// "Disk 0 cannot be read" names the disk and the reason, and for a
// permission error what to do about it.
TEST(Driver, NoDiskZeroSaysWhy) {
  const std::string noDisk = "No hard disk found: disk 0 cannot be read: ";
  const struct {
    const char* why;
    bool present, failOpen, failRead;
    DiskError::Remedy remedy;
    std::string reason;
  } cases[] = {
      {"no disk in the list", false, false, false, DiskError::NoRemedy,
       "VORNBOOT_DISKS lists no disk"},
      {"cannot be opened", true, true, false, DiskError::NoRemedy,
       "d0.img: No such file or directory"},
      {"not allowed (POSIX)", true, true, false, DiskError::RunAsRoot,
       "d0.img: Permission denied (run VornBoot32 as root)"},
      {"not allowed (Windows)", true, true, false, DiskError::RunAsAdministrator,
       "d0.img: Permission denied (run VornBoot32 as Administrator)"},
      {"opens but cannot be read", true, false, true, DiskError::NoRemedy,
       "d0.img: Input/output error"},
  };
  for (const auto& c : cases) {
    for (const char* mode : {"good.txt", "-u", "-bp"}) {
      FakePlatform p;
      p.files["good.txt"] = "";
      if (c.present) {
        MemoryDiskSystem::Disk& d = p.diskSystem.addDisk();
        d.failOpen = c.failOpen;
        d.failRead = c.failRead;
        d.openRemedy = c.remedy;
        if (c.remedy != DiskError::NoRemedy) d.openFailure = "Permission denied";
      }
      const Result r = run(p, {mode, "out.txt"});
      EXPECT_EQ(r.status, -7) << c.why << " " << mode;
      EXPECT_EQ(r.err, noDisk + c.reason) << c.why << " " << mode;
    }
  }
}

// A disk 0 that the BIOS would not boot, or that holds a GPT, or whose sectors
// are not 512 bytes, is refused before the configuration is read.
TEST(Driver, InstallRefusesADiskZeroThatCannotBootIt) {
  const struct {
    std::vector<std::uint8_t> sector0;
    unsigned sectorSize;
    int status;
    const char* err;
  } cases[] = {
      {std::vector<std::uint8_t>(512, 0), 512, -8,
       "Disk 0 (d0.img) cannot be booted: its sector 0 does not end in 0x55 0xAA; nothing was "
       "written"},
      {makeSector0(1, {{0x80, 0x07, 63, 1000}, {0, 0xEE, 1, 62}}), 512, -9,
       "Disk 0 (d0.img) has a GPT partition table (type 0xEE): VornBoot boots BIOS/MBR systems "
       "only; nothing was written"},
      {makeSector0(1, {{0x80, 0x07, 63, 1000}}), 4096, -10,
       "Disk 0 (d0.img) has 4096-byte sectors, VornBoot needs 512-byte sectors; nothing was "
       "written"},
  };
  for (const auto& c : cases) {
    FakePlatform p;
    setUp(p);
    std::copy(c.sector0.begin(), c.sector0.end(), p.diskSystem.sector(0));
    p.diskSystem.disks[0].sectorSize = c.sectorSize;
    const Result r = run(p, {"good.txt"});
    EXPECT_EQ(r.status, c.status) << c.err;
    EXPECT_EQ(r.out, kBanner);
    EXPECT_EQ(r.err, c.err);
    EXPECT_TRUE(p.diskSystem.writes().empty());
    EXPECT_EQ(std::vector<std::uint8_t>(p.diskSystem.sector(0), p.diskSystem.sector(0) + 512),
              c.sector0);
    EXPECT_EQ(std::count(p.opened.begin(), p.opened.end(), "good.txt"), 0);  // not even read
  }
}

// Install and uninstall hold disk 0 locked, write nothing over a sector 0
// that another program changed since the start, and after a failed write say
// what sector 0 holds.
TEST(Driver, WritesOfSectorZeroAreGuardedAndTheirFailuresExplained) {
  using Setup = void (*)(MemoryDiskSystem::Disk&);
  const std::string writeError = "Hard disk write error: sector 0 of disk 0 ";
  const struct {
    const char* why;
    Setup setUp;
    int status;
    std::string err;
    std::size_t writes;
  } cases[] = {
      {"another program holds disk 0 locked", [](auto& d) { d.lockedByAnother = true; }, -11,
       "Disk 0 (d0.img) is locked by another program; nothing was written", 0},
      {"no lock on this platform", [](auto& d) { d.lockUnsupported = true; }, 0, "", 1},
      {"sector 0 changes between the read and the write",
       [](auto& d) { d.afterFirstRead = [](auto& disk) { disk.bytes[450] = 0x0C; }; }, -12,
       "Sector 0 of disk 0 (d0.img) was changed by another program while VornBoot ran; nothing "
       "was written: run VornBoot32 again",
       0},
      {"the write fails", [](auto& d) { d.failWrite = true; }, -2,
       writeError + "holds its previous content (d0.img: Input/output error)", 2},
      {"other bytes stored once", [](auto& d) { d.corruptNextWrites = 1; }, -2,
       writeError + "holds its previous content (d0.img: the sector read back differs from the one "
                    "written)",
       2},
      {"other bytes stored every time", [](auto& d) { d.corruptWrites = true; }, -2,
       writeError +
           "could not be put back and may be damaged: run VornBoot32 -u, or restore a saved copy "
           "of it (d0.img: the sector read back differs from the one written)",
       2},
      {"sector 0 cannot be read again", [](auto& d) { d.readsBeforeFailure = 1; }, -2,
       writeError + "could not be read again, nothing was written (d0.img: Input/output error)", 0},
  };
  for (const auto& c : cases) {
    for (bool uninstall : {false, true}) {
      SCOPED_TRACE(std::string(c.why) + (uninstall ? " (uninstall)" : " (install)"));
      FakePlatform p;
      setUp(p);
      if (uninstall) {
        ASSERT_EQ(run(p, {"good.txt"}).status, 0);
      }
      p.diskSystem.log.clear();
      c.setUp(p.diskSystem.disks[0]);
      const Result r = run(p, {uninstall ? "-u" : "good.txt"});
      EXPECT_EQ(r.status, c.status) << r.err;
      EXPECT_EQ(r.err, c.err);
      EXPECT_EQ(p.diskSystem.writes(), std::vector<std::string>(c.writes, "0:0"));
      EXPECT_EQ(p.diskSystem.openHandles, 0);
    }
  }
}

// The configuration text never lands on a disk, and a build that could not
// write its whole text leaves the old file as it was.
TEST(Driver, BuildNeverDestroysData) {
  const struct {
    const char* name;
    bool failWrites;
    int status;
    const char* err;
  } cases[] = {
      {"d0.img", false, -13, "Cannot write the configuration to d0.img: it is disk 0"},
      {"d1.img", false, -13, "Cannot write the configuration to d1.img: it is disk 1"},
      {"/dev/sdz", false, -13, "Cannot write the configuration to /dev/sdz: it is a disk device"},
      {"old.txt", true, -4, "Cannot create file old.txt"},
  };
  for (const auto& c : cases) {
    FakePlatform p;
    setUp(p);
    p.blockDevices = {"/dev/sdz"};
    p.files["old.txt"] = "the old configuration";
    p.failWrites = c.failWrites;
    const auto diskZero =
        std::vector<std::uint8_t>(p.diskSystem.sector(0), p.diskSystem.sector(0) + 512);
    const Result r = run(p, {"-bp", c.name});
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(p.files["old.txt"], "the old configuration");
    EXPECT_EQ(std::count(p.opened.begin(), p.opened.end(), c.name), c.failWrites ? 1 : 0);
    EXPECT_EQ(std::vector<std::uint8_t>(p.diskSystem.sector(0), p.diskSystem.sector(0) + 512),
              diskZero);
    EXPECT_TRUE(p.diskSystem.writes().empty());
  }
}

TEST(Driver, BuildWritesTheFileAndReportsItWithoutALineEnd) {
  FakePlatform p;
  setUp(p);
  ASSERT_EQ(run(p, {"good.txt"}).status, 0);
  const Result r = run(p, {"-bp", "o.txt"});
  EXPECT_EQ(r.out, std::string(kBanner) + "Current configuration stored into file \"o.txt\"");
  EXPECT_NE(p.files["o.txt"].find("password \"a\""), std::string::npos) << p.files["o.txt"];
}

}  // namespace
}  // namespace vornboot
