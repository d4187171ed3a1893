#pragma once
// Reading a configuration file into the model.

#include "base/diagnostics.h"
#include "config/input_stream.h"
#include "config/model.h"

namespace vornboot {

/// Results of parseConfiguration.
enum ParseResult : int {
  kParseAccepted = 0,  ///< the whole file was accepted
  kParseFailed = 1,    ///< a syntax error, or a statement action failed
  kParseFatal = 3,     ///< a read of the input failed (reported on the fatal stream)
};

/// Resets `config` (keeping its disks) and reads `input` into it, statement
/// by statement, from line 1, stopping at the first error. Diagnostics go to
/// `diagnostics` in the forms "name(line): error: ...". On kParseFatal one line
/// has been printed to the fatal stream and nothing else happened after the
/// failing read.
int parseConfiguration(BootConfig& config, InputStream& input, const Diagnostics& diagnostics);

}  // namespace vornboot
