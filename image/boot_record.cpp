#include "image/boot_record.h"

#include <cstring>

namespace vornboot::record {

namespace {

constexpr std::uint8_t kLineEnd[3] = {0x0D, 0x0A, 0x00};

/// The first byte `value` (or, with `orZero`, 0) at or after `from` and
/// before `end`, or `end`.
unsigned find(const std::uint8_t* s, unsigned from, unsigned end, std::uint8_t value, bool orZero) {
  for (unsigned i = from; i < end; ++i)
    if (s[i] == value || (orZero && s[i] == 0)) return i;
  return end;
}

}  // namespace

std::uint8_t diskByte(const EntryDisk* plan) {
  std::uint8_t active = 0;
  std::uint8_t hidden = 0;
  if (!plan) return 0;
  for (unsigned j = 0; j < mbr::kSlotCount; ++j) {
    if (plan->partitionState[j] == Active) active = layout::activeBit(j);
    if (plan->partitionState[j] == Disable) hidden |= layout::hiddenBit(j);
  }
  return active | hidden;
}

PartitionState stateIn(std::uint8_t diskByte, unsigned j) {
  if (diskByte & layout::activeBit(j)) return Active;
  if (diskByte & layout::hiddenBit(j)) return Disable;
  return Unspecified;
}

std::size_t write(std::uint8_t* out, const BootEntry& entry, std::uint32_t diskCount) {
  std::uint8_t* p = out;
  const std::size_t nameLength = entry.name.length();
  const std::size_t passwordLength = entry.password.length();
  std::memcpy(p, entry.name.c_str(), nameLength);
  p += nameLength;
  std::memcpy(p, kLineEnd, sizeof kLineEnd);
  p += sizeof kLineEnd;
  std::memcpy(p, entry.password.c_str(), passwordLength);
  p += passwordLength;
  *p++ = layout::kPasswordEnd;
  for (std::uint32_t k = diskCount; k-- > 0;) *p++ = diskByte(entry.findPlan(k));
  return std::size_t(p - out);
}

bool read(const std::uint8_t* sector, unsigned offset, unsigned end, std::uint32_t diskCount,
          Found& found) {
  const unsigned nameEnd = find(sector, offset, end, kLineEnd[0], true);
  if (nameEnd == end) return false;
  const unsigned lineEnd = find(sector, nameEnd, end, 0, false);
  if (lineEnd == end) return false;
  const unsigned password = lineEnd + 1;
  const unsigned passwordEnd = find(sector, password, end, layout::kPasswordEnd, true);
  if (passwordEnd == end || sector[passwordEnd] == 0) return false;
  const unsigned diskBytes = passwordEnd + 1;
  if (std::uint64_t(diskBytes) + diskCount > end) return false;
  found = {offset,    nameEnd - offset,     password, passwordEnd - password,
           diskBytes, diskBytes + diskCount};
  return true;
}

}  // namespace vornboot::record
