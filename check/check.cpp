#include "check/check.h"

#include <cstring>
#include <string>

#include "boot/templates.h"
#include "check/interactive.h"
#include "check/options.h"
#include "check/read_only_disks.h"
#include "check/report.h"
#include "check/save_copy.h"
#include "config/parser.h"
#include "disk/disk_error.h"
#include "disk/inventory.h"
#include "image/compiler.h"
#include "image/installer.h"
#include "recover/from_image.h"

namespace vornboot::check {

namespace {

/// Prints a catalogue text and a line end to `stream`, and returns `status`.
template <MessageId id, typename... Args>
int result(std::FILE* stream, int status, Args... args) {
  char text[kMessageBufferSize];
  composeMessage<id>(text, args...);
  std::fprintf(stream, "%s\n", text);
  return status;
}

int usage(std::FILE* out) {
  result<msgCheckUsage>(out, 0);
  result<msgCheckUsageX>(out, 0);
  result<msgCheckUsageI>(out, 0);
  result<msgCheckUsageS>(out, 0);
  result<msgCheckUsageJson>(out, 0);
  result<msgCheckUsageGeometry>(out, 0);
  return result<msgCheckUsageH>(out, CheckBoots);
}

int commandLineError(const CheckOptions& o, std::FILE* err) {
  const char* a = o.errorArgument.c_str();
  switch (o.error) {
    case msgCannotOpenFile:
      return result<msgCannotOpenFile>(err, CheckCannotOpen, a);
    case msgCannotCreateFile:
      return result<msgCannotCreateFile>(err, CheckCannotSave, a);
    case msgCheckTwoFiles:
      return result<msgCheckTwoFiles>(err, CheckUsageError, a);
    case msgCheckBadGeometry:
      return result<msgCheckBadGeometry>(err, CheckUsageError, a);
    case msgCheckJsonInteractive:
      return result<msgCheckJsonInteractive>(err, CheckUsageError);
    default:
      return result<msgCheckBadOption>(err, CheckUsageError, a);
  }
}

/// The sector an install would write: the configuration parsed and
/// compiled as install does, with the same diagnostics and statuses.
/// CheckBoots when `report` and `entries` are ready.
int compileConfiguration(const CheckOptions& o, BootConfig& config, Platform& platform,
                         Report& report, std::vector<EntryKeys>& entries, std::FILE* out,
                         std::FILE* err) {
  const char* name = o.fileName.c_str();
  std::unique_ptr<InputStream> input = platform.openForReading(name);
  if (!input) return result<msgCannotOpenFile>(err, CheckCannotOpen, name);
  // Parse diagnostics go to standard output, as in an install; with --json
  // standard output holds the document alone, and they go to standard error.
  const int parsed = parseConfiguration(config, *input, Diagnostics(name, o.json ? err : out, err));
  input.reset();
  if (parsed == kParseFatal) return CheckReadFailed;
  if (parsed != kParseAccepted) return CheckConfigErrors;
  std::fflush(out);
  std::uint8_t image[mbr::kSectorSize];
  if (!CompileImage(config, image, Diagnostics(name, err), !o.chsStep)) return CheckConfigErrors;
  std::memcpy(report.setup.bootSector.data(), image, mbr::kSectorSize);
  report.setup.chsStep = o.chsStep;
  report.setup.configuredDisks = config.usedDiskCount();
  for (const BootEntry& e : config.entries) {
    if (entries.size() < layout::kMaxEntries) {
      entries.push_back({e.name.c_str(), e.password.c_str()});
    } else {
      report.leftOut.push_back(e.name.c_str());
    }
  }
  return CheckBoots;
}

/// The boot manager installed on disk 0 now, as the sector under test.
void takeInstalled(BootConfig& config, Report& report, std::vector<EntryKeys>& entries) {
  configureFromInstalledImage(config);
  const Sector& s = config.diskZero()->sector0;
  report.setup.bootSector = s;
  report.setup.chsStep = std::memcmp(s.data() + layout::kBootStep, boot::kExtendedReadStep,
                                     layout::kBootStepSize) != 0;
  report.setup.configuredDisks = s[layout::kSlotDiskCount];
  for (const BootEntry& e : config.entries) entries.push_back({e.name.c_str(), e.password.c_str()});
}

void printReport(const Report& report, bool json, std::FILE* out) {
  if (json) {
    std::fputs(jsonReport(report).c_str(), out);
  } else {
    printTextReport(report, out);
  }
}

}  // namespace

int runCheck(int argc, const char* const* argv, Platform& platform, Terminal* terminal,
             std::FILE* out, std::FILE* err) {
  const CheckOptions o = readCheckOptions(argc - 1, argv + 1);
  if (o.usage) return usage(out);
  if (o.error) return commandLineError(o, err);
  if (o.interactive && (!terminal || !terminal->available()))
    return result<msgCheckNeedsTerminal>(err, CheckUsageError);
  if (o.save && o.saveFile.empty()) return result<msgNoFileName>(err, CheckNoFileName);

  // The same inventory as VornBoot32's, every disk opened for reading only.
  ReadOnlyDisks disks(platform.disks());
  BootConfig config(takeInventory(disks, OpenMode::ReadOnly));
  if (!config.diskZero()) {
    char reason[kMessageBufferSize];
    describeDiskError(disks.lastError(), reason);
    return result<msgNoHardDisk>(err, CheckNoDisk, static_cast<const char*>(reason));
  }

  Report report;
  report.installed = IsInstalled(config);
  if (o.save) {
    const Sector& s = config.diskZero()->sector0;
    const char* file = o.saveFile.c_str();
    switch (saveSectorCopy(file, s.data())) {
      case SaveResult::Exists:
        return result<msgCheckCopyRefused>(err, CheckCannotSave, file);
      case SaveResult::Failed:
        return result<msgCannotCreateFile>(err, CheckCannotSave, file);
      case SaveResult::Saved:
        break;
    }
    report.saved = SavedCopy{o.saveFile, sectorZeroCode(s.data()),
                             s[mbr::kBootSignature] == 0x55 && s[mbr::kBootSignature + 1] == 0xAA};
    if (!o.json) printSavedCopy(*report.saved, out);
  }

  report.setup.disks = emulatedDisks(config.disks, o.geometries);
  std::vector<EntryKeys> entries;
  if (!o.fileName.empty()) {
    report.source = o.fileName;
    const int status = compileConfiguration(o, config, platform, report, entries, out, err);
    if (status != CheckBoots) return status;
  } else if (report.installed) {
    takeInstalled(config, report, entries);
  } else {
    if (o.json) {
      printReport(report, true, out);
      return CheckProblems;
    }
    return result<msgCheckNotInstalled>(out, CheckProblems);
  }
  report.typeMap = config.typeMap;

  if (o.interactive) {
    result<msgCheckInteractive>(out, 0);
    std::fflush(out);
    report.entries.push_back(runInteractive(report.setup, entries, *terminal));
    printEntry(report, report.entries.back(), out);
    std::fputc('\n', out);
    printSummary(report, out);
    return report.boots() ? CheckBoots : CheckProblems;
  }
  for (const EntryKeys& e : entries) {
    const Trial trial =
        tryBoot(report.setup.disks, report.setup.bootSector, passwordKeys(e.scanCodes.c_str()));
    report.entries.push_back(assess(report.setup, e.name, e.scanCodes.size(), trial));
  }
  printReport(report, o.json, out);
  return report.boots() ? CheckBoots : CheckProblems;
}

}  // namespace vornboot::check
