#pragma once
// Master boot record layout, shared by everything that reads a sector 0.
//
//   0..445   boot code (disk signature at 440..443 inside it)
//   446..509 partition table: four 16-byte slots
//   510..511 boot signature 0x55 0xAA
//
// A slot: 0 boot indicator (non-zero = active), 1..3 CHS of the first sector,
// 4 type ID (0 = empty), 5..7 CHS of the last sector, 8..11 first sector
// (LBA), 12..15 number of sectors; little-endian.

#include <cstdint>

namespace vornboot::mbr {

inline constexpr unsigned kDiskSignature = 440;
inline constexpr unsigned kPartitionTable = 446;
inline constexpr unsigned kSlotSize = 16;
inline constexpr unsigned kBootSignature = 510;

inline constexpr unsigned kBootIndicator = 0;
inline constexpr unsigned kStartChs = 1;
inline constexpr unsigned kTypeId = 4;
inline constexpr unsigned kEndChs = 5;
inline constexpr unsigned kFirstSector = 8;
inline constexpr unsigned kSectorCount = 12;

inline std::uint32_t read32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}
inline std::uint16_t read16(const std::uint8_t* p) {
  return std::uint16_t(p[0] | p[1] << 8);
}
inline void write16(std::uint8_t* p, std::uint16_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
}
inline void write32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}

/// The 16-byte slot `j` (0..3) of a sector.
inline const std::uint8_t* slot(const std::uint8_t* sector, unsigned j) {
  return sector + kPartitionTable + kSlotSize * j;
}
inline std::uint8_t slotType(const std::uint8_t* sector, unsigned j) {
  return slot(sector, j)[kTypeId];
}
inline std::uint32_t signature(const std::uint8_t* sector) {
  return read32(sector + kDiskSignature);
}
/// The number of slots whose type ID is not 0 (the drive layout's partition
/// count as the image-file mode reads it).
inline unsigned usedSlotCount(const std::uint8_t* sector) {
  unsigned n = 0;
  for (unsigned j = 0; j < 4; ++j) n += slotType(sector, j) != 0;
  return n;
}

}  // namespace vornboot::mbr
