#pragma once
// Reading a configuration file into the model.

#include <cstdio>

#include "config/input_stream.h"
#include "config/model.h"

namespace vornboot {

/// Results of parseConfiguration.
enum ParseResult : int {
  kParseAccepted = 0,       ///< the whole file was accepted
  kParseFailed = 1,         ///< a syntax error, or a statement action failed
  kParseStackOverflow = 2,  ///< the parser's stacks would exceed 10000 entries
  kParseFatal = 3,          ///< a read of the input failed (reported on stderr)
};

/// Resets `config` (keeping its disks and `sourceName`), sets the line
/// counter to 1 and reads `input` into it, statement by statement, stopping
/// at the first error. Diagnostics go to `diagnostics` (standard output when
/// null) in the forms "name(line): error: ..." with `sourceName` as name. On
/// result 3 one line has been printed to standard error and nothing else
/// happened after the failing read.
int parseConfiguration(BootConfig& config, InputStream& input, std::FILE* diagnostics);

}  // namespace vornboot
