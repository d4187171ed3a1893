#pragma once
// What a sector holds, as far as booting goes: a partition's boot sector (its
// signature, and for FAT and NTFS the hidden-sectors field that their loaders
// compare with the partition's start), and a disk's sector 0 (which boot
// program it carries).

#include <cstdint>

namespace vornboot::check {

enum class FileSystem { None, Fat12, Fat16, Fat32, Ntfs };
/// "FAT12", "FAT16", "FAT32", "NTFS", or null for None.
const char* fileSystemName(FileSystem fs);

struct BootSectorFacts {
  bool empty = false;    ///< every byte is 0
  bool signed_ = false;  ///< 0x55 0xAA at 510
  FileSystem fileSystem = FileSystem::None;
  std::uint32_t hiddenSectors = 0;  ///< meaningful with a file system
};

/// Looks at a 512-byte boot sector. A FAT boot sector is one whose BIOS
/// parameter block has a power of two from 512 to 4096 as bytes per sector,
/// and the extended boot signature 0x28 or 0x29 with the file-system type
/// "FAT12", "FAT16" or "FAT" (at 54) or "FAT32" (at 82); an NTFS one has the
/// OEM name "NTFS" at 3. Both keep the hidden sectors at 28.
BootSectorFacts analyseBootSector(const std::uint8_t* sector);

/// What sector 0 of a disk holds.
enum class SectorZeroCode {
  VornBoot,  ///< the installed marker "BM" at 444
  Standard,  ///< the standard master boot program that uninstall writes
  NoCode,    ///< bytes 0..439 are all zero
  Other,     ///< any other boot code
};
SectorZeroCode sectorZeroCode(const std::uint8_t* sector);
/// "vornboot", "standard", "none" or "other": the names the JSON report uses.
const char* sectorZeroCodeName(SectorZeroCode code);

}  // namespace vornboot::check
