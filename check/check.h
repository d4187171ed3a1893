#pragma once
// VornBootCheck: reads the disks as VornBoot32 does, but only for reading;
// parses and compiles a configuration as an install would (or takes the boot
// manager installed on disk 0), boots the resulting sector on the emulated
// PC once per entry with that entry's password, and reports what each entry
// would do. It never writes a disk.

#include <cstdio>

#include "check/terminal.h"
#include "driver/platform.h"

namespace vornboot::check {

/// Exit statuses: those of VornBoot32's install where the same thing goes
/// wrong, and two of the checker's own.
enum CheckStatus : int {
  CheckBoots = 0,          ///< every entry tried boots a signed boot sector
  CheckProblems = 1,       ///< an entry has a problem, or there is nothing to try
  CheckReadFailed = 2,     ///< the configuration could not be read (a read error)
  CheckNoFileName = -3,    ///< -s without a file name
  CheckCannotSave = -4,    ///< -s: the copy could not be written, or the file exists
  CheckCannotOpen = -5,    ///< the configuration file cannot be opened
  CheckConfigErrors = -6,  ///< the configuration has errors (parse or compile)
  CheckNoDisk = -7,        ///< no disk 0 could be read
  CheckUsageError = -8,    ///< the command line cannot be used
};

/// The whole program. `terminal` serves -i (may be null: -i then fails).
int runCheck(int argc, const char* const* argv, Platform& platform, Terminal* terminal,
             std::FILE* out, std::FILE* err);

}  // namespace vornboot::check
