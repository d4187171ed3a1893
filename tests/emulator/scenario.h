#pragma once
// Machines for the boot-program tests: disks whose partition tables have CHS
// fields that agree with the disk geometry, a tagged boot sector at the start
// of every partition (so a test sees which one was started), and the sector
// under test built the way the program itself builds it: the resident image
// by the real parser and compiler, the standard one as uninstall merges it.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bench/pc.h"
#include "config/model.h"

namespace vornboot::emulator {

using Sector = std::vector<std::uint8_t>;

/// 2048 sectors of 512 bytes: 32 cylinders, 4 heads, 16 sectors per track.
inline constexpr bench::Geometry kGeometry{32, 4, 16};
inline constexpr std::uint32_t kDiskSectors = 2048;

struct Partition {
  std::uint8_t bootIndicator;
  std::uint8_t type;
  std::uint32_t first;
  std::uint32_t count;
};

/// The CHS bytes (head, sector with cylinder bits 8-9, cylinder bits 0-7) of
/// `lba`; beyond cylinder 1023 the customary 1023/254/63.
void chsBytes(std::uint32_t lba, const bench::Geometry& g, std::uint8_t out[3]);

/// A sector 0 with a disk signature, the partitions in slots 0, 1, ... and
/// 0x55 0xAA; the code area is zero.
Sector partitionSector(std::uint32_t signature, const std::vector<Partition>& partitions,
                       const bench::Geometry& g = kGeometry);

/// The boot sector that stands at the start of partition `slot` of disk
/// `disk` (or at `offset` sectors into it): `hlt`, a tag and 0x55 0xAA.
Sector taggedBootSector(unsigned disk, unsigned slot, unsigned offset = 0);
/// The tag of the tagged boot sector `sector` ("d:s" or "d:s+o"), or "".
std::string tagOf(const Sector& sector);

/// A disk of `sectors` sectors with `sector0` and, at the first sector of
/// every partition of its table, taggedBootSector(disk, slot).
bench::DiskImage diskWith(const Sector& sector0, unsigned disk,
                          std::uint32_t sectors = kDiskSectors,
                          const bench::Geometry& g = kGeometry);

/// The result of compiling a configuration text.
struct Compiled {
  bool ok = false;
  Sector image;
  std::string messages;  ///< what the parser and the compiler printed
};

/// Parses `text` and compiles it for a machine whose disks have the sector
/// 0s `sector0s` (disk 0 first). `adjust`, when given, may change the model
/// between parsing and compiling.
Compiled compileResident(const std::string& text, const std::vector<Sector>& sector0s,
                         bool useExtensions,
                         const std::function<void(BootConfig&)>& adjust = nullptr);

/// The standard program as uninstall writes it over `sector0`: its code and
/// texts, with the disk signature, the partition table and the boot
/// signature of `sector0`.
Sector standardSector(const Sector& sector0);

/// The 512 bytes at 0000:7C00.
Sector loadedSector(bench::Pc& pc);

}  // namespace vornboot::emulator
