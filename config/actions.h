#pragma once
// The statement actions: each checks one completed statement against the
// model, reports what is wrong, and records the statement in the model.
// Checks come before any change, so a failing statement leaves the model as
// it was.

#include <cstdint>
#include <string>
#include <unordered_set>

#include "base/diagnostics.h"
#include "config/statements.h"

namespace vornboot {

class StatementActions : public StatementHandler {
 public:
  /// Actions on `config`, which must have been reset; messages go to `diagnostics`.
  StatementActions(BootConfig& config, const Diagnostics& diagnostics)
      : config_(config), diagnostics_(diagnostics) {}

  bool mapPair(unsigned line, std::uint32_t originalId, std::uint32_t hiddenId) override;
  void entryHeader(const char* name) override;
  bool entryEnd(unsigned line) override;
  bool password(unsigned line, const char* text) override;
  bool diskHeader(unsigned line, std::uint32_t diskNumber) override;
  bool diskEnd(unsigned line) override;
  bool partitionState(unsigned line, std::uint32_t partition, PartitionState state) override;
  void displayText(DisplayText which, const char* text) override;
  void noLogo() override;

  /// Translates a password text into scan codes (brackets pass bytes
  /// through unchanged). On an unknown character stores it in `bad` and
  /// returns false. `out` needs room for the text and its terminator.
  static bool compilePassword(const char* text, char* out, std::size_t& length, char& bad);

 private:
  BootConfig& config_;
  const Diagnostics& diagnostics_;
  // The disk block being read, and its number.
  EntryDisk* currentPlan_ = nullptr;
  std::uint32_t currentDisk_ = 0;
  // Passwords of every entry but the current one, so that a password is
  // checked against all others in one look-up. They are distinct: a clash
  // ends the parse before it can be stored.
  std::unordered_set<std::string> otherPasswords_;
  // Entries already ended without a password (at most one can be).
  std::uint32_t endedWithoutPassword_ = 0;
};

}  // namespace vornboot
