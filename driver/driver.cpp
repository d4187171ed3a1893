#include "driver/driver.h"

#include <string>

#include "config/model.h"
#include "config/parser.h"
#include "driver/catalog.h"
#include "driver/command_line.h"
#include "driver/diagnostics.h"
#include "image/compiler.h"
#include "image/installer.h"
#include "recover/from_image.h"
#include "recover/from_partitions.h"
#include "recover/writer.h"

namespace vornboot {

namespace {

/// Prints a catalogue message followed by one line end.
void printLine(std::FILE* stream, unsigned id) {
  char text[kMessageBufferSize];
  loadMessage(id, text);
  std::fprintf(stream, "%s\n", text);
}

/// Prints a catalogue message as it stands, formatted with the file name when
/// it has a %s, without an added line end.
int printResult(std::FILE* stream, unsigned id, const char* fileName, int status) {
  char text[kMessageBufferSize];
  composeMessage(text, id, fileName);
  std::fputs(text, stream);
  return status;
}

int build(const CommandLine& cl, BootConfig& config, Platform& platform, std::FILE* out,
          std::FILE* err) {
  const char* name = cl.fileName.c_str();
  if (cl.fileName.empty()) return printResult(err, msgNoFileName, name, StatusNoFileName);
  const bool withPasswords = cl.flags & printPasswords;
  std::unique_ptr<OutputFile> file = platform.createForWriting(name, withPasswords);
  if (!file) return printResult(err, msgCannotCreateFile, name, StatusCannotCreate);

  // Without disk 0 nothing can be installed on it: describe the disks as they are.
  if ((cl.flags & fromPartitionTable) || !IsInstalled(config)) {
    configureFromPartitionTables(config);
  } else {
    configureFromInstalledImage(config);
  }
  std::string text;
  writeConfiguration(config, text, withPasswords, cl.flags & printDefaults);
  const bool written = file->write(text.data(), text.size());
  const bool closed = file->close();
  if (!written || !closed) return printResult(err, msgCannotCreateFile, name, StatusCannotCreate);
  return printResult(out, msgConfigurationStored, name, StatusOk);
}

int install(const CommandLine& cl, BootConfig& config, Platform& platform, std::FILE* out,
            std::FILE* err) {
  const char* name = cl.fileName.c_str();
  if (cl.fileName.empty()) return printResult(err, msgNoFileName, name, StatusNoFileName);
  if (!config.diskZero()) return printResult(err, msgNoHardDisk, name, StatusNoDisk);
  std::unique_ptr<InputStream> input = platform.openForReading(name);
  if (!input) return printResult(err, msgCannotOpenFile, name, StatusCannotOpen);

  config.sourceName.set(name);
  // Parse diagnostics go to standard output.
  const int parsed = parseConfiguration(config, *input, out);
  input.reset();
  if (parsed == 3) return StatusScannerFatal;
  if (parsed != 0) return StatusConfigErrors;

  std::uint8_t image[512];
  std::fflush(out);  // keep parse diagnostics ahead of the compiler's
  if (!CompileImage(config, image, err, !(cl.flags & noInt13Extensions))) {
    return StatusConfigErrors;  // a refused configuration is not installed
  }
  if (!InstallImage(config, image))
    return printResult(err, msgDiskWriteError, name, StatusWriteError);
  printLine(out, msgInstalled);
  return StatusOk;
}

int uninstall(BootConfig& config, std::FILE* out, std::FILE* err) {
  if (!config.diskZero()) return printResult(err, msgNoHardDisk, "", StatusNoDisk);
  if (!IsInstalled(config)) return printResult(err, msgNotInstalled, "", StatusNotInstalled);
  if (!Uninstall(config)) return printResult(err, msgDiskWriteError, "", StatusWriteError);
  printLine(out, msgUninstalled);
  return StatusOk;
}

}  // namespace

int runDriver(int argc, const char* const* argv, Platform& platform, std::FILE* out,
              std::FILE* err) {
  printLine(out, msgBanner);
  if (!platform.isNtFamily()) {
    std::fflush(out);
    return printResult(err, msgRequiresNt, "", StatusNotNt);
  }
  const CommandLine cl = readCommandLine(argc, argv);
  if (cl.mode == ModeUsage) {
    printLine(out, msgUsage);
    return StatusOk;
  }
  std::fflush(out);
  BootConfig config(platform.disks());
  switch (cl.mode) {
    case ModeBuild:
      return build(cl, config, platform, out, err);
    case ModeInstall:
      return install(cl, config, platform, out, err);
    default:
      return uninstall(config, out, err);
  }
}

}  // namespace vornboot
