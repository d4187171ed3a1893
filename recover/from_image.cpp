#include "recover/from_image.h"

#include <cstring>

#include "disk/mbr.h"
#include "image/layout.h"

namespace vornboot {
namespace {

// The compiled data never reaches 440; the reader treats everything from
// there on as out of reach, whatever the sector holds.
constexpr unsigned kEnd = layout::kLastDataByte + 1;

/// A view of bytes 0..439 of the sector: every lookup says whether it found
/// what it looked for before 440.
class ImageView {
 public:
  explicit ImageView(const std::uint8_t* sector) : s_(sector) {}

  std::uint8_t at(unsigned offset) const { return s_[offset]; }
  std::uint16_t word(unsigned offset) const { return mbr::read16(s_ + offset); }
  const char* chars(unsigned offset) const { return reinterpret_cast<const char*>(s_ + offset); }

  /// The offset of the first byte `value` at or after `from`, or kEnd.
  unsigned find(unsigned from, std::uint8_t value) const {
    for (unsigned i = from; i < kEnd; ++i)
      if (s_[i] == value) return i;
    return kEnd;
  }
  /// The offset of the first `value` or 0 at or after `from`, or kEnd.
  unsigned findOrZero(unsigned from, std::uint8_t value) const {
    for (unsigned i = from; i < kEnd; ++i)
      if (s_[i] == value || s_[i] == 0) return i;
    return kEnd;
  }

 private:
  const std::uint8_t* s_;
};

/// Reads the four texts from `offset`; returns the offset after the last
/// one's 0, or kEnd when they run past the data area (the text cut short
/// and those after it stay absent).
unsigned readTexts(const ImageView& image, unsigned offset, DisplaySettings& display) {
  struct Text {
    std::unique_ptr<FixedText>* field;
    const char* defaultText;
  } texts[] = {
      {&display.passwordPrompt, layout::kDefaultPrompt},
      {&display.passwordWrong, layout::kDefaultWrong},
      {&display.passwordOk, layout::kDefaultOk},
      {&display.diskError, layout::kDefaultDiskError},
  };
  for (Text& t : texts) {
    unsigned end = image.find(offset, 0);
    if (end == kEnd) return kEnd;
    std::size_t length = end - offset;
    const char* text = image.chars(offset);
    bool isDefault =
        length == std::strlen(t.defaultText) && std::memcmp(text, t.defaultText, length) == 0;
    if (length != 0 && !isDefault) {
      *t.field = std::make_unique<FixedText>();
      (*t.field)->set(text, length);
    }
    offset = end + 1;
  }
  return offset;
}

void readTypeMap(const ImageView& image, unsigned offset, BootConfig& config) {
  if (offset % 2) ++offset;
  unsigned pairs = image.at(layout::kSlotMapLength) / 2;
  for (unsigned i = 0; i < pairs && offset + 2 <= kEnd; ++i, offset += 2) {
    std::uint8_t original = image.at(offset);
    config.typeMap.append(TypeMapping(original, image.at(offset + 1), knownTypeName(original)));
  }
}

std::uint32_t stateOf(std::uint8_t diskByte, unsigned j, const PhysicalDisk* disk) {
  if (diskByte & (0x10u << j)) return Active;
  if (diskByte & (1u << j)) return Disable;
  if (disk && mbr::slotType(disk->sector0, j) != 0) return Enable;
  return Unspecified;
}

/// Reads the record at `offset` into `entry` and moves `offset` to the next
/// record; false when the record is broken or runs past the data area.
bool readRecord(const ImageView& image, unsigned& offset, unsigned diskCount, BootConfig& config,
                BootEntry& entry) {
  unsigned nameEnd = image.findOrZero(offset, 0x0D);
  if (nameEnd == kEnd) return false;
  entry.name.set(image.chars(offset), nameEnd - offset);

  unsigned passwordStart = image.find(nameEnd, 0);
  if (passwordStart == kEnd) return false;
  ++passwordStart;
  unsigned passwordEnd = image.findOrZero(passwordStart, layout::kPasswordEnd);
  if (passwordEnd == kEnd || image.at(passwordEnd) == 0) return false;
  entry.password.set(image.chars(passwordStart), passwordEnd - passwordStart);

  unsigned diskBytes = passwordEnd + 1;
  if (diskBytes + diskCount > kEnd) return false;
  for (unsigned i = 0; i < diskCount; ++i) {
    PhysicalDisk* disk = i < config.disks.count() ? &config.disks[i] : nullptr;
    EntryDisk plan(disk, i);
    std::uint8_t diskByte = image.at(diskBytes + diskCount - 1 - i);
    for (unsigned j = 0; j < 4; ++j) plan.partitionState[j] = stateOf(diskByte, j, disk);
    entry.diskPlans.append(plan);
  }
  offset = diskBytes + diskCount;
  return true;
}

void readEntries(const ImageView& image, unsigned diskCount, BootConfig& config) {
  std::uint16_t address = image.word(layout::kSlotFirstEntry);
  if (address < layout::kLoadBase) return;
  unsigned offset = address - layout::kLoadBase;
  while (offset < kEnd && image.at(offset) != 0) {
    BootEntry entry;
    // A broken record is dropped and ends the list.
    if (!readRecord(image, offset, diskCount, config, entry)) return;
    config.entries.append(entry);
  }
}

}  // namespace

void configureFromInstalledImage(BootConfig& config) {
  if (config.disks.empty()) return;
  ImageView image(config.disks[0].sector0);

  unsigned diskCount = image.at(layout::kSlotDiskCount);
  config.usedDiskCount = diskCount;
  config.display.noLogo = image.at(layout::kBanner) == 0 ? 1 : 0;

  config.display.passwordPrompt.reset();
  config.display.passwordWrong.reset();
  config.display.passwordOk.reset();
  config.display.diskError.reset();
  config.typeMap.clear();
  unsigned textStart = image.find(layout::kBanner, 0);
  unsigned mapStart = textStart == kEnd ? kEnd : readTexts(image, textStart + 1, config.display);
  if (mapStart != kEnd) readTypeMap(image, mapStart, config);

  config.entries.clear();
  readEntries(image, diskCount, config);
}

}  // namespace vornboot
