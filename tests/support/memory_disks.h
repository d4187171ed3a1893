#pragma once
// An in-memory DiskSystem for tests: disks are byte vectors, every sector
// read and write is logged, and reads, writes or opens can be made to fail.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "disk/disk_device.h"

namespace vornboot::testing {

struct DiskAccess {
  enum Kind { Open, OpenReadOnly, Read, Write, Close, SystemVolume } kind;
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
  };

  /// Adds a disk of `sectors` sectors whose sector 0 is `sector0` (or zeros).
  Disk& addDisk(const std::uint8_t* sector0 = nullptr, std::uint32_t sectors = 64) {
    disks.push_back(Disk{});
    disks.back().bytes.assign(std::size_t(sectors) * mbr::kSectorSize, 0);
    if (sector0) std::memcpy(disks.back().bytes.data(), sector0, mbr::kSectorSize);
    return disks.back();
  }
  std::uint8_t* sector(unsigned disk, std::uint32_t s = 0) {
    return disks[disk].bytes.data() + std::size_t(s) * mbr::kSectorSize;
  }

  DiskHandle open(unsigned n, OpenMode mode) override {
    log.push_back({mode == OpenMode::ReadOnly ? DiskAccess::OpenReadOnly : DiskAccess::Open, n, 0});
    if (n >= disks.size() || disks[n].failOpen) return kInvalidHandle;
    ++openHandles;
    return DiskHandle(n);
  }
  bool readSector(DiskHandle h, std::uint8_t* buffer, std::uint32_t s) override {
    log.push_back({DiskAccess::Read, unsigned(h), s});
    Disk& d = disks[std::size_t(h)];
    if (d.failRead || (std::size_t(s) + 1) * mbr::kSectorSize > d.bytes.size()) return false;
    std::memcpy(buffer, d.bytes.data() + std::size_t(s) * mbr::kSectorSize, mbr::kSectorSize);
    return true;
  }
  bool writeSector(DiskHandle h, const std::uint8_t* buffer, std::uint32_t s) override {
    log.push_back({DiskAccess::Write, unsigned(h), s});
    Disk& d = disks[std::size_t(h)];
    if (d.failWrite || (std::size_t(s) + 1) * mbr::kSectorSize > d.bytes.size()) return false;
    std::memcpy(d.bytes.data() + std::size_t(s) * mbr::kSectorSize, buffer, mbr::kSectorSize);
    if (d.corruptWrites) d.bytes[std::size_t(s) * mbr::kSectorSize] ^= 0xFF;
    return true;
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
