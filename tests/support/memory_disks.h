#pragma once
// An in-memory DiskSystem for tests: disks are byte vectors, every sector
// read and write is logged, and reads, writes or opens can be made to fail,
// writes to fail or store other bytes once, another program to hold a disk
// locked or to change it between two reads.

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "disk/disk_device.h"

namespace vornboot::testing {

struct DiskAccess {
  enum Kind { Open, OpenReadOnly, Read, Write, Close, SystemVolume, ReadUncached, Lock } kind;
  unsigned disk;
  std::uint32_t sector;
};

class MemoryDiskSystem : public DiskSystem {
 public:
  struct Disk {
    std::vector<std::uint8_t> bytes;  // a whole number of sectors
    bool failOpen = false;
    bool failRead = false;
    bool failWrite = false;
    bool holdsSystemVolume = false;
    bool corruptWrites = false;  // writes "succeed" but store other bytes
    std::string path;            // "dN.img" for disk N
    std::string openFailure = "No such file or directory";  // with failOpen: the reason
    DiskError::Remedy openRemedy = DiskError::NoRemedy;
    unsigned failNextWrites = 0;        // so many writes store half the sector, then fail
    unsigned corruptNextWrites = 0;     // so many writes "succeed" but store other bytes
    unsigned readsBeforeFailure = ~0u;  // reads that still succeed, then every read fails
    bool lockedByAnother = false;
    bool lockUnsupported = false;
    unsigned sectorSize = mbr::kSectorSize;
    /// Runs once, after the first read: another program writing meanwhile.
    std::function<void(Disk&)> afterFirstRead;
  };

  /// Adds a disk of `sectors` sectors whose sector 0 is `sector0` (or zeros).
  Disk& addDisk(const std::uint8_t* sector0 = nullptr, std::uint32_t sectors = 64) {
    disks.push_back(Disk{});
    disks.back().bytes.assign(std::size_t(sectors) * mbr::kSectorSize, 0);
    // (Appended piecewise: GCC 12 at -O3 warns, wrongly, that a literal
    // joined to a string temporary may overlap it: -Wrestrict.)
    std::string& path = disks.back().path;
    path.assign(1, 'd');
    path += std::to_string(disks.size() - 1);
    path += ".img";
    if (sector0) std::memcpy(disks.back().bytes.data(), sector0, mbr::kSectorSize);
    return disks.back();
  }
  std::uint8_t* sector(unsigned disk, std::uint32_t s = 0) {
    return disks[disk].bytes.data() + std::size_t(s) * mbr::kSectorSize;
  }

  DiskHandle open(unsigned n, OpenMode mode) override {
    log.push_back({mode == OpenMode::ReadOnly ? DiskAccess::OpenReadOnly : DiskAccess::Open, n, 0});
    if (n >= disks.size()) {
      error = DiskError{DiskError::NotListed, "", "", 0, DiskError::NoRemedy};
      return kInvalidHandle;
    }
    if (disks[n].failOpen) {
      error =
          DiskError{DiskError::System, disks[n].path, disks[n].openFailure, 0, disks[n].openRemedy};
      return kInvalidHandle;
    }
    ++openHandles;
    return DiskHandle(n);
  }
  bool readSector(DiskHandle h, std::uint8_t* buffer, std::uint32_t s) override {
    log.push_back({DiskAccess::Read, unsigned(h), s});
    return read(disks[std::size_t(h)], buffer, s);
  }
  bool readSectorUncached(DiskHandle h, std::uint8_t* buffer, std::uint32_t s) override {
    log.push_back({DiskAccess::ReadUncached, unsigned(h), s});
    return read(disks[std::size_t(h)], buffer, s);
  }
  bool writeSector(DiskHandle h, const std::uint8_t* buffer, std::uint32_t s) override {
    log.push_back({DiskAccess::Write, unsigned(h), s});
    Disk& d = disks[std::size_t(h)];
    if (d.failWrite || (std::size_t(s) + 1) * mbr::kSectorSize > d.bytes.size()) {
      return failed(d, "Input/output error");
    }
    std::uint8_t* at = d.bytes.data() + std::size_t(s) * mbr::kSectorSize;
    if (d.failNextWrites > 0) {
      --d.failNextWrites;
      std::memcpy(at, buffer, mbr::kSectorSize / 2);
      return failed(d, "No space left on device");
    }
    std::memcpy(at, buffer, mbr::kSectorSize);
    if (d.corruptWrites || d.corruptNextWrites > 0) {
      if (d.corruptNextWrites > 0) --d.corruptNextWrites;
      at[0] ^= 0xFF;
    }
    return true;
  }
  DiskError lastError() const override { return error; }
  std::string path(DiskHandle h) const override { return disks[std::size_t(h)].path; }
  LockResult lockExclusive(DiskHandle h) override {
    log.push_back({DiskAccess::Lock, unsigned(h), 0});
    const Disk& d = disks[std::size_t(h)];
    if (d.lockUnsupported) return LockResult::Unsupported;
    return d.lockedByAnother ? LockResult::Busy : LockResult::Locked;
  }
  unsigned logicalSectorSize(DiskHandle h) override { return disks[std::size_t(h)].sectorSize; }
  bool isSameFile(DiskHandle h, const char* name) override {
    return disks[std::size_t(h)].path == name;
  }
  void close(DiskHandle h) override {
    log.push_back({DiskAccess::Close, unsigned(h), 0});
    --openHandles;
  }
  bool holdsSystemVolume(DiskHandle h) override {
    log.push_back({DiskAccess::SystemVolume, unsigned(h), 0});
    return disks[std::size_t(h)].holdsSystemVolume;
  }
  /// Not logged: it reads no sector.
  std::uint64_t sectorCount(DiskHandle h) override {
    return disks[std::size_t(h)].bytes.size() / mbr::kSectorSize;
  }

