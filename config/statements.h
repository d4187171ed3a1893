#pragma once
// What the parser calls at each completed statement. The statement actions
// implement it; tests put a recorder in between.

#include <cstdint>

#include "config/model.h"

namespace vornboot {

/// The four texts of a `set` block.
enum class DisplayText { PasswordPrompt, PasswordWrong, PasswordOk, DiskError };

class StatementHandler {
 public:
  virtual ~StatementHandler() = default;
  /// Each returns true to go on, false to end the parse (its message printed).
  virtual bool mapPair(std::uint32_t originalId, std::uint32_t hiddenId) = 0;
  virtual bool entryHeader(const char* name) = 0;
  virtual bool entryEnd() = 0;
  virtual bool password(const char* text) = 0;
  virtual bool diskHeader(std::uint32_t diskNumber) = 0;
  virtual bool diskEnd() = 0;
  virtual bool partitionState(std::uint32_t partition, PartitionState state) = 0;
  virtual bool displayText(DisplayText which, const char* text) = 0;
  virtual bool noLogo() = 0;
};

}  // namespace vornboot
