#include "recover/writer.h"

#include <cstdarg>
#include <cstdio>

#include "base/sector_format.h"

namespace vornboot {
namespace {

void appendFormat(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void appendFormat(std::string& out, const char* format, ...) {
  char text[kMessageBufferSize];
  std::va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  out += text;
}

void appendMessage(std::string& out, unsigned id) {
  char text[kMessageBufferSize];
  loadMessage(id, text);
  out += text;
}

void appendSize(std::string& out, std::uint32_t sectors, const char* after) {
  ScaledSize size = scaleSectors(sectors);
  char unit[kMessageBufferSize];
  loadMessage(size.unit, unit);
  appendFormat(out, "%6u %s%s", size.value, unit, after);
}

void writeMap(const BootConfig& config, std::string& out) {
  out += "map {\n";
  for (const TypeMapping& m : config.typeMap) {
    appendFormat(out, "\t{0x%02X, 0x%02X}\t// ", m.originalId, m.hiddenId);
    if (m.typeName.empty()) {
      appendMessage(out, msgWordUnknown);
    } else {
      out += m.typeName.c_str();
    }
    if (m.originalId == m.hiddenId) appendMessage(out, msgChangeHiddenValue);
    out += '\n';
  }
  out += "}\n";
}

const char* stateWord(PartitionState state) {
  switch (state) {
    case Enable:
      return "enable";
    case Active:
      return "active";
    case Disable:
      return "disable";
    case Unspecified:
      break;
  }
  return nullptr;
}

// The comment shows the table as read at start, whatever the plan says.
void writePartitionComment(const PhysicalDisk& disk, unsigned k, std::string& out) {
  const std::uint8_t* slot = mbr::slot(disk.sector0.data(), k);
  appendFormat(out, "\t// 0x%02X, ", slot[mbr::kTypeId]);
  appendMessage(out, msgWordOffset);
  appendSize(out, mbr::read32(slot + mbr::kFirstSector), ", ");
  appendMessage(out, msgWordSize);
  appendSize(out, mbr::read32(slot + mbr::kSectorCount), " ");
}

void writePlan(const BootConfig& config, std::uint32_t diskNumber, const EntryDisk& plan,
               std::string& out) {
  appendFormat(out, "\tdisk %u {\n", diskNumber);
  const PhysicalDisk* disk = config.physicalDisk(diskNumber);
  for (unsigned k = 0; k < mbr::kSlotCount; ++k) {
    const char* word = stateWord(plan.partitionState[k]);
    if (!word) continue;
    appendFormat(out, "\t\t%s\t%u", word, k);
    if (disk) writePartitionComment(*disk, k, out);
    out += '\n';
  }
  out += "\t}\n";
}

void writeEntry(const BootConfig& config, const BootEntry& entry, std::string& out,
                bool printPasswords) {
  writeQuoted(out, "entry", entry.name.c_str());
  out += " {\n\tpassword \"";
  if (printPasswords) writePassword(out, entry.password.c_str());
  out += "\"\n";
  for (const auto& [diskNumber, plan] : entry.diskPlans) writePlan(config, diskNumber, plan, out);
  out += "}\n";
}

void writeSet(const DisplaySettings& display, std::string& out, bool printDefaults) {
  if (!printDefaults && display.empty()) return;
  out += "set {";
  if (display.noLogo) out += "\n\tno_logo";
  for (const DisplayTextRow& row : kDisplayTexts) {
    const FixedText* text = display.text(row.which);
    if (!text && !printDefaults) continue;
    out += "\n\t";
    writeQuoted(out, row.keyword, text ? text->c_str() : row.defaultText);
  }
  out += "\n}\n";
}

}  // namespace

ScaledSize scaleSectors(std::uint32_t sectorCount) {
  constexpr std::uint32_t kLimit = 102400;
  std::uint32_t v = sectorCount / 2;
  if (v < kLimit) return {v, msgUnitKb};
  v /= 1024;
  if (v < kLimit) return {v, msgUnitMb};
  return {v / 1024, msgUnitGb};
}

void writeConfiguration(const BootConfig& config, std::string& out, bool printPasswords,
                        bool printDefaults) {
  writeMap(config, out);
  for (const BootEntry& entry : config.entries) writeEntry(config, entry, out, printPasswords);
  writeSet(config.display, out, printDefaults);
}

}  // namespace vornboot
