#pragma once
// What the parser calls at each completed statement. The statement actions
// implement it; tests put a recorder in between. `line` is the line that the
// statement's messages carry.

#include <cstdint>

#include "config/model.h"

namespace vornboot {

class StatementHandler {
 public:
  virtual ~StatementHandler() = default;
  /// Each returns true to go on, false to end the parse (its message printed).
  virtual bool mapPair(unsigned line, std::uint32_t originalId, std::uint32_t hiddenId) = 0;
  virtual void entryHeader(const char* name) = 0;
  virtual bool entryEnd(unsigned line) = 0;
  virtual bool password(unsigned line, const char* text) = 0;
  virtual bool diskHeader(unsigned line, std::uint32_t diskNumber) = 0;
  virtual bool diskEnd(unsigned line) = 0;
  virtual bool partitionState(unsigned line, std::uint32_t partition, PartitionState state) = 0;
  virtual void displayText(DisplayText which, const char* text) = 0;
  virtual void noLogo() = 0;
};

}  // namespace vornboot
