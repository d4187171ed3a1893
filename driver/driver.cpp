#include "driver/driver.h"

#include <string>

#include "base/catalog.h"
#include "base/diagnostics.h"
#include "config/model.h"
#include "config/parser.h"
#include "disk/disk_error.h"
#include "disk/inventory.h"
#include "driver/command_line.h"
#include "image/compiler.h"
#include "image/installer.h"
#include "recover/from_image.h"
#include "recover/from_partitions.h"
#include "recover/writer.h"

namespace vornboot {

namespace {

/// Prints a catalogue message followed by one line end.
template <MessageId id>
void printLine(std::FILE* stream) {
  char text[kMessageBufferSize];
  composeMessage<id>(text);
  std::fprintf(stream, "%s\n", text);
}

/// Prints a catalogue message as it stands (composed with the file name when
/// it takes one), without an added line end, and returns `status`.
template <MessageId id, typename... Args>
int printResult(std::FILE* stream, int status, Args... args) {
  char text[kMessageBufferSize];
  composeMessage<id>(text, args...);
  std::fputs(text, stream);
  return status;
}

/// Message 206 with the reason why disk 0 could not be opened or read.
int noDiskZero(Platform& platform, std::FILE* err) {
  char reason[kMessageBufferSize];
  describeDiskError(platform.disks().lastError(), reason);
  return printResult<msgNoHardDisk>(err, StatusNoDisk, static_cast<const char*>(reason));
}

/// 0 when disk 0 can boot what install writes; else the refusal's message
/// and status.
int refuseDiskZero(const PhysicalDisk& disk, std::FILE* err) {
  const unsigned sectorSize = disk.device.logicalSectorSize();
  const std::string path = disk.device.path();
  switch (diskZeroFault(disk.sector0, sectorSize)) {
    case DiskZeroFault::None:
      return 0;
    case DiskZeroFault::NoBootSignature:
      return printResult<msgNoBootSignature>(err, StatusNoBootSignature, path.c_str());
    case DiskZeroFault::GptTable:
      return printResult<msgGptDiskZero>(err, StatusGptDisk, path.c_str());
    case DiskZeroFault::SectorSize:
      return printResult<msgSectorSizeNot512>(err, StatusSectorSize, path.c_str(), sectorSize);
  }
  return 0;
}

/// Locks disk 0 for the run: 0, or the message and status when another
/// program holds it. A platform without such a lock lets the run go on.
int holdDiskZero(const BootConfig& config, std::FILE* err) {
  if (HoldDiskZero(config) != LockResult::Busy) return 0;
  const std::string path = config.diskZero()->device.path();
  return printResult<msgDiskZeroLocked>(err, StatusDiskLocked, path.c_str());
}

/// 0 for a sector 0 written and verified; else the message and status of how
/// the write ended: message 202, then whether sector 0 holds its previous
/// content and the reason.
int writeResult(const WriteResult& result, const PhysicalDisk& disk, std::FILE* err) {
  char reason[kMessageBufferSize];
  describeDiskError(result.error, reason);
  const char* why = reason;
  switch (result.outcome) {
    case WriteOutcome::Written:
      return 0;
    case WriteOutcome::Changed:
    case WriteOutcome::NoDisk:  // not reached: the callers check disk 0 first
      return printResult<msgDiskZeroChanged>(err, StatusDiskChanged, disk.device.path().c_str());
    case WriteOutcome::Unreadable:
      printResult<msgDiskWriteError>(err, 0);
      return printResult<msgWriteNotAttempted>(err, StatusWriteError, why);
    case WriteOutcome::FailedUnchanged:
      printResult<msgDiskWriteError>(err, 0);
      return printResult<msgWriteFailedUnchanged>(err, StatusWriteError, why);
    case WriteOutcome::FailedDamaged:
      printResult<msgDiskWriteError>(err, 0);
      return printResult<msgWriteFailedDamaged>(err, StatusWriteError, why);
  }
  return StatusWriteError;
}

int build(const CommandLine& cl, BootConfig& config, Platform& platform, std::FILE* out,
          std::FILE* err) {
  const char* name = cl.fileName.c_str();
  if (cl.fileName.empty()) return printResult<msgNoFileName>(err, StatusNoFileName);
  // Without disk 0 there is nothing to describe; the output is not touched.
  if (!config.diskZero()) return noDiskZero(platform, err);
  // The text must never land on a disk (a name given by mistake, or the disk
  // image itself).
  for (const PhysicalDisk& disk : config.disks) {
    if (disk.device.isSameFile(name)) {
      return printResult<msgOutputIsADisk>(err, StatusOutputIsADisk, name, disk.diskNumber);
    }
  }
  if (platform.namesBlockDevice(name)) {
    return printResult<msgOutputIsADevice>(err, StatusOutputIsADisk, name);
  }
  const bool withPasswords = cl.flags & printPasswords;
  std::unique_ptr<OutputFile> file = platform.createForWriting(name, withPasswords);
  if (!file) return printResult<msgCannotCreateFile>(err, StatusCannotCreate, name);

  if ((cl.flags & fromPartitionTable) || !IsInstalled(config)) {
    configureFromPartitionTables(config);
  } else {
    configureFromInstalledImage(config);
  }
  std::string text;
  writeConfiguration(config, text, withPasswords, cl.flags & printDefaults);
  // A file that was not written whole is not closed: the old one stays.
  if (!file->write(text.data(), text.size()) || !file->close()) {
    return printResult<msgCannotCreateFile>(err, StatusCannotCreate, name);
  }
  return printResult<msgConfigurationStored>(out, StatusOk, name);
}

int install(const CommandLine& cl, BootConfig& config, Platform& platform, std::FILE* out,
            std::FILE* err) {
  const char* name = cl.fileName.c_str();
  if (cl.fileName.empty()) return printResult<msgNoFileName>(err, StatusNoFileName);
  if (!config.diskZero()) return noDiskZero(platform, err);
  if (const int locked = holdDiskZero(config, err)) return locked;
  if (const int refused = refuseDiskZero(*config.diskZero(), err)) return refused;
  std::unique_ptr<InputStream> input = platform.openForReading(name);
  if (!input) return printResult<msgCannotOpenFile>(err, StatusCannotOpen, name);

  // Parse diagnostics go to standard output, the compiler's to standard error.
  const int parsed = parseConfiguration(config, *input, Diagnostics(name, out, err));
  input.reset();
  if (parsed == kParseFatal) return StatusScannerFatal;
  if (parsed != kParseAccepted) return StatusConfigErrors;

  std::uint8_t image[mbr::kSectorSize];
  std::fflush(out);  // keep parse diagnostics ahead of the compiler's
  if (!CompileImage(config, image, Diagnostics(name, err), !(cl.flags & noInt13Extensions))) {
    return StatusConfigErrors;  // a refused configuration is not installed
  }
  if (const int failed = writeResult(InstallImage(config, image), *config.diskZero(), err)) {
    return failed;
  }
  printLine<msgInstalled>(out);
  return StatusOk;
}

int uninstall(BootConfig& config, Platform& platform, std::FILE* out, std::FILE* err) {
  if (!config.diskZero()) return noDiskZero(platform, err);
  if (!IsInstalled(config)) return printResult<msgNotInstalled>(err, StatusNotInstalled);
  if (const int locked = holdDiskZero(config, err)) return locked;
  if (const int failed = writeResult(Uninstall(config), *config.diskZero(), err)) return failed;
  printLine<msgUninstalled>(out);
  return StatusOk;
}

}  // namespace

int runDriver(int argc, const char* const* argv, Platform& platform, std::FILE* out,
              std::FILE* err) {
  printLine<msgBanner>(out);
  if (!platform.isNtFamily()) {
    std::fflush(out);
    return printResult<msgRequiresNt>(err, StatusNotNt);
  }
  const CommandLine cl = readCommandLine(
      argc, argv, platform.slashOptions() ? OptionStart::DashOrSlash : OptionStart::DashOnly);
  if (cl.mode == ModeUsage) {
    printLine<msgUsage>(out);
    return StatusOk;
  }
  std::fflush(out);
  // The build mode only reads the disks: it needs no write access to them.
  BootConfig config(takeInventory(platform.disks(),
                                  cl.mode == ModeBuild ? OpenMode::ReadOnly : OpenMode::ReadWrite));
  switch (cl.mode) {
    case ModeBuild:
      return build(cl, config, platform, out, err);
    case ModeInstall:
      return install(cl, config, platform, out, err);
    default:
      return uninstall(config, platform, out, err);
  }
}

}  // namespace vornboot
