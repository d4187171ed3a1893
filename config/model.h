#pragma once
// The configuration model: the disks found at start, the partition-type map,
// the boot entries with their per-disk plans, and the display settings. The
// parser and the recoveries fill it; the compiler, the installer and the
// writer read it. BootConfig owns everything in it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "config/display_texts.h"
#include "disk/disk_device.h"
#include "disk/physical_disk.h"

namespace vornboot {

/// A NUL-terminated text of at most 127 characters in a 128-byte buffer.
class FixedText {
 public:
  static constexpr std::size_t kSize = 128;

  FixedText() { text_[0] = '\0'; }
  explicit FixedText(const char* source) { set(source); }

  /// Copies `source` (null gives the empty text); longer sources are cut to
  /// 127 characters.
  void set(const char* source) { set(source, source ? strnlen(source, kSize - 1) : 0); }
  /// Copies exactly `length` bytes (cut to 127); the text may hold any byte
  /// but stops at the first 0 for every reader.
  void set(const char* source, std::size_t length) {
    if (length > kSize - 1) length = kSize - 1;
    if (length) std::memcpy(text_, source, length);
    text_[length] = '\0';
  }
  const char* c_str() const { return text_; }
  std::size_t length() const { return strnlen(text_, kSize); }
  bool empty() const { return text_[0] == '\0'; }
  bool operator==(const FixedText& other) const { return std::strcmp(text_, other.text_) == 0; }

 private:
  char text_[kSize];
};

/// What an entry does with one partition at boot time.
enum class PartitionState : std::uint8_t {
  Unspecified = 0,  ///< not named: visible and inactive, like Enable
  Enable = 1,
  Active = 2,
  Disable = 3,
};
using enum PartitionState;

/// One pair of the partition-type map.
struct TypeMapping {
  std::uint8_t originalId = 0;
  std::uint8_t hiddenId = 0;
  FixedText typeName;
};

/// An entry's plan for one disk: the state of each of its four partitions.
/// Plans are kept by disk number (see BootEntry::diskPlans).
struct EntryDisk {
  std::array<PartitionState, mbr::kSlotCount> partitionState{};
};

/// One choice of the boot-time password prompt.
struct BootEntry {
  FixedText name;
  /// Keyboard scan codes, one byte per key, NUL-terminated; empty = no password.
  FixedText password;
  /// The plans, by disk number; at most one per disk.
  std::map<std::uint32_t, EntryDisk> diskPlans;

  /// The plan for disk `diskNumber`, or null.
  const EntryDisk* findPlan(std::uint32_t diskNumber) const;
};

/// The values of the `set` block.
class DisplaySettings {
 public:
  bool noLogo = false;

  /// The configured text, or null when the configuration sets none (the
  /// compiler then uses the row's default text).
  const FixedText* text(DisplayText which) const {
    const auto& t = texts_[static_cast<unsigned>(which)];
    return t ? &*t : nullptr;
  }
  /// Sets a text (null gives the empty text); the last setting wins.
  void setText(DisplayText which, const char* text) {
    texts_[static_cast<unsigned>(which)].emplace(text);
  }
  void setNoLogo() { noLogo = true; }
  void reset() { *this = DisplaySettings(); }
  bool empty() const;

 private:
  std::array<std::optional<FixedText>, kDisplayTextCount> texts_;
};

/// The root of the model: one per run.
class BootConfig {
 public:
  /// A configuration without any disk (for tests and pure logic).
  BootConfig() = default;
  /// A configuration over the inventory `inventory` (disk 0 first).
  explicit BootConfig(std::vector<PhysicalDisk> inventory) : disks(std::move(inventory)) {}
  /// A configuration over the inventory of `system`.
  explicit BootConfig(DiskSystem& system);

  /// The inventory: index = disk number. Never changes after construction.
  std::vector<PhysicalDisk> disks;
  std::vector<TypeMapping> typeMap;
  std::deque<BootEntry> entries;
  DisplaySettings display;

  /// One more than the highest disk number that any entry plans (0 when none
  /// does): the disk count N that the boot sector carries.
  std::uint32_t usedDiskCount() const;

  BootEntry* currentEntry() { return entries.empty() ? nullptr : &entries.back(); }
  const BootEntry* currentEntry() const { return entries.empty() ? nullptr : &entries.back(); }
  /// The first mapping whose original or hidden ID is `typeId`, or null.
  const TypeMapping* findMapping(std::uint8_t typeId) const;
  /// Empties map, entries and display settings; keeps the disks.
  void reset();
  /// Disk `diskNumber` of the inventory, or null when it is not there.
  const PhysicalDisk* physicalDisk(std::uint32_t diskNumber) const {
    return diskNumber < disks.size() ? &disks[diskNumber] : nullptr;
  }
  /// Disk 0 of the inventory, or null when the inventory is empty.
  const PhysicalDisk* diskZero() const { return physicalDisk(0); }
};

struct KnownPartitionType {
  std::uint8_t originalId;
  std::uint8_t hiddenId;
  const char* name;
};
inline constexpr KnownPartitionType KnownPartitionTypes[9] = {
    {0x01, 0x11, "FAT12"},  {0x04, 0x14, "FAT16"},     {0x05, 0x15, "EXTENDED"},
    {0x06, 0x16, "FAT16b"}, {0x07, 0x17, "HPFS/NTFS"}, {0x0B, 0x1B, "FAT32"},
    {0x0C, 0x1C, "FAT32x"}, {0x0E, 0x1E, "FAT16x"},    {0x0F, 0x1F, "EXTENDEDx"},
};

/// The name of the first known type whose original ID is `typeId`, or null.
const char* knownTypeName(std::uint8_t typeId);

}  // namespace vornboot
