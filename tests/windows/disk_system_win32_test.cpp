// The Win32 disk layer over image files, run under Wine: sector positions,
// short transfers, the 32-bit position limit, device names, and the
// system-volume test that compares drive layouts.
//   disk_system_win32_test [work folder]
#include "disk/disk_system_win32.h"

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "base/sector_format.h"
#include "tests/windows/check.h"

namespace vornboot {
namespace {

using Sector = std::array<std::uint8_t, mbr::kSectorSize>;
constexpr unsigned kImageSectors = 8;

// Sector s of a test image is filled with s + 1; sector 0 is an MBR.
Sector patternSector(unsigned s) {
  Sector sector;
  sector.fill(std::uint8_t(s + 1));
  return sector;
}

Sector mbrSector(std::uint32_t signature, std::vector<std::uint8_t> types) {
  Sector sector{};
  mbr::write32(sector.data() + mbr::kDiskSignature, signature);
  for (unsigned j = 0; j < types.size(); ++j) {
    sector[mbr::kPartitionTable + mbr::kSlotSize * j + mbr::kTypeId] = types[j];
  }
  sector[510] = 0x55;
  sector[511] = 0xAA;
  return sector;
}

bool writeImage(const std::string& path, const Sector& sector0, unsigned sectors) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(sector0.data(), 1, mbr::kSectorSize, f) == mbr::kSectorSize;
  for (unsigned s = 1; s < sectors; ++s) {
    ok = ok && std::fwrite(patternSector(s).data(), 1, mbr::kSectorSize, f) == mbr::kSectorSize;
  }
  return std::fclose(f) == 0 && ok;
}

void checkDeviceNames(wintest::Failures& t) {
  const struct {
    unsigned disk;
    const char* name;
  } cases[] = {
      {0, "\\\\.\\PHYSICALDRIVE0"},
      {9, "\\\\.\\PHYSICALDRIVE9"},
      {10, "\\\\.\\PHYSICALDRIVE:"},  // no device has this name
  };
  for (const auto& c : cases) t.check(physicalDriveName(c.disk) == c.name, "device name", c.name);
  Win32DiskSystem devices;
  t.check(devices.open(10, OpenMode::ReadWrite) == kInvalidHandle, "disk 10 opened");
}

void checkSectorAccess(wintest::Failures& t, const std::string& dir) {
  const std::string path = dir + "\\vb_sectors.img";
  t.check(writeImage(path, mbrSector(0x11223344, {0x07}), kImageSectors), "cannot write",
          path.c_str());
  Win32DiskSystem disks({path}, "");
  const DiskHandle h = disks.open(0, OpenMode::ReadWrite);
  t.check(h != kInvalidHandle, "image did not open");
  t.check(disks.open(1, OpenMode::ReadWrite) == kInvalidHandle, "disk past the list opened");

  Sector buffer;
  for (unsigned s : {1u, 3u, kImageSectors - 1}) {
    const bool read = disks.readSector(h, buffer.data(), s);
    t.check(read && buffer == patternSector(s), "read of sector", std::to_string(s).c_str());
  }
  const struct {
    std::uint32_t sector;
    const char* why;
  } unreadable[] = {
      {kImageSectors, "past the end (short read)"},
      {4194304, "first sector beyond the 32-bit distance"},
      {8388608, "position 2^32, which a 32-bit distance wraps to 0"},
  };
  for (const auto& u : unreadable) {
    t.check(!disks.readSector(h, buffer.data(), u.sector), "read succeeded:", u.why);
  }

  const Sector written = patternSector(0xA0);
  t.check(disks.writeSector(h, written.data(), 2), "write of sector 2 failed");
  t.check(disks.readSector(h, buffer.data(), 2) && buffer == written, "sector 2 not as written");
  t.check(disks.readSector(h, buffer.data(), 3) && buffer == patternSector(3), "sector 3 changed");
  t.check(!disks.readSector(kInvalidHandle, buffer.data(), 0), "read through no handle");
  t.check(!disks.writeSector(kInvalidHandle, written.data(), 0), "write through no handle");
  disks.close(h);

  // The write reached the file itself.
  std::FILE* f = std::fopen(path.c_str(), "rb");
  Sector onFile{};
  const bool reread = f && std::fseek(f, 2 * mbr::kSectorSize, SEEK_SET) == 0 &&
                      std::fread(onFile.data(), 1, mbr::kSectorSize, f) == mbr::kSectorSize;
  if (f) std::fclose(f);
  t.check(reread && onFile == written, "written sector not in the file");
  std::remove(path.c_str());
}

void checkSystemVolume(wintest::Failures& t, const std::string& dir) {
  const std::string disk = dir + "\\vb_disk.img";
  t.check(writeImage(disk, mbrSector(0xCAFE0001, {0x07, 0x83}), 2), "cannot write", disk.c_str());
  const struct {
    std::uint32_t signature;
    std::vector<std::uint8_t> types;
    bool holds;
    const char* why;
  } cases[] = {
      {0xCAFE0001, {0x07, 0x83}, true, "same signature and count"},
      {0xCAFE0001, {0x0C, 0x0B}, true, "only signature and count are compared"},
      {0xCAFE0001, {0x07, 0x00, 0x83}, true, "empty slots do not count"},
      {0xCAFE0002, {0x07, 0x83}, false, "other signature"},
      {0xCAFE0001, {0x07}, false, "other partition count"},
  };
  const std::string volume = dir + "\\vb_volume.img";
  for (const auto& c : cases) {
    t.check(writeImage(volume, mbrSector(c.signature, c.types), 1), "cannot write volume");
    Win32DiskSystem disks({disk}, volume);
    const DiskHandle h = disks.open(0, OpenMode::ReadWrite);
    t.check(disks.holdsSystemVolume(h) == c.holds, "holdsSystemVolume:", c.why);
    disks.close(h);
  }
  std::remove(volume.c_str());

  for (const char* stand_in : {"", "vb_no_such_volume.img"}) {
    Win32DiskSystem disks({disk}, stand_in);
    const DiskHandle h = disks.open(0, OpenMode::ReadWrite);
    t.check(!disks.holdsSystemVolume(h), "holds a volume that cannot be opened:", stand_in);
    disks.close(h);
  }
  std::remove(disk.c_str());
}

// Reasons for a disk that cannot be had, the lock between two holders, the
// read through a second unbuffered handle, the sector size and the same-file
// test, over image files.
void checkInstallerNeeds(wintest::Failures& t, const std::string& dir) {
  const std::string path = dir + "\\vb_needs.img";
  const std::string missing = dir + "\\vb_missing.img";
  t.check(writeImage(path, mbrSector(0x5EED, {0x07}), 3), "cannot write", path.c_str());
  Win32DiskSystem first({path, missing}, ""), second({path}, "");

  t.check(first.open(1, OpenMode::ReadWrite) == kInvalidHandle, "missing image opened");
  DiskError e = first.lastError();
  t.check(e.kind == DiskError::System && e.path == missing && !e.reason.empty(),
          "no system reason for a missing image:", e.reason.c_str());
  t.check(e.reason.back() != '\n' && e.reason.back() != '.', "reason keeps its line end");
  t.check(first.open(2, OpenMode::ReadWrite) == kInvalidHandle, "disk past the list opened");
  t.check(first.lastError().kind == DiskError::NotListed, "disk past the list: not NotListed");

  const DiskHandle a = first.open(0, OpenMode::ReadWrite);
  const DiskHandle b = second.open(0, OpenMode::ReadWrite);
  t.check(first.path(a) == path, "path of the handle");
  t.check(first.lockExclusive(a) == LockResult::Locked, "first lock not taken");
  t.check(second.lockExclusive(b) == LockResult::Busy, "second lock not refused");

  Sector buffer;
  for (unsigned s = 1; s < 3; ++s) {
    const bool read = first.readSectorUncached(a, buffer.data(), s);
    t.check(read && buffer == patternSector(s), "uncached read of sector",
            std::to_string(s).c_str());
  }
  const Sector written = patternSector(0x70);
  t.check(first.writeSector(a, written.data(), 2), "write under the lock failed");
  t.check(first.readSectorUncached(a, buffer.data(), 2) && buffer == written,
          "uncached read does not see the write");
  t.check(!first.readSectorUncached(a, buffer.data(), 3), "uncached read past the end");
  t.check(first.logicalSectorSize(a) == 512, "image sector size is not 512");

  t.check(first.isSameFile(a, path.c_str()), "image is not the same file as itself");
  t.check(!first.isSameFile(a, missing.c_str()), "same file as a missing one");
  t.check(writeImage(missing, mbrSector(0x5EED, {0x07}), 3), "cannot write", missing.c_str());
  t.check(!first.isSameFile(a, missing.c_str()), "same file as a copy");
  first.close(a);
  t.check(second.lockExclusive(b) == LockResult::Locked, "lock not released by the close");
  second.close(b);
  std::remove(path.c_str());
  std::remove(missing.c_str());
}

}  // namespace
}  // namespace vornboot

int main(int argc, char** argv) {
  vornboot::wintest::Failures failures;
  const std::string dir = argc > 1 ? argv[1] : ".";
  vornboot::checkDeviceNames(failures);
  vornboot::checkSectorAccess(failures, dir);
  vornboot::checkSystemVolume(failures, dir);
  vornboot::checkInstallerNeeds(failures, dir);
  std::printf("disk layer checks: %d failure(s)\n", failures.count);
  return failures.count;
}
