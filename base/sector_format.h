#pragma once
// The one description of a sector 0: the master boot record every disk has,
// and the boot sector this system installs on disk 0. Every offset here is
// binding for the disk layer, the compiler, the installer, the reader of an
// installed sector and the boot programs themselves (their NASM include is
// generated from this file, and their sources are checked against it).
//
// Master boot record:
//   0..445    boot code (disk signature at 440..443 inside it)
//   446..509  partition table: four 16-byte slots
//   510..511  boot signature 0x55 0xAA
// A slot: 0 boot indicator (non-zero = active), 1..3 CHS of the first sector,
// 4 type ID (0 = empty), 5..7 CHS of the last sector, 8..11 first sector
// (LBA), 12..15 number of sectors; little-endian.
//
// The installed boot sector:
//   0..29     start-up code; runs at 0000:7C00, moves 30..443 to 0000:061E
//   30..226   resident code (nine of the ten patch slots)
//   227..246  boot step: CHS read (slot 243) or the 20-byte extended read
//   247..263  string output routine
//   264..279  banner "VornBoot 2.0\r\n\n" and its 0 (264 is 0 with no_logo)
//   280..439  texts, type-map table, entry records, list end (265.. no_logo)
//   440..443  disk signature (from the disk)
//   444..445  installed marker "BM"
//   446..511  partition table and boot signature (from the disk)
// The program runs at 0000:0600, so an address stored in the sector is the
// offset + 0x0600.

#include <cstdint>

namespace vornboot::mbr {

inline constexpr unsigned kSectorSize = 512;
inline constexpr unsigned kDiskSignature = 440;
inline constexpr unsigned kPartitionTable = 446;
inline constexpr unsigned kSlotCount = 4;
inline constexpr unsigned kSlotSize = 16;
inline constexpr unsigned kBootSignature = 510;

// Offsets inside a slot.
inline constexpr unsigned kBootIndicator = 0;
inline constexpr unsigned kStartChs = 1;
inline constexpr unsigned kTypeId = 4;
inline constexpr unsigned kEndChs = 5;
inline constexpr unsigned kFirstSector = 8;
inline constexpr unsigned kSectorCount = 12;

// Partition type IDs with a meaning of their own.
inline constexpr std::uint8_t kTypeEmpty = 0x00;
inline constexpr std::uint8_t kTypeExtended = 0x05;
inline constexpr std::uint8_t kTypeExtendedLba = 0x0F;
/// The type of a GPT disk's protective (or hybrid) MBR entry: the partitions
/// are in the GPT, which a BIOS boot sector does not read.
inline constexpr std::uint8_t kTypeGptProtective = 0xEE;
inline constexpr std::uint8_t kBootSignatureBytes[2] = {0x55, 0xAA};

/// True for the two types of an extended partition (a container, not bootable).
constexpr bool isExtendedType(std::uint8_t type) {
  return type == kTypeExtended || type == kTypeExtendedLba;
}

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
/// True when the sector ends in 0x55 0xAA, without which a BIOS boots no disk.
inline bool hasBootSignature(const std::uint8_t* sector) {
  return sector[kBootSignature] == kBootSignatureBytes[0] &&
         sector[kBootSignature + 1] == kBootSignatureBytes[1];
}
/// The number of slots whose type ID is not 0 (the drive layout's partition
/// count as the image-file mode reads it).
inline unsigned usedSlotCount(const std::uint8_t* sector) {
  unsigned n = 0;
  for (unsigned j = 0; j < kSlotCount; ++j) n += slotType(sector, j) != kTypeEmpty;
  return n;
}

}  // namespace vornboot::mbr

namespace vornboot::layout {

inline constexpr unsigned kTemplateSize = 446;
inline constexpr std::uint16_t kLoadBase = 0x0600;

inline constexpr unsigned kStartupEnd = 30;
inline constexpr unsigned kBootStep = 227;
inline constexpr unsigned kBootStepSize = 20;
inline constexpr unsigned kPrintRoutine = 247;
inline constexpr unsigned kBanner = 264;
inline constexpr unsigned kTextArea = 280;
inline constexpr unsigned kTextAreaNoLogo = 265;
inline constexpr unsigned kLastDataByte = 439;  // the list end may be here, no later
inline constexpr unsigned kMarker = 444;
inline constexpr std::uint16_t kMarkerValue = 0x4D42;  // "BM"

// Patch slots (immediate operands inside the resident code).
inline constexpr unsigned kSlotFirstEntry = 34;         // 16 bits: address of first record
inline constexpr unsigned kSlotDiskCount = 37;          // 8 bits: N
inline constexpr unsigned kSlotPromptText = 61;         // 16 bits
inline constexpr unsigned kSlotWrongText = 110;         // 16 bits
inline constexpr unsigned kSlotOkText = 118;            // 16 bits
inline constexpr unsigned kSlotLastDrive = 130;         // 8 bits: 0x7F + N
inline constexpr unsigned kSlotMapTable = 162;          // 16 bits
inline constexpr unsigned kSlotMapLength = 165;         // 8 bits: 2 * pairs
inline constexpr unsigned kSlotDiskErrorText = 215;     // 16 bits
inline constexpr unsigned kSlotDiskErrorTextChs = 243;  // 16 bits, CHS boot step only

// Entry records: name, 0x0D 0x0A 0x00, password scan codes, 0x1C, one disk
// byte per disk from disk N - 1 down to disk 0. A 0 byte ends the list.
inline constexpr std::uint8_t kPasswordEnd = 0x1C;  // scan code of Enter
inline constexpr unsigned kRecordFixedBytes = 4;    // the line end and the password end
inline constexpr unsigned kMaxEntries = 8;          // one bit each in the boot-time mismatch mask

// A disk byte: bit 4 + j makes partition j the active one, bit j hides it.
inline constexpr std::uint8_t kDiskByteActive = 0x10;  // shifted left by j
inline constexpr std::uint8_t kDiskByteHidden = 0x01;  // shifted left by j
constexpr std::uint8_t activeBit(unsigned j) {
  return std::uint8_t(kDiskByteActive << j);
}
constexpr std::uint8_t hiddenBit(unsigned j) {
  return std::uint8_t(kDiskByteHidden << j);
}

// The texts the resident program carries, back to back from kBanner on; the
// compiler uses the four after the banner when a configuration sets none.
inline constexpr const char* kBannerText = "VornBoot 2.0\r\n\n";
inline constexpr const char* kDefaultPrompt = "\nEnter password: ";
inline constexpr const char* kDefaultWrong = "WRONG!\r";
inline constexpr const char* kDefaultOk = "OK\r\n\n";
inline constexpr const char* kDefaultDiskError = "Disk IO Error\r\n";

// The standard master boot program written at uninstall.
inline constexpr unsigned kStandardMessageBytes = 437;  // 437, 438, 439
inline constexpr std::uint16_t kStandardMessagePage = 0x0700;

}  // namespace vornboot::layout
