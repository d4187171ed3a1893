#include "config/scanner.h"

#include <algorithm>
#include <cstring>

#include "config/keywords.h"

namespace vornboot {

namespace {

constexpr std::uint64_t kNumberLimit = 0xFFFFFFFFu;

int digitValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isDecimal(int c) {
  return c >= '0' && c <= '9';
}

}  // namespace

int Scanner::peek(std::size_t ahead) {
  while (position_ + ahead >= limit_) {
    if (!fill()) return -1;
  }
  return static_cast<unsigned char>(buffer_[position_ + ahead]);
}

bool Scanner::fill() {
  if (atEnd_) return false;
  // Only a few bytes of lookahead are ever unread here, so a block always fits.
  std::size_t unread = limit_ - position_;
  if (position_ != 0) std::memmove(buffer_, buffer_ + position_, unread);
  position_ = 0;
  limit_ = unread;
  const std::size_t room = std::min(kBlockSize, kBufferSize - limit_);
  long got;
  if (input_.interactive()) {
    // A terminal delivers what the user typed a line at a time; do not wait
    // for more than that.
    got = 0;
    while (std::size_t(got) < room) {
      long one = input_.read(buffer_ + limit_ + got, 1);
      if (one <= 0) {
        if (one < 0) got = -1;
        break;
      }
      if (buffer_[limit_ + got++] == '\n') break;
    }
  } else {
    got = input_.read(buffer_ + limit_, room);
  }
  if (got < 0) {
    fatal_ = true;
    atEnd_ = true;
    diagnostics_.fatal(BuiltinText::ReadFailed);
    return false;
  }
  if (got == 0) {
    atEnd_ = true;
    return false;
  }
  limit_ += std::size_t(got);
  return true;
}

Token Scanner::next() {
  endFromError_ = false;
  for (;;) {
    if (position_ == limit_ && !fill()) return Token::End;
    int c = static_cast<unsigned char>(buffer_[position_]);
    switch (c) {
      case ' ':
      case '\t':
        ++position_;
        break;
      case '\n':
        ++position_;
        ++currentLine_;
        break;
      case '/': {
        int after = peek(1);
        if (fatal_) return Token::End;
        if (after == '/') {
          position_ += 2;
          skipLineComment();
        } else if (after == '*') {
          position_ += 2;
          skipBlockComment();
        } else {
          return unexpected(c);
        }
        if (fatal_) return Token::End;
        break;
      }
      case '"':
        ++position_;
        return scanString();
      case '{':
        ++position_;
        return Token::LeftBrace;
      case '}':
        ++position_;
        return Token::RightBrace;
      case ',':
        ++position_;
        return Token::Comma;
      default:
        if (isDecimal(c)) return scanNumber();
        return scanKeyword();
    }
  }
}

void Scanner::skipLineComment() {
  // The newline itself is left for the newline rule, which counts it.
  for (;;) {
    const void* newline = std::memchr(buffer_ + position_, '\n', limit_ - position_);
    if (newline) {
      position_ = std::size_t(static_cast<const char*>(newline) - buffer_);
      return;
    }
    position_ = limit_;
    if (!fill()) return;
  }
}

void Scanner::skipBlockComment() {
  for (;;) {
    if (position_ == limit_ && !fill()) return;  // open at the end: no message
    const char* p = buffer_ + position_;
    const char* end = buffer_ + limit_;
    std::uint32_t lines = 0;
    bool closed = false;
    bool starAtEnd = false;
    while (p < end) {
      char c = *p++;
      if (c == '\n') {
        ++lines;
      } else if (c == '*') {
        if (p == end) {
          starAtEnd = true;
          break;
        }
        if (*p == '/') {
          ++p;
          closed = true;
          break;
        }
      }
    }
    currentLine_ += lines;
    position_ = std::size_t(p - buffer_);
    if (closed) return;
    if (starAtEnd && peek(0) == '/') {
      ++position_;
      return;
    }
  }
}

std::uint32_t Scanner::digitRun(unsigned base, std::uint64_t value, bool decimalRun) {
  bool valid = true;
  for (;;) {
    int c = peek(0);
    int digit = digitValue(c);
    bool inBase = digit >= 0 && unsigned(digit) < base;
    if (decimalRun ? !isDecimal(c) : !inBase) break;
    ++position_;
    if (valid && inBase) {
      value = value * base + unsigned(digit);
      if (value > kNumberLimit) value = kNumberLimit;
    } else {
      valid = false;  // the rest of the run does not count
    }
  }
  return std::uint32_t(value);
}

Token Scanner::scanNumber() {
  int first = peek(0);
  int second = peek(1);
  if (first == '0' && (second == 'x' || second == 'X') && digitValue(peek(2)) >= 0) {
    position_ += 2;
    number_ = digitRun(16, 0, false);
  } else {
    // A leading 0 reads the run as octal; its first digit is part of the run.
    number_ = digitRun(first == '0' ? 8 : 10, 0, true);
  }
  if (fatal_) return Token::End;
  return Token::Number;
}

Token Scanner::scanKeyword() {
  // Longest match among the keywords, falling back to the longest keyword
  // completed on the way; with none, the first character is unexpected.
  static_assert(kKeywordCount < 32, "one candidate bit per keyword");
  constexpr unsigned kAll = (1u << kKeywordCount) - 1;
  unsigned candidates = kAll;
  std::size_t length = 0;
  std::size_t bestLength = 0;
  Token best = Token::Bad;
  for (;;) {
    int c = peek(length);
    unsigned still = 0;
    for (unsigned k = 0; k < kKeywordCount; ++k) {
      if (!(candidates & (1u << k))) continue;
      char expected = kKeywords[k].spelling[length];
      if (expected != '\0' && static_cast<unsigned char>(expected) == c) still |= 1u << k;
    }
    if (!still) break;
    candidates = still;
    ++length;
    for (unsigned k = 0; k < kKeywordCount; ++k) {
      if ((still & (1u << k)) && kKeywords[k].spelling[length] == '\0') {
        best = kKeywords[k].token;
        bestLength = length;
      }
    }
  }
  if (fatal_) return Token::End;
  if (bestLength) {
    position_ += bestLength;
    return best;
  }
  return unexpected(static_cast<unsigned char>(buffer_[position_]));
}

Token Scanner::unexpected(int c) {
  ++position_;
  const char shown[2] = {static_cast<char>(c), '\0'};
  diagnostics_.error<msgUnexpectedToken>(currentLine_, static_cast<const char*>(shown));
  return Token::Bad;
}

void Scanner::store(int byte) {
  // A 0 byte ends the text; what follows in the same piece is lost, and the
  // next piece (from the next backslash on) continues the text before it.
  if (pieceLost_) return;
  if (byte == 0) {
    pieceLost_ = true;
    return;
  }
  if (textLength_ <= kMaxString) text_[textLength_++] = static_cast<char>(byte);
}

Token Scanner::scanString() {
  textLength_ = 0;
  text_[0] = '\0';
  pieceLost_ = false;
  for (;;) {
    int c = peek(0);
    if (c < 0) {
      endFromError_ = !fatal_;
      return Token::End;
    }
    ++position_;
    if (c == '"') {
      text_[textLength_] = '\0';
      if (textLength_ > kMaxString) {
        diagnostics_.error<msgStringTooLong>(currentLine_);
        return Token::Bad;
      }
      return Token::String;
    }
    if (c == '\n') {
      // Reported at the line of the string; the newline is counted.
      diagnostics_.error<msgNewlineInString>(currentLine_++);
      endFromError_ = true;
      return Token::End;
    }
    if (c != '\\') {
      store(c);
      continue;
    }
    int escaped = peek(0);
    if (escaped < 0) {
      endFromError_ = !fatal_;
      return Token::End;
    }
    if (escaped == '\n') continue;  // the backslash is dropped
    ++position_;
    pieceLost_ = false;  // an escape begins a new piece
    switch (escaped) {
      case 'a':
        store(7);
        break;
      case 'b':
        store(8);
        break;
      case 'n':
        store(10);
        break;
      case 'r':
        store(13);
        break;
      case 'x':
      case 'X':
        store(int(digitRun(16, 0, false) & 0xFF));
        break;
      default:
        if (escaped >= '0' && escaped <= '7') {
          store(int(digitRun(8, std::uint64_t(escaped - '0'), false) & 0xFF));
        } else {
          store(escaped);
        }
        break;
    }
    if (fatal_) return Token::End;
  }
}

}  // namespace vornboot
