#pragma once
// Test fixtures of the configuration parser: a diagnostic stream whose text
// can be read back, and a one-call parse of a string.

#include <cstdio>
#include <string>

#include "config/parser.h"
#include "tests/support/string_input.h"

namespace vornboot::testing {

/// A temporary stream that collects what is printed to it.
class CapturedStream {
 public:
  CapturedStream() : file_(std::tmpfile()) {}
  ~CapturedStream() {
    if (file_) std::fclose(file_);
  }
  CapturedStream(const CapturedStream&) = delete;
  CapturedStream& operator=(const CapturedStream&) = delete;

  std::FILE* file() const { return file_; }
  /// Everything printed so far.
  std::string text() const {
    std::fflush(file_);
    long size = std::ftell(file_);
    std::string out(std::size_t(size > 0 ? size : 0), '\0');
    std::rewind(file_);
    std::size_t got = std::fread(out.data(), 1, out.size(), file_);
    out.resize(got);
    std::fseek(file_, 0, SEEK_END);
    return out;
  }

 private:
  std::FILE* file_;
};

struct ParseOutcome {
  int result;
  std::string diagnostics;
};

/// Parses `text` into `config` (named "t.cfg"), reading at most `chunk`
/// bytes per read.
inline ParseOutcome parseText(BootConfig& config, const std::string& text,
                              std::size_t chunk = 1 << 20) {
  config.sourceName.set("t.cfg");
  StringInput input(text, chunk);
  CapturedStream diagnostics;
  int result = parseConfiguration(config, input, diagnostics.file());
  return {result, diagnostics.text()};
}

}  // namespace vornboot::testing
