#pragma once
// The configuration model: the disks found at start, the partition-type map,
// the boot entries with their per-disk plans, and the display settings. The
// parser, the recoveries and the inventory fill it; the compiler, the
// installer and the writer read it. BootConfig owns everything in it.

#include <cstdint>
#include <memory>

#include "config/model_base.h"
#include "disk/disk_device.h"

namespace vornboot {

enum PartitionState : std::uint32_t {
  Unspecified = 0,
  Enable = 1,
  Active = 2,
  Disable = 3,
};

/// One physical disk of the inventory, with its sector 0 as read at start.
class PhysicalDisk : public ModelObject {
 public:
  PhysicalDisk() = default;
  PhysicalDisk(const PhysicalDisk&) = default;
  PhysicalDisk& operator=(const PhysicalDisk&) = default;
  ~PhysicalDisk() override { device.close(); }

  DiskDevice device;
  std::uint32_t diskNumber = 0;
  std::uint8_t sector0[512] = {};
};

/// One pair of the partition-type map.
class TypeMapping : public ModelObject {
 public:
  TypeMapping() = default;
  TypeMapping(std::uint8_t original, std::uint8_t hidden, const char* name)
      : originalId(original), hiddenId(hidden), typeName(name) {}

  std::uint8_t originalId = 0;
  std::uint8_t hiddenId = 0;
  FixedText typeName;
};

/// An entry's plan for one disk. The disk is either a disk of the inventory
/// (`physicalDisk` set) or a bare number of a disk that is not there.
class EntryDisk : public ModelObject {
 public:
  EntryDisk() = default;
  /// A plan for `physical`, or, when it is null, for the bare number `number`.
  EntryDisk(PhysicalDisk* physical, std::uint32_t number)
      : physicalDisk_(physical), bareNumber_(number) {}

  std::uint32_t planDiskNumber() const {
    return physicalDisk_ ? physicalDisk_->diskNumber : bareNumber_;
  }
  /// The referenced disk of the inventory, or null for a bare number.
  const PhysicalDisk* physicalDisk() const { return physicalDisk_; }

  std::uint32_t partitionState[4] = {Unspecified, Unspecified, Unspecified, Unspecified};

 private:
  PhysicalDisk* physicalDisk_ = nullptr;  // not owned
  std::uint32_t bareNumber_ = 0;
};

/// One choice of the boot-time password prompt.
class BootEntry : public ModelObject {
 public:
  FixedText name;
  /// Keyboard scan codes, one byte per key, NUL-terminated; empty = no password.
  FixedText password;
  OwnedArray<EntryDisk> diskPlans;

  /// The first plan whose disk number is `diskNumber`, or null.
  const EntryDisk* findPlan(std::uint32_t diskNumber) const;
};

/// The values of the `set` block; absent texts are null.
class DisplaySettings {
 public:
  std::uint8_t noLogo = 0;
  std::unique_ptr<FixedText> passwordPrompt;
  std::unique_ptr<FixedText> passwordWrong;
  std::unique_ptr<FixedText> passwordOk;
  std::unique_ptr<FixedText> diskError;

  /// Replaces the text in `field` by a new one made from `text`.
  static void setText(std::unique_ptr<FixedText>& field, const char* text) {
    field = std::make_unique<FixedText>(text);
  }
  void setNoLogo() { noLogo = 1; }
  void reset() {
    noLogo = 0;
    passwordPrompt.reset();
    passwordWrong.reset();
    passwordOk.reset();
    diskError.reset();
  }
  bool empty() const {
    return !noLogo && !passwordPrompt && !passwordWrong && !passwordOk && !diskError;
  }
};

class DiskSystem;

/// The root of the model: one per run.
class BootConfig {
 public:
  /// A configuration without any disk (for tests and pure logic).
  BootConfig() = default;
  /// A configuration whose `disks` hold the inventory of `system`.
  explicit BootConfig(DiskSystem& system);
  BootConfig(const BootConfig&) = delete;
  BootConfig& operator=(const BootConfig&) = delete;
  ~BootConfig();

  std::uint32_t usedDiskCount = 0;
  OwnedArray<PhysicalDisk> disks;
  OwnedArray<TypeMapping> typeMap;
  OwnedArray<BootEntry> entries;
  DisplaySettings display;
  FixedText sourceName;

  BootEntry* currentEntry() { return entries.last(); }
  EntryDisk* currentPlan() {
    BootEntry* e = currentEntry();
    return e ? e->diskPlans.last() : nullptr;
  }
  /// The first mapping whose original or hidden ID is `typeId`, or null.
  const TypeMapping* findMapping(std::uint8_t typeId) const;
  /// Empties map, entries, display settings and usedDiskCount; keeps the disks.
  void reset();
  /// Disk 0 of the inventory, or null when the inventory is empty.
  const PhysicalDisk* diskZero() const { return disks.empty() ? nullptr : &disks[0]; }
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
