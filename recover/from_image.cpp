#include "recover/from_image.h"

#include <cstring>

#include "base/sector_format.h"
#include "image/boot_record.h"

namespace vornboot {
namespace {

// The compiled data never reaches 440; the reader treats everything from
// there on as out of reach, whatever the sector holds.
constexpr unsigned kEnd = layout::kLastDataByte + 1;

/// The offset of the first 0 at or after `from`, or kEnd.
unsigned findZero(const std::uint8_t* s, unsigned from) {
  for (unsigned i = from; i < kEnd; ++i)
    if (s[i] == 0) return i;
  return kEnd;
}

/// Reads the four texts from `offset`; returns the offset after the last
/// one's 0, or kEnd when they run past the data area (the text cut short
/// and those after it stay absent).
unsigned readTexts(const std::uint8_t* s, unsigned offset, DisplaySettings& display) {
  for (const DisplayTextRow& row : kDisplayTexts) {
    const unsigned end = findZero(s, offset);
    if (end == kEnd) return kEnd;
    const std::size_t length = end - offset;
    const char* text = reinterpret_cast<const char*>(s + offset);
    const bool isDefault =
        length == std::strlen(row.defaultText) && std::memcmp(text, row.defaultText, length) == 0;
    if (length != 0 && !isDefault) {
      FixedText value;
      value.set(text, length);
      display.setText(row.which, value.c_str());
    }
    offset = end + 1;
  }
  return offset;
}

void readTypeMap(const std::uint8_t* s, unsigned offset, BootConfig& config) {
  if (offset % 2) ++offset;
  const unsigned pairs = s[layout::kSlotMapLength] / 2;
  for (unsigned i = 0; i < pairs && offset + 2 <= kEnd; ++i, offset += 2) {
    const std::uint8_t original = s[offset];
    config.typeMap.push_back({original, s[offset + 1], FixedText(knownTypeName(original))});
  }
}

PartitionState stateOf(std::uint8_t diskByte, unsigned j, const PhysicalDisk* disk) {
  const PartitionState state = record::stateIn(diskByte, j);
  if (state != Unspecified) return state;
  if (disk && mbr::slotType(disk->sector0.data(), j) != mbr::kTypeEmpty) return Enable;
  return Unspecified;
}

void readEntries(const std::uint8_t* s, unsigned diskCount, BootConfig& config) {
  const std::uint16_t address = mbr::read16(s + layout::kSlotFirstEntry);
  if (address < layout::kLoadBase) return;
  unsigned offset = address - layout::kLoadBase;
  while (offset < kEnd && s[offset] != 0) {
    record::Found found;
    // A broken record is dropped and ends the list.
    if (!record::read(s, offset, kEnd, diskCount, found)) return;
    BootEntry& entry = config.entries.emplace_back();
    entry.name.set(reinterpret_cast<const char*>(s + found.name), found.nameLength);
    entry.password.set(reinterpret_cast<const char*>(s + found.password), found.passwordLength);
    for (unsigned i = 0; i < diskCount; ++i) {
      const std::uint8_t diskByte = found.diskByteOf(s, i, diskCount);
      EntryDisk& plan = entry.diskPlans[i];
      for (unsigned j = 0; j < mbr::kSlotCount; ++j) {
        plan.partitionState[j] = stateOf(diskByte, j, config.physicalDisk(i));
      }
    }
    offset = found.next;
  }
}

}  // namespace

void configureFromInstalledImage(BootConfig& config) {
  const PhysicalDisk* diskZero = config.diskZero();
  if (!diskZero) return;
  const std::uint8_t* s = diskZero->sector0.data();

  config.reset();
  config.display.noLogo = s[layout::kBanner] == 0;
  const unsigned textStart = findZero(s, layout::kBanner);
  const unsigned mapStart = textStart == kEnd ? kEnd : readTexts(s, textStart + 1, config.display);
  if (mapStart != kEnd) readTypeMap(s, mapStart, config);
  readEntries(s, s[layout::kSlotDiskCount], config);
}

}  // namespace vornboot
