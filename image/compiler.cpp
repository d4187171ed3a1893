#include "image/compiler.h"

#include <cstring>

#include "boot/templates.h"
#include "disk/mbr.h"
#include "driver/catalog.h"
#include "driver/diagnostics.h"
#include "image/layout.h"

namespace vornboot {

namespace {

// Lays bytes out in the variable area. The position keeps counting past the
// area's end, so an overlong layout is still measured exactly, but bytes that
// would land beyond the last data byte (439) are dropped: a compilation that
// got that far fails its fit check anyway, and the buffer is never overrun.
class AreaWriter {
 public:
  AreaWriter(std::uint8_t* image, std::size_t start) : image_(image), pos_(start) {}

  void put(std::uint8_t byte) {
    if (pos_ <= layout::kLastDataByte) image_[pos_] = byte;
    ++pos_;
  }
  void put(const char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) put(static_cast<std::uint8_t>(bytes[i]));
  }
  /// The text and its terminating 0.
  void putText(const char* text) { put(text, std::strlen(text) + 1); }
  /// Skips one byte when the position is odd; the skipped byte keeps its value.
  void alignEven() { pos_ += pos_ & 1; }

  std::size_t pos() const { return pos_; }
  /// The run-time address of the position (truncated only once it no longer fits).
  std::uint16_t address() const { return static_cast<std::uint16_t>(pos_ + layout::kLoadBase); }

 private:
  std::uint8_t* image_;
  std::size_t pos_;
};

void patch16(std::uint8_t* image, unsigned slot, std::uint16_t value) {
  mbr::write16(image + slot, value);
}

const char* textOr(const std::unique_ptr<FixedText>& configured, const char* fallback) {
  return configured ? configured->c_str() : fallback;
}

bool reportExcess(const BootConfig& config, std::FILE* diagnostics, std::uint64_t end) {
  return fileError(config.sourceName.c_str(), diagnostics, msgCannotFit,
                   static_cast<unsigned>(end - layout::kLastDataByte));
}

// An active partition of disk 0 must be one that can be booted as it is on
// the disk now: neither empty nor an extended partition, visible or hidden.
bool activePartitionAllowed(const BootConfig& config, const BootEntry& entry,
                            const std::uint8_t* sector0, unsigned j, std::FILE* diagnostics) {
  const std::uint8_t type = mbr::slotType(sector0, j);
  bool extended = type == 0x05 || type == 0x0F;
  if (const TypeMapping* m = config.findMapping(type)) {
    extended =
        extended || (m->hiddenId == type && (m->originalId == 0x05 || m->originalId == 0x0F));
  }
  if (type != 0x00 && !extended) return true;
  return fileError(config.sourceName.c_str(), diagnostics,
                   type == 0x00 ? msgEmptyCannotBeActive : msgExtendedCannotBeActive, j,
                   entry.name.c_str());
}

// The disk byte of `entry` for disk `k`: bit 4 + j for the active partition j
// (the last one marked wins), bit j for each disabled partition j.
bool diskByte(const BootConfig& config, const BootEntry& entry, std::uint32_t k, std::uint8_t& byte,
              std::FILE* diagnostics) {
  std::uint8_t active = 0;
  std::uint8_t hidden = 0;
  if (const EntryDisk* plan = entry.findPlan(k)) {
    for (unsigned j = 0; j < 4; ++j) {
      if (plan->partitionState[j] == Active) {
        active = static_cast<std::uint8_t>(0x10 << j);
        const PhysicalDisk* disk = plan->physicalDisk();
        if (k == 0 && disk &&
            !activePartitionAllowed(config, entry, disk->sector0, j, diagnostics)) {
          return false;
        }
      } else if (plan->partitionState[j] == Disable) {
        hidden = static_cast<std::uint8_t>(hidden | 1 << j);
      }
    }
  }
  byte = active | hidden;
  return true;
}

// One entry record: name, 0x0D 0x0A 0x00, password, 0x1C, disk bytes from
// disk N - 1 down to disk 0.
bool layOutRecord(const BootConfig& config, const BootEntry& entry, AreaWriter& area,
                  std::FILE* diagnostics) {
  const char* password = entry.password.c_str();
  // The boot program ends a password at its first 0x1C, so such a password
  // could never be typed; it is refused before its record is counted.
  if (std::strchr(password, layout::kPasswordEnd)) {
    return fileError(config.sourceName.c_str(), diagnostics, msgPasswordHoldsEnterCode,
                     entry.name.c_str());
  }
  const std::uint32_t diskCount = config.usedDiskCount;
  const std::size_t nameLength = entry.name.length();
  // The password is not counted here: the next record's check or the final
  // check catches it.
  const std::uint64_t fixedEnd = std::uint64_t{area.pos()} + nameLength + 4 + diskCount;
  if (fixedEnd > layout::kLastDataByte) return reportExcess(config, diagnostics, fixedEnd);

  area.put(entry.name.c_str(), nameLength);
  area.put(0x0D);
  area.put(0x0A);
  area.put(0x00);
  area.put(password, std::strlen(password));
  area.put(layout::kPasswordEnd);
  for (std::uint32_t k = diskCount; k-- > 0;) {
    std::uint8_t byte = 0;
    if (!diskByte(config, entry, k, byte, diagnostics)) return false;
    area.put(byte);
  }
  return true;
}

}  // namespace

