#pragma once

#include <cstdio>

#include "driver/platform.h"

namespace vornboot {

/// Exit statuses of a run.
enum ExitStatus : int {
  StatusOk = 0,
  StatusNotInstalled = 1,
  StatusScannerFatal = 2,
  StatusNotNt = -1,
  StatusWriteError = -2,
  StatusNoFileName = -3,
  StatusCannotCreate = -4,
  StatusCannotOpen = -5,
  StatusConfigErrors = -6,
  StatusNoDisk = -7,
  StatusNoBootSignature = -8,
  StatusGptDisk = -9,
  StatusSectorSize = -10,
  StatusDiskLocked = -11,
  StatusDiskChanged = -12,
  StatusOutputIsADisk = -13,
};

/// The whole program: banner, platform check, command line, one flow, the
/// result message. `out` and `err` are standard output and standard error.
int runDriver(int argc, const char* const* argv, Platform& platform, std::FILE* out,
              std::FILE* err);

}  // namespace vornboot
