#include "bench/disks.h"

#include <cstring>

namespace vornboot::bench {

namespace {

constexpr std::uint8_t kBadCommand = 0x01;
constexpr std::uint8_t kSectorNotFound = 0x04;
constexpr std::uint8_t kReadError = 0x10;
constexpr std::uint8_t kWriteFault = 0xCC;

std::uint32_t linear(std::uint16_t segment, std::uint16_t offset) {
  return (std::uint32_t(segment) << 4) + offset;
}

void succeed(DiskRegisters& r, std::uint8_t al) {
  r.ax = al;
  r.carry = false;
}
void fail(DiskRegisters& r, std::uint8_t code) {
  r.ax = std::uint16_t(code << 8);
  r.carry = true;
}

/// The LBA of a CHS address in CX/DH, or false when the geometry has no
/// such sector.
bool chsToLba(const Geometry& g, std::uint16_t cx, std::uint8_t head, std::uint32_t& lba) {
  unsigned sector = cx & 0x3F;
  unsigned cylinder = (cx >> 8) | ((cx & 0xC0) << 2);
  if (sector == 0 || sector > g.sectors || head >= g.heads || cylinder >= g.cylinders) return false;
  lba = (std::uint32_t(cylinder) * g.heads + head) * g.sectors + sector - 1;
  return true;
}

}  // namespace

Geometry biosGeometry(std::uint64_t sectorCount) {
  constexpr std::uint64_t kTrack = 63;
  constexpr std::uint64_t kMaxCylinders = 1024;
  const std::uint64_t tracks = sectorCount / kTrack;
  // Heads by the tracks per 1024 cylinders, rounded down: a disk just past a
  // step keeps the fewer heads and loses its last cylinders.
  const std::uint64_t perCylinder = tracks / kMaxCylinders;
  const unsigned heads = perCylinder > 128  ? 255
                         : perCylinder > 64 ? 128
                         : perCylinder > 32 ? 64
                         : perCylinder > 16 ? 32
                                            : 16;
  std::uint64_t cylinders = tracks / heads;
  if (cylinders > kMaxCylinders) cylinders = kMaxCylinders;
  if (cylinders == 0) cylinders = 1;
  return Geometry{std::uint16_t(cylinders), std::uint8_t(heads), std::uint8_t(kTrack)};
}

std::uint8_t* DiskImage::sector(std::uint32_t lba) {
  auto it = sectors_.find(lba);
  if (it != sectors_.end()) return it->second.data();
  SectorBytes& s = sectors_[lba];
  if (source_ && !source_->read(lba, s.data())) s.fill(0);
  return s.data();
}

const std::uint8_t* DiskImage::sector(std::uint32_t lba) const {
  static constexpr SectorBytes kBlank{};
  auto it = sectors_.find(lba);
  if (it != sectors_.end()) return it->second.data();
  if (!source_) return kBlank.data();
  if (!source_->read(lba, fetched_.data())) fetched_.fill(0);
  return fetched_.data();
}

bool DiskImage::read(std::uint32_t lba, std::uint8_t* out) const {
  auto it = sectors_.find(lba);
  if (it != sectors_.end()) {
    std::memcpy(out, it->second.data(), kSectorSize);
    return true;
  }
  if (source_) return source_->read(lba, out);
  std::memset(out, 0, kSectorSize);
  return true;
}

void DiskImage::setSector(std::uint32_t lba, const std::uint8_t* data) {
  if (lba < sectorCount()) std::memcpy(sectors_[lba].data(), data, kSectorSize);
}

DiskImage* DiskSet::drive(std::uint8_t drive) {
  if (drive < 0x80 || std::size_t(drive - 0x80) >= disks_.size()) return nullptr;
  return &disks_[drive - 0x80];
}

std::vector<DiskCall> DiskSet::calls(std::uint8_t function) const {
  std::vector<DiskCall> out;
  for (const DiskCall& c : calls_)
    if (c.function == function) out.push_back(c);
  return out;
}

bool DiskSet::readSectors(DiskImage& d, std::uint32_t lba, unsigned count, std::uint32_t buffer,
                          MemoryAccess& memory) {
  if (d.failReads) return false;
  if (d.failFirstReads > 0) {
    --d.failFirstReads;
    return false;
  }
  if (count == 0 || lba >= d.sectorCount() || count > d.sectorCount() - lba) return false;
  for (unsigned i = 0; i < count; ++i)
    if (d.unreadable.count(lba + i)) return false;
  DiskImage::SectorBytes bytes;
  for (unsigned i = 0; i < count; ++i)
    if (!d.read(lba + i, bytes.data()) ||
        !memory.write(buffer + i * DiskImage::kSectorSize, bytes.data(), DiskImage::kSectorSize))
      return false;
  return true;
}

bool DiskSet::writeSectors(DiskImage& d, std::uint32_t lba, unsigned count, std::uint32_t buffer,
                           MemoryAccess& memory) {
  if (d.failWrites) return false;
  if (count == 0 || lba >= d.sectorCount() || count > d.sectorCount() - lba) return false;
  // Whole sectors: nothing of a copy-on-write image's source is read for a write.
  DiskImage::SectorBytes bytes;
  for (unsigned i = 0; i < count; ++i) {
    if (!memory.read(buffer + i * DiskImage::kSectorSize, bytes.data(), DiskImage::kSectorSize))
      return false;
    d.setSector(lba + i, bytes.data());
  }
  return true;
}

void DiskSet::serve(DiskRegisters& r, MemoryAccess& memory) {
  std::uint8_t function = std::uint8_t(r.ax >> 8);
  std::uint8_t driveNumber = std::uint8_t(r.dx);
  DiskCall call{function, driveNumber, 0, 0, false};
  DiskImage* d = drive(driveNumber);
  if (!d) {
    fail(r, kBadCommand);
    calls_.push_back(call);
    return;
  }
  switch (function) {
    case 0x00:  // reset
      succeed(r, 0);
      break;
    case 0x02:    // CHS read
    case 0x03: {  // CHS write
      call.count = std::uint8_t(r.ax);
      std::uint32_t lba = 0;
      bool addressed = chsToLba(d->geometry, r.cx, std::uint8_t(r.dx >> 8), lba);
      call.lba = lba;
      call.addressed = addressed;
      std::uint32_t buffer = linear(r.es, r.bx);
      bool ok = false;
      if (addressed)
        ok = function == 0x02 ? readSectors(*d, lba, call.count, buffer, memory)
                              : writeSectors(*d, lba, call.count, buffer, memory);
      if (ok)
        succeed(r, call.count);
      else
        fail(r, !addressed ? kSectorNotFound : function == 0x02 ? kReadError : kWriteFault);
      break;
    }
    case 0x08: {  // drive parameters
      if (d->failGeometry) {
        fail(r, kBadCommand);
        break;
      }
      const Geometry& g = d->geometry;
      unsigned maxCylinder = g.cylinders - 1u;
      r.cx =
          std::uint16_t((maxCylinder & 0xFF) << 8 | (maxCylinder >> 2 & 0xC0) | (g.sectors & 0x3F));
      r.dx = std::uint16_t((g.heads - 1u) << 8 | disks_.size());
      r.bx = 0;
      succeed(r, 0);
      break;
    }
    case 0x41:  // extensions present?
      if (r.bx != 0x55AA || !d->extensions) {
        fail(r, kBadCommand);
        break;
      }
      r.bx = 0xAA55;
      r.cx = 0x0007;
      r.ax = 0x3000;
      r.carry = false;
      break;
    case 0x42: {  // extended read
      if (!d->extensions) {
        fail(r, kBadCommand);
        break;
      }
      std::uint8_t packet[16] = {};
      std::uint32_t at = linear(r.ds, r.si);
      if (!memory.read(at, packet, sizeof packet) || packet[0] < 0x10) {
        fail(r, kBadCommand);
        break;
      }
      std::uint16_t count = std::uint16_t(packet[2] | packet[3] << 8);
      std::uint32_t buffer = linear(std::uint16_t(packet[6] | packet[7] << 8),
                                    std::uint16_t(packet[4] | packet[5] << 8));
      std::uint64_t lba = 0;
      for (int i = 7; i >= 0; --i) lba = lba << 8 | packet[8 + i];
      call.lba = std::uint32_t(lba);
      call.count = std::uint8_t(count);
      bool ok = count <= 127 && lba <= 0xFFFFFFFFu &&
                readSectors(*d, std::uint32_t(lba), count, buffer, memory);
      if (ok) {
        succeed(r, 0);
      } else {
        std::uint8_t none[2] = {0, 0};  // blocks transferred
        memory.write(at + 2, none, 2);
        fail(r, kReadError);
      }
      break;
    }
    default:
      fail(r, kBadCommand);
      break;
  }
  call.ok = !r.carry;
  calls_.push_back(call);
}

}  // namespace vornboot::bench
