#pragma once
// The hard disks of the bench's BIOS: images with a CHS geometry, the INT 13h
// services over them, and failures that a test can inject. An image keeps in
// memory the sectors it has written; the others read as zeros, or come from
// a source (a real disk, seen copy-on-write: reads go to the source, writes
// stay in the image).

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <vector>

namespace vornboot::bench {

/// The geometry that AH=08h reports and that CHS addresses are read with.
struct Geometry {
  std::uint16_t cylinders = 64;  // 1..1024
  std::uint8_t heads = 16;       // 1..255
  std::uint8_t sectors = 63;     // sectors per track, 1..63
  std::uint32_t capacity() const { return std::uint32_t(cylinders) * heads * sectors; }
  bool operator==(const Geometry&) const = default;
};

/// The geometry a PC BIOS reports for a disk of `sectorCount` sectors that
/// has no geometry of its own (the LBA-assisted translation, as SeaBIOS
/// reports it for USB and NVMe disks): 63 sectors per track; 16 heads up to
/// 504 MiB, above that 32, 64, 128 or 255 heads by the number of tracks per
/// 1024 cylinders (rounded down); at most 1024 cylinders, at least 1.
Geometry biosGeometry(std::uint64_t sectorCount);

/// Where the sectors of a copy-on-write image come from until it writes
/// them itself. Nothing is ever written to a source.
class SectorSource {
 public:
  virtual ~SectorSource() = default;
  /// Reads sector `lba` into `out` (512 bytes); false when it cannot be read.
  virtual bool read(std::uint32_t lba, std::uint8_t* out) = 0;
};

/// A disk image that holds only the sectors ever written or touched, so a
/// disk of millions of sectors costs no more than the few in use; every
/// other sector reads as zeros, or from the image's source.
struct DiskImage {
  static constexpr unsigned kSectorSize = 512;
  using SectorBytes = std::array<std::uint8_t, kSectorSize>;

  /// A blank image of `sectorCount` sectors.
  explicit DiskImage(std::uint32_t sectorCount = 64, Geometry g = {})
      : geometry(g), count_(sectorCount) {}
  /// A copy-on-write view of `source`, a disk of `sectorCount` sectors.
  /// Copies of the image share the source, not what each has written.
  DiskImage(std::shared_ptr<SectorSource> source, std::uint32_t sectorCount, Geometry g)
      : geometry(g), count_(sectorCount), source_(std::move(source)) {}

  std::uint32_t sectorCount() const { return count_; }
  /// The 512 bytes of sector `lba` (< sectorCount()), taken into the image
  /// (from the source, or zeros when it cannot be read); the pointer stays
  /// valid while the image lives.
  std::uint8_t* sector(std::uint32_t lba);
  /// The same without taking it in: a sector the image has not written is
  /// fetched from the source each time (zeros when it cannot be read), and
  /// that pointer stays valid only until the next such fetch.
  const std::uint8_t* sector(std::uint32_t lba) const;
  /// Copies 512 bytes into sector `lba`.
  void setSector(std::uint32_t lba, const std::uint8_t* data);
  /// Copies sector `lba` (< sectorCount()) to `out`: what the image wrote,
  /// else what the source holds, else zeros. False when the source cannot
  /// read it.
  bool read(std::uint32_t lba, std::uint8_t* out) const;
  /// True when the image has written or taken in sector `lba`.
  bool holds(std::uint32_t lba) const { return sectors_.count(lba) != 0; }

  Geometry geometry;

  // Injected failures.
  bool failReads = false;              ///< every read (AH=02h, 42h) fails
  bool failWrites = false;             ///< every write (AH=03h) fails
  unsigned failFirstReads = 0;         ///< this many reads fail, then reads work
  std::set<std::uint32_t> unreadable;  ///< sectors whose reads always fail
  bool extensions = true;              ///< AH=41h finds the Int 13 Extensions
  bool failGeometry = false;           ///< AH=08h fails

 private:
  std::uint32_t count_;
  std::map<std::uint32_t, SectorBytes> sectors_;
  std::shared_ptr<SectorSource> source_;
  mutable SectorBytes fetched_{};  // the last sector the const sector() fetched
};

/// One INT 13h call as the BIOS saw it.
struct DiskCall {
  std::uint8_t function;  ///< AH on entry
  std::uint8_t drive;     ///< DL on entry
  std::uint32_t lba;      ///< the first sector addressed (reads and writes)
  std::uint8_t count;     ///< sectors asked for (reads and writes)
  bool ok;                ///< carry clear on return
  bool addressed = true;  ///< false for a CHS address outside the geometry (lba is 0 then)
};

/// The register file that INT 13h reads and writes; the BIOS copies it
/// from and back to the machine.
struct DiskRegisters {
  std::uint16_t ax, bx, cx, dx, si, di, ds, es;
  bool carry;
};

class MemoryAccess;

/// The BIOS's disks: drive 0x80 + k is disk k. References returned by `add`
/// stay valid while the set lives.
class DiskSet {
 public:
  DiskImage& add(DiskImage image) {
    disks_.push_back(std::move(image));
    return disks_.back();
  }
  std::size_t size() const { return disks_.size(); }
  DiskImage& operator[](std::size_t k) { return disks_[k]; }
  const DiskImage& operator[](std::size_t k) const { return disks_[k]; }
  /// The disk of BIOS drive `drive`, or null.
  DiskImage* drive(std::uint8_t drive);

  /// Serves INT 13h functions 00h, 02h, 03h, 08h, 41h and 42h; any other
  /// function, or a drive that is not there, fails with AH=01h.
  void serve(DiskRegisters& r, MemoryAccess& memory);

  /// Every INT 13h call so far, in order.
  const std::vector<DiskCall>& calls() const { return calls_; }
  /// The calls of function `function`.
  std::vector<DiskCall> calls(std::uint8_t function) const;

 private:
  bool readSectors(DiskImage& d, std::uint32_t lba, unsigned count, std::uint32_t buffer,
                   MemoryAccess& memory);
  bool writeSectors(DiskImage& d, std::uint32_t lba, unsigned count, std::uint32_t buffer,
                    MemoryAccess& memory);

  std::deque<DiskImage> disks_;  // references to disks stay valid
  std::vector<DiskCall> calls_;
};

/// How the disks reach guest memory (the machine, in the bench).
class MemoryAccess {
 public:
  virtual ~MemoryAccess() = default;
  virtual bool read(std::uint32_t address, void* out, std::uint32_t size) = 0;
  virtual bool write(std::uint32_t address, const void* data, std::uint32_t size) = 0;
};

}  // namespace vornboot::bench
