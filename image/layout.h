#pragma once
// Layout of the installed boot sector. Every offset here is binding for the
// compiler, the installer, the reader of an installed sector and the boot
// program itself (whose sources are checked against these values).
//
//   0..29     start-up code; runs at 0000:7C00, moves 30..443 to 0000:061E
//   30..226   resident code (nine of the ten patch slots)
//   227..246  boot step: CHS read (slot 243) or the 20-byte extended read
//   247..263  string output routine
//   264..279  banner "VornBoot 2.0\r\n\n" and its 0 (264 is 0 with no_logo)
//   280..439  texts, type-map table, entry records, list end (265.. no_logo)
//   440..443  disk signature (from the disk)
//   444..445  installed marker "BM"
//   446..509  partition table (from the disk)
//   510..511  boot signature (from the disk)
//
// The program runs at 0000:0600, so an address stored in the sector is the
// offset + 0x0600.

#include <cstdint>

namespace vornboot::layout {

inline constexpr unsigned kSectorSize = 512;
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
inline constexpr unsigned kDiskSignature = 440;
inline constexpr unsigned kMarker = 444;
inline constexpr std::uint16_t kMarkerValue = 0x4D42;  // "BM"
inline constexpr unsigned kPartitionTable = 446;

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

// Entry records.
inline constexpr std::uint8_t kPasswordEnd = 0x1C;  // scan code of Enter
inline constexpr unsigned kMaxEntries = 8;          // one bit each in the boot-time mismatch mask

// Default texts, as the program carries them.
inline constexpr const char* kDefaultPrompt = "\nEnter password: ";
inline constexpr const char* kDefaultWrong = "WRONG!\r";
inline constexpr const char* kDefaultOk = "OK\r\n\n";
inline constexpr const char* kDefaultDiskError = "Disk IO Error\r\n";
inline constexpr const char* kBannerText = "VornBoot 2.0\r\n\n";

// The standard master boot program written at uninstall.
inline constexpr unsigned kStandardMessageBytes = 437;  // 437, 438, 439
inline constexpr std::uint16_t kStandardMessagePage = 0x0700;

}  // namespace vornboot::layout
