#pragma once
// Test fixture of the configuration parser: a one-call parse of a string,
// with what it printed.

#include <string>

#include "config/parser.h"
#include "tests/support/captured_stream.h"
#include "tests/support/string_input.h"

namespace vornboot::testing {

struct ParseOutcome {
  int result;
  std::string diagnostics;
};

/// Parses `text` into `config` as the file "t.cfg", reading at most `chunk`
/// bytes per read.
inline ParseOutcome parseText(BootConfig& config, const std::string& text,
                              std::size_t chunk = 1 << 20) {
  StringInput input(text, chunk);
  CapturedStream diagnostics;
  int result = parseConfiguration(config, input, Diagnostics("t.cfg", diagnostics.file()));
  return {result, diagnostics.text()};
}

}  // namespace vornboot::testing
