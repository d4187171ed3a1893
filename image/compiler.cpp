#include "image/compiler.h"

#include <algorithm>
#include <cstring>

#include "boot/templates.h"
#include "image/boot_record.h"

namespace vornboot {

namespace {

/// Where everything of the variable area goes. Offsets are counted in 64
/// bits so that an overlong configuration is measured exactly.
struct Layout {
  std::uint64_t text[kDisplayTextCount];
  std::uint64_t map;
  std::uint64_t firstRecord;
  std::uint64_t end;  ///< the list end
  std::size_t entryCount;
};

const char* textOf(const DisplaySettings& display, const DisplayTextRow& row) {
  const FixedText* configured = display.text(row.which);
  return configured ? configured->c_str() : row.defaultText;
}

std::uint16_t addressOf(std::uint64_t offset) {
  return static_cast<std::uint16_t>(offset + layout::kLoadBase);
}

bool reportExcess(const Diagnostics& diagnostics, std::uint64_t end) {
  return diagnostics.fileError<msgCannotFit>(static_cast<unsigned>(end - layout::kLastDataByte));
}

// An active partition of disk 0 must be one that can be booted as it is on
// the disk now: neither empty nor an extended partition, visible or hidden.
bool activePartitionsAllowed(const BootConfig& config, const BootEntry& entry,
                             const Diagnostics& diagnostics) {
  const EntryDisk* plan = entry.findPlan(0);
  const PhysicalDisk* disk = config.diskZero();
  if (!plan || !disk) return true;
  for (unsigned j = 0; j < mbr::kSlotCount; ++j) {
    if (plan->partitionState[j] != Active) continue;
    const std::uint8_t type = mbr::slotType(disk->sector0.data(), j);
    bool extended = mbr::isExtendedType(type);
    if (const TypeMapping* m = config.findMapping(type)) {
      extended = extended || (m->hiddenId == type && mbr::isExtendedType(m->originalId));
    }
    if (type == mbr::kTypeEmpty) {
      return diagnostics.fileError<msgEmptyCannotBeActive>(j, entry.name.c_str());
    }
    if (extended) return diagnostics.fileError<msgExtendedCannotBeActive>(j, entry.name.c_str());
  }
  return true;
}

/// Lays the variable area out and checks it; false after the first error.
bool layOut(const BootConfig& config, std::uint32_t diskCount, const Diagnostics& diagnostics,
            Layout& out) {
  if (config.entries.empty()) return diagnostics.fileError<msgNoEntries>();
  if (config.typeMap.empty()) return diagnostics.fileError<msgNoPartitionMap>();
  // A GPT disk's protective entry that takes another type at boot leaves the
  // whole disk unreadable to every system.
  for (const TypeMapping& m : config.typeMap) {
    if (m.originalId == mbr::kTypeGptProtective || m.hiddenId == mbr::kTypeGptProtective) {
      return diagnostics.fileError<msgGptTypeMapped>();
    }
  }
  out.entryCount = config.entries.size();
  if (out.entryCount > layout::kMaxEntries) {
    diagnostics.fileWarning<msgOnlyFirst8Entries>();
    out.entryCount = layout::kMaxEntries;
  }

  std::uint64_t pos = config.display.noLogo ? layout::kTextAreaNoLogo : layout::kTextArea;
  for (const DisplayTextRow& row : kDisplayTexts) {
    out.text[static_cast<unsigned>(row.which)] = pos;
    pos += std::strlen(textOf(config.display, row)) + 1;
  }
  // The boot program finds a pair from the address of either member, which
  // needs every original ID at an even address.
  pos += pos & 1;
  out.map = pos;
  pos += 2 * config.typeMap.size();
  out.firstRecord = pos;

  for (std::size_t i = 0; i < out.entryCount; ++i) {
    const BootEntry& entry = config.entries[i];
    // The boot program ends a password at its first 0x1C, so such a password
    // could never be typed; it is refused before its record is counted.
    if (std::strchr(entry.password.c_str(), layout::kPasswordEnd)) {
      return diagnostics.fileError<msgPasswordHoldsEnterCode>(entry.name.c_str());
    }
    // The password is not counted here: the next record's check or the final
    // check catches it.
    const std::uint64_t fixedEnd =
        pos + entry.name.length() + layout::kRecordFixedBytes + diskCount;
    if (fixedEnd > layout::kLastDataByte) return reportExcess(diagnostics, fixedEnd);
    if (!activePartitionsAllowed(config, entry, diagnostics)) return false;
    pos += record::headerSize(entry.name.length(), entry.password.length()) + diskCount;
  }
  if (pos > layout::kLastDataByte) return reportExcess(diagnostics, pos);
  out.end = pos;
  return true;
}

}  // namespace

bool CompileImage(const BootConfig& config, std::uint8_t image[512], const Diagnostics& diagnostics,
                  bool useExtensions) {
  const PhysicalDisk* diskZero = config.diskZero();
  if (!diskZero) return false;
  const std::uint32_t diskCount = config.usedDiskCount();
  Layout at{};
  if (!layOut(config, diskCount, diagnostics, at)) return false;

  // Everything below lies inside the sector: the layout has been checked.
  std::memcpy(image, boot::kResidentTemplate, layout::kTemplateSize);
  std::memcpy(image + mbr::kDiskSignature, diskZero->sector0.data() + mbr::kDiskSignature, 4);
  std::memcpy(image + mbr::kPartitionTable, diskZero->sector0.data() + mbr::kPartitionTable,
              mbr::kSectorSize - mbr::kPartitionTable);
  if (useExtensions) {
    std::memcpy(image + layout::kBootStep, boot::kExtendedReadStep, layout::kBootStepSize);
  }
  image[layout::kSlotDiskCount] = static_cast<std::uint8_t>(diskCount);
  image[layout::kSlotLastDrive] = static_cast<std::uint8_t>(0x7F + diskCount);
  image[layout::kSlotMapLength] = static_cast<std::uint8_t>(2 * config.typeMap.size());
  if (config.display.noLogo) image[layout::kBanner] = 0;

  for (const DisplayTextRow& row : kDisplayTexts) {
    const std::uint64_t offset = at.text[static_cast<unsigned>(row.which)];
    mbr::write16(image + row.slot, addressOf(offset));
    // The CHS boot step has a slot of its own; the extended step has none.
    if (row.chsSlot && !useExtensions) mbr::write16(image + row.chsSlot, addressOf(offset));
    const char* text = textOf(config.display, row);
    std::memcpy(image + offset, text, std::strlen(text) + 1);
  }
  mbr::write16(image + layout::kSlotMapTable, addressOf(at.map));
  std::uint8_t* p = image + at.map;
  for (const TypeMapping& m : config.typeMap) {
    *p++ = m.originalId;
    *p++ = m.hiddenId;
  }
  mbr::write16(image + layout::kSlotFirstEntry, addressOf(at.firstRecord));
  for (std::size_t i = 0; i < at.entryCount; ++i)
    p += record::write(p, config.entries[i], diskCount);
  *p = 0;  // the end of the entry list, at at.end
  return true;
}

}  // namespace vornboot
