#include "check/boot_sector.h"

#include <algorithm>
#include <cstring>

#include "base/sector_format.h"
#include "boot/templates.h"

namespace vornboot::check {

namespace {

// BIOS parameter block offsets shared by FAT and NTFS.
constexpr unsigned kOemName = 3;
constexpr unsigned kBytesPerSector = 11;
constexpr unsigned kHiddenSectors = 28;
// The extended block: at 36 for FAT12/16, at 64 for FAT32.
constexpr unsigned kFatSignature = 38, kFatType = 54;
constexpr unsigned kFat32Signature = 66, kFat32Type = 82;

bool startsWith(const std::uint8_t* at, const char* text) {
  return std::memcmp(at, text, std::strlen(text)) == 0;
}

bool extendedSignature(std::uint8_t b) {
  return b == 0x28 || b == 0x29;
}

}  // namespace

const char* fileSystemName(FileSystem fs) {
  switch (fs) {
    case FileSystem::Fat12:
      return "FAT12";
    case FileSystem::Fat16:
      return "FAT16";
    case FileSystem::Fat32:
      return "FAT32";
    case FileSystem::Ntfs:
      return "NTFS";
    case FileSystem::None:
      break;
  }
  return nullptr;
}

BootSectorFacts analyseBootSector(const std::uint8_t* s) {
  BootSectorFacts f;
  f.empty = std::all_of(s, s + mbr::kSectorSize, [](std::uint8_t b) { return b == 0; });
  f.signed_ = s[mbr::kBootSignature] == 0x55 && s[mbr::kBootSignature + 1] == 0xAA;
  const unsigned bytesPerSector = mbr::read16(s + kBytesPerSector);
  const bool bpb = bytesPerSector >= 512 && bytesPerSector <= 4096 &&
                   (bytesPerSector & (bytesPerSector - 1)) == 0;
  if (startsWith(s + kOemName, "NTFS    ")) {
    f.fileSystem = FileSystem::Ntfs;
  } else if (bpb && extendedSignature(s[kFat32Signature]) && startsWith(s + kFat32Type, "FAT32")) {
    f.fileSystem = FileSystem::Fat32;
  } else if (bpb && extendedSignature(s[kFatSignature]) && startsWith(s + kFatType, "FAT")) {
    f.fileSystem = startsWith(s + kFatType, "FAT12") ? FileSystem::Fat12 : FileSystem::Fat16;
  }
  if (f.fileSystem != FileSystem::None) f.hiddenSectors = mbr::read32(s + kHiddenSectors);
  return f;
}

SectorZeroCode sectorZeroCode(const std::uint8_t* s) {
  if (mbr::read16(s + layout::kMarker) == layout::kMarkerValue) return SectorZeroCode::VornBoot;
  // The standard program's code and texts fill 0..439; 440.. is the disk's.
  if (std::memcmp(s, boot::kStandardTemplate, mbr::kDiskSignature) == 0)
    return SectorZeroCode::Standard;
  if (std::all_of(s, s + mbr::kDiskSignature, [](std::uint8_t b) { return b == 0; }))
    return SectorZeroCode::NoCode;
  return SectorZeroCode::Other;
}

const char* sectorZeroCodeName(SectorZeroCode code) {
  switch (code) {
    case SectorZeroCode::VornBoot:
      return "vornboot";
    case SectorZeroCode::Standard:
      return "standard";
    case SectorZeroCode::NoCode:
      return "none";
    case SectorZeroCode::Other:
      break;
  }
  return "other";
}

}  // namespace vornboot::check