  /// The writes in the log, as "disk:sector" strings.
  std::vector<std::string> writes() const {
    std::vector<std::string> out;
    for (const DiskAccess& a : log)
      if (a.kind == DiskAccess::Write)
        out.push_back(std::to_string(a.disk) + ":" + std::to_string(a.sector));
    return out;
  }

  std::vector<Disk> disks;
  std::vector<DiskAccess> log;
  int openHandles = 0;
  DiskError error;

 private:
  bool read(Disk& d, std::uint8_t* buffer, std::uint32_t s) {
    if (d.failRead || d.readsBeforeFailure == 0) return failed(d, "Input/output error");
    if ((std::size_t(s) + 1) * mbr::kSectorSize > d.bytes.size()) {
      error = DiskError{DiskError::Short, d.path, "", 0, DiskError::NoRemedy};
      return false;
    }
    if (d.readsBeforeFailure != ~0u) --d.readsBeforeFailure;
    std::memcpy(buffer, d.bytes.data() + std::size_t(s) * mbr::kSectorSize, mbr::kSectorSize);
    if (d.afterFirstRead) std::exchange(d.afterFirstRead, nullptr)(d);
    return true;
  }
  bool failed(const Disk& d, const char* reason) {
    error = DiskError{DiskError::System, d.path, reason, 0, DiskError::NoRemedy};
    return false;
  }
};

/// A sector 0 with a disk signature, a boot signature and the given slots:
/// {boot indicator, type ID, first sector, sector count} each.
struct SlotSpec {
  std::uint8_t bootIndicator;
  std::uint8_t typeId;
  std::uint32_t firstSector;
  std::uint32_t sectorCount;
};
inline std::vector<std::uint8_t> makeSector0(std::uint32_t diskSignature,
                                             std::initializer_list<SlotSpec> slots) {
  std::vector<std::uint8_t> s(mbr::kSectorSize, 0);
  for (int i = 0; i < 4; ++i) s[440 + i] = std::uint8_t(diskSignature >> (8 * i));
  unsigned j = 0;
  for (const SlotSpec& slot : slots) {
    std::uint8_t* e = s.data() + 446 + 16 * j++;
    e[0] = slot.bootIndicator;
    e[1] = 1;  // head 1, sector 1, cylinder 0: a plausible CHS start
    e[2] = 1;
    e[4] = slot.typeId;
    e[5] = 0xFE;
    e[6] = 0xFF;
    e[7] = 0xFF;
    for (int i = 0; i < 4; ++i) e[8 + i] = std::uint8_t(slot.firstSector >> (8 * i));
    for (int i = 0; i < 4; ++i) e[12 + i] = std::uint8_t(slot.sectorCount >> (8 * i));
  }
  s[510] = 0x55;
  s[511] = 0xAA;
  return s;
}

}  // namespace vornboot::testing
