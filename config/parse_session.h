#pragma once
// What the scanner, the parser and the statement actions share while one
// configuration file is read: the model being filled, the line counter and
// the streams. One session per parse; nothing of it outlives the parse.

#include <cstdint>
#include <cstdio>

#include "config/model.h"

namespace vornboot {

class ParseSession {
 public:
  /// A session filling `config`; diagnostics go to `diagnostics`, or to
  /// standard output when it is null. `currentLine` starts at 1.
  ParseSession(BootConfig& config, std::FILE* diagnostics);

  BootConfig& config;
  /// Diagnostics of the parse (lexical, syntactic, semantic).
  std::FILE* diagnostics;
  /// Where the scanner reports a fatal condition (a failing read).
  std::FILE* fatalStream;
  /// The line the scanner stands on: 1 plus the newlines consumed so far.
  std::uint32_t currentLine = 1;

  /// Composes catalogue message `id` with the arguments and prints it as an
  /// error at `currentLine` - 1. False.
  bool actionError(unsigned id, ...);
  /// Prints catalogue message `id` as a warning at `currentLine` - 1. True.
  bool actionWarning(unsigned id);
  /// Prints the parser's own `text` as an error at `currentLine`. False.
  bool parseError(const char* text);
};

}  // namespace vornboot
