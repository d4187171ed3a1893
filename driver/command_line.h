#pragma once

#include <cstdint>

#include "config/model.h"

namespace vornboot {

enum CommandMode : std::int32_t {
  ModeUsage = 0,
  ModeBuild = 1,
  ModeInstall = 2,
  ModeUninstall = 3
};

enum CommandFlags : std::uint32_t {
  noInt13Extensions = 1,   // -x: keep the CHS boot step
  fromPartitionTable = 2,  // -bn: ignore an installed boot manager
  printDefaults = 4,       // -bs: write the whole set block
  printPasswords = 8,      // -bp: write the passwords
};

struct CommandLine {
  FixedText fileName;
  std::int32_t mode = ModeUsage;
  std::uint32_t flags = 0;
};

/// Which arguments are options. On Windows an option begins with '-' or '/';
/// on a POSIX host '/' begins an absolute file name, so options begin with '-'
/// only there.
enum class OptionStart { DashOrSlash, DashOnly };

/// Reads the arguments after the program name. Never fails: an unusable
/// command line gives the usage mode. A file name longer than 127 characters
/// is unusable (it is refused rather than cut to another file's name).
CommandLine readCommandLine(int argc, const char* const* argv, OptionStart optionStart);

}  // namespace vornboot
