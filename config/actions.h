#pragma once
// The statement actions: each checks one completed statement against the
// model, reports what is wrong, and records the statement in the model.
// Checks come before any change, so a failing statement leaves the model as
// it was (apart from usedDiskCount, which a disk header raises first).

#include <cstdint>
#include <string>
#include <unordered_set>

#include "config/parse_session.h"
#include "config/statements.h"

namespace vornboot {

class StatementActions : public StatementHandler {
 public:
  /// Actions on the session's configuration, which must have been reset.
  explicit StatementActions(ParseSession& session) : session_(session) {}

  bool mapPair(std::uint32_t originalId, std::uint32_t hiddenId) override;
  bool entryHeader(const char* name) override;
  bool entryEnd() override;
  bool password(const char* text) override;
  bool diskHeader(std::uint32_t diskNumber) override;
  bool diskEnd() override;
  bool partitionState(std::uint32_t partition, PartitionState state) override;
  bool displayText(DisplayText which, const char* text) override;
  bool noLogo() override;

  /// Translates a password text into scan codes (brackets pass bytes
  /// through unchanged). On an unknown character stores it in `bad` and
  /// returns false. `out` needs room for the text and its terminator.
  static bool compilePassword(const char* text, char* out, std::size_t& length, char& bad);

 private:
  ParseSession& session_;
  // Passwords of every entry but the current one, so that a password is
  // checked against all others in one look-up. They are distinct: a clash
  // ends the parse before it can be stored.
  std::unordered_set<std::string> otherPasswords_;
  // Entries already ended without a password (at most one can be).
  std::uint32_t endedWithoutPassword_ = 0;
};

}  // namespace vornboot
