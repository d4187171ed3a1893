#pragma once
// The command line of VornBootCheck:
//
//   VornBootCheck [-x] [-i] [-s FILE] [--json] [--geometry K=C/H/S]... [config_file]
//
// Options start with '-' and may come before or after the file name; single
// letters combine (-xi), and -s takes the next argument (or the rest of its
// own: -sFILE). "--" ends the options, so that a file name may start with '-'.

#include <cstdint>
#include <map>
#include <string>

#include "base/catalog.h"
#include "bench/disks.h"

namespace vornboot::check {

struct CheckOptions {
  std::string fileName;  ///< the configuration; empty: the installed boot manager
  bool chsStep = false;  ///< -x
  bool interactive = false;
  bool json = false;
  bool usage = false;    ///< -h: print the usage text and end
  bool save = false;     ///< -s given
  std::string saveFile;  ///< its file name (may be empty: an error of the run)
  std::map<unsigned, bench::Geometry> geometries;  ///< --geometry, by disk number

  /// Why the command line cannot be used: 0 when it can, else the message
  /// (with `errorArgument` for its %s).
  MessageId error = MessageId(0);
  std::string errorArgument;
};

/// The longest file name taken (as VornBoot32 takes).
inline constexpr std::size_t kMaxFileName = 127;

/// Reads the arguments after the program name. Never fails: a command line
/// that cannot be used comes back with `error` set.
CheckOptions readCheckOptions(int argc, const char* const* argv);

/// Reads "C/H/S" (1-1024 cylinders, 1-255 heads, 1-63 sectors).
bool readGeometry(const char* text, bench::Geometry& geometry);

}  // namespace vornboot::check
