#pragma once
// The parser of the configuration language, on a scanner and a statement
// handler that the caller provides (parseConfiguration wires the usual ones).
//
// Design: hand-written, but it makes its moves exactly as the LALR(1)
// shift-reduce parser of the grammar with default reductions would: after
// every shifted token it reads the next one before anything is reduced, and a
// construct is reduced (its action run) as soon as it is complete, before the
// token read ahead is checked; only a run of string literals waits for that
// token, which could extend it. All lists of the grammar are left-recursive,
// so the depth of the construct never grows with the input.
//
// A statement's messages carry the line before the token read after it (its
// own line, normally); a disk header's carry the line of the token after the
// disk number.

#include <cstdint>

#include "base/diagnostics.h"
#include "config/parser.h"
#include "config/scanner.h"
#include "config/statements.h"

namespace vornboot {

class GrammarParser {
 public:
  GrammarParser(Scanner& scanner, StatementHandler& handler, const Diagnostics& diagnostics)
      : scanner_(scanner), handler_(handler), diagnostics_(diagnostics) {}

  /// Parses the whole input; returns a ParseResult.
  int run();

 private:
  /// Takes the token read ahead as shifted and reads the next one. False
  /// when the read failed fatally (result_ is set).
  bool shift();
  /// Shifts when the token read ahead is `expected`, else reports "parse
  /// error". False when the parse ends.
  bool expect(Token expected);
  bool syntaxError();
  /// The line a completed statement's messages carry.
  unsigned statementLine() const { return scanner_.currentLine() - 1; }
  /// Runs an action's result into the parse: false ends it with result 1.
  bool acted(bool ok);
  /// Shifts one or more adjacent string literals into `out` (125 characters
  /// at most). Leaves the token after them read ahead.
  bool strings(char* out);

  bool mapBlock();
  bool entryBlock();
  bool diskBlock();
  bool setBlock();

  Scanner& scanner_;
  StatementHandler& handler_;
  const Diagnostics& diagnostics_;
  Token token_ = Token::End;
  int result_ = 0;
};

}  // namespace vornboot
