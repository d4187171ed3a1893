#pragma once
// The entry records of the boot sector, written by the compiler and read back
// from an installed sector: the name, 0x0D 0x0A 0x00, the password's scan
// codes, 0x1C, then one disk byte per disk from disk N - 1 down to disk 0. In
// a disk byte, bit 4 + j makes partition j the active one and bit j hides it.

#include <cstddef>
#include <cstdint>

#include "base/sector_format.h"
#include "config/model.h"

namespace vornboot::record {

/// The bytes of a record up to and including its password end.
constexpr std::size_t headerSize(std::size_t nameLength, std::size_t passwordLength) {
  return nameLength + 3 + passwordLength + 1;
}

/// The disk byte of `plan` (a disk without a plan has 0): the active bit of
/// the highest-numbered Active partition, and the hidden bit of every
/// Disable one.
std::uint8_t diskByte(const EntryDisk* plan);

/// What a disk byte says of partition j: Active, Disable, or Unspecified
/// when neither bit is set.
PartitionState stateIn(std::uint8_t diskByte, unsigned j);

/// Writes the record of `entry` for `diskCount` disks at `out` (which has
/// room for it); returns the number of bytes written.
std::size_t write(std::uint8_t* out, const BootEntry& entry, std::uint32_t diskCount);

/// A record found in a sector: offsets into it.
struct Found {
  unsigned name, nameLength;
  unsigned password, passwordLength;
  unsigned diskBytes;  ///< the byte of disk N - 1; disk 0's is the last
  unsigned next;       ///< where the next record (or the list end) begins
  /// The disk byte of disk `k` (< the disk count) in `sector`.
  std::uint8_t diskByteOf(const std::uint8_t* sector, std::uint32_t k, std::uint32_t count) const {
    return sector[diskBytes + count - 1 - k];
  }
};

/// Reads the record at `offset` of `sector` for `diskCount` disks, looking at
/// no byte at or past `end`. False when the record is broken: its password
/// has no 0x1C before the next 0 byte, or it does not end before `end`.
bool read(const std::uint8_t* sector, unsigned offset, unsigned end, std::uint32_t diskCount,
          Found& found);

}  // namespace vornboot::record
