#pragma once
// The scanner of the configuration language. It hands the parser one token
// per call, keeps the line counter, and reports the lexical errors (411, 412,
// 413) itself.
//
// Design: hand-written, one pass over a block buffer. Tokens are short (the
// longest keyword has 15 characters), so the buffer only ever needs to hold
// a few bytes of lookahead for the longest-match fall-back; everything long
// (comments, blank runs, digit runs, over-long strings) is consumed as it
// streams past without being kept. Memory therefore does not depend on the
// input.

#include <cstddef>
#include <cstdint>

#include "base/diagnostics.h"
#include "config/input_stream.h"
#include "config/tokens.h"

namespace vornboot {

class Scanner {
 public:
  /// Longest string literal accepted; one more character is kept so that
  /// a longer literal can be told from it.
  static constexpr std::size_t kMaxString = 124;
  /// Size of one read from the input.
  static constexpr std::size_t kBlockSize = 8192;

  /// Reads `input`; lexical errors and fatal conditions go to `diagnostics`.
  Scanner(InputStream& input, const Diagnostics& diagnostics)
      : input_(input), diagnostics_(diagnostics) {}
  Scanner(const Scanner&) = delete;
  Scanner& operator=(const Scanner&) = delete;

  /// Skips blanks, newlines and comments and returns the next token. After
  /// End it must not be called again.
  Token next();

  /// Value of the last Number token (saturated at 4294967295).
  std::uint32_t number() const { return number_; }
  /// Text of the last String token, NUL-terminated, at most kMaxString
  /// characters.
  const char* text() const { return text_; }
  /// True when the last End did not come from the end of the input but from
  /// a string broken by a newline or left open: the parse must fail there.
  bool endFromError() const { return endFromError_; }
  /// True after a read of the input failed; the message has been printed to
  /// the fatal stream and End returned.
  bool fatal() const { return fatal_; }
  /// 1 plus the newlines consumed so far: the line of the last token read.
  std::uint32_t currentLine() const { return currentLine_; }

 private:
  static constexpr std::size_t kBufferSize = 2 * kBlockSize;

  /// Byte `ahead` bytes after the read position, or -1 past the end.
  int peek(std::size_t ahead);
  /// Reads one more block behind the unread bytes; false at the end or on
  /// a failing read.
  bool fill();

  void skipLineComment();
  void skipBlockComment();
  Token scanNumber();
  Token scanKeyword();
  Token scanString();
  Token unexpected(int c);
  /// Appends one byte of a string's text (see scanString).
  void store(int byte);
  /// Consumes a run of digits and converts its longest prefix valid in
  /// `base`, starting from `value`, saturating at 4294967295. The run is every
  /// decimal digit when `decimalRun` is set (number literals), else only the
  /// digits valid in `base` (numeric escapes).
  std::uint32_t digitRun(unsigned base, std::uint64_t value, bool decimalRun);

  InputStream& input_;
  const Diagnostics& diagnostics_;
  std::uint32_t currentLine_ = 1;
  char buffer_[kBufferSize + 2];
  std::size_t position_ = 0;  // next unread byte
  std::size_t limit_ = 0;     // end of the bytes read
  bool atEnd_ = false;
  bool fatal_ = false;
  bool endFromError_ = false;

  std::uint32_t number_ = 0;
  char text_[kMaxString + 2] = {};
  std::size_t textLength_ = 0;
  bool pieceLost_ = false;  // the rest of a string piece follows a 0 byte
};

}  // namespace vornboot