bool CompileImage(const BootConfig& config, std::uint8_t image[512], std::FILE* diagnostics,
                  bool useExtensions) {
  const PhysicalDisk* diskZero = config.diskZero();
  if (!diskZero) return false;
  const char* source = config.sourceName.c_str();

  if (config.entries.empty()) return fileError(source, diagnostics, msgNoEntries);
  if (config.typeMap.empty()) return fileError(source, diagnostics, msgNoPartitionMap);
  std::size_t entryCount = config.entries.count();
  if (entryCount > layout::kMaxEntries) {
    fileWarning(source, diagnostics, msgOnlyFirst8Entries);
    entryCount = layout::kMaxEntries;
  }

  std::memcpy(image, boot::kResidentTemplate, layout::kTemplateSize);
  std::memcpy(image + layout::kDiskSignature, diskZero->sector0 + layout::kDiskSignature, 4);
  std::memcpy(image + layout::kPartitionTable, diskZero->sector0 + layout::kPartitionTable,
              layout::kSectorSize - layout::kPartitionTable);
  if (useExtensions)
    std::memcpy(image + layout::kBootStep, boot::kExtendedReadStep, layout::kBootStepSize);

  const std::uint32_t diskCount = config.usedDiskCount;
  image[layout::kSlotDiskCount] = static_cast<std::uint8_t>(diskCount);
  image[layout::kSlotLastDrive] = static_cast<std::uint8_t>(0x7F + diskCount);
  image[layout::kSlotMapLength] = static_cast<std::uint8_t>(2 * config.typeMap.count());

  const DisplaySettings& display = config.display;
  if (display.noLogo) image[layout::kBanner] = 0;
  AreaWriter area(image, display.noLogo ? layout::kTextAreaNoLogo : layout::kTextArea);

  patch16(image, layout::kSlotPromptText, area.address());
  area.putText(textOr(display.passwordPrompt, layout::kDefaultPrompt));
  patch16(image, layout::kSlotWrongText, area.address());
  area.putText(textOr(display.passwordWrong, layout::kDefaultWrong));
  patch16(image, layout::kSlotOkText, area.address());
  area.putText(textOr(display.passwordOk, layout::kDefaultOk));
  patch16(image, layout::kSlotDiskErrorText, area.address());
  // The slot at 243 lies inside the CHS boot step; the extended step has none.
  if (!useExtensions) patch16(image, layout::kSlotDiskErrorTextChs, area.address());
  area.putText(textOr(display.diskError, layout::kDefaultDiskError));

  // The boot program finds a pair from the address of either member, which
  // needs every original ID at an even address.
  area.alignEven();
  patch16(image, layout::kSlotMapTable, area.address());
  for (std::size_t i = 0; i < config.typeMap.count(); ++i) {
    area.put(config.typeMap[i].originalId);
    area.put(config.typeMap[i].hiddenId);
  }

  patch16(image, layout::kSlotFirstEntry, area.address());
  for (std::size_t i = 0; i < entryCount; ++i) {
    if (!layOutRecord(config, config.entries[i], area, diagnostics)) return false;
  }
  if (area.pos() > layout::kLastDataByte) return reportExcess(config, diagnostics, area.pos());
  area.put(0);
  return true;
}

}  // namespace vornboot
