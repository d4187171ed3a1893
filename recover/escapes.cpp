#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "config/key_table.h"
#include "recover/writer.h"

namespace vornboot {
namespace {

// The scanner takes at most 124 characters in one literal and the grammar
// joins adjacent literals up to 125.
constexpr unsigned kLiteralLimit = 124;
constexpr unsigned kJoinedLimit = 125;

bool isHexDigit(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

/// Writes the body of one quoted string, counting characters as the scanner
/// will read them back, and opening a new literal where the scanner would
/// otherwise cut the text or join a hex escape with the next character.
class LiteralWriter {
 public:
  explicit LiteralWriter(std::string& out) : out_(out) {}

  /// Writes `c` with the escapes of a quoted text.
  void put(unsigned char c) {
    switch (c) {
      case 7:
        return escape('a');
      case 8:
        return escape('b');
      case 10:
        return escape('n');
      case 13:
        return escape('r');
      case '"':
      case '\\':
        return escape(char(c));
    }
    if (c < 32 || c >= 128) return putHex(c);
    room(afterHex_ && isHexDigit(c));
    out_ += char(c);
    afterHex_ = false;
  }
  /// Writes `c` as \xNN whatever it is.
  void putHex(unsigned char c) {
    room(false);
    char text[5];
    std::snprintf(text, sizeof text, "\\x%02X", c);
    out_ += text;
    afterHex_ = true;
  }

 private:
  void escape(char letter) {
    room(false);
    out_ += '\\';
    out_ += letter;
    afterHex_ = false;
  }
  /// Makes room for one more character: a new literal when this one is full
  /// or when `split` asks for one.
  void room(bool split) {
    if (split || length_ == kLiteralLimit) {
      out_ += "\" \"";
      length_ = 0;
    }
    ++length_;
  }

  std::string& out_;
  unsigned length_ = 0;
  bool afterHex_ = false;
};

// Bracket mode of the password statement: "(" and ")" switch it and are
// never stored, so the codes of these two characters are only reachable
// through their keys.
bool bracketable(unsigned char code) {
  return code != '(' && code != ')';
}

/// The shortest spelling of `codes` as password text: per code, whether it
/// is written inside brackets (as \xNN) or as its key character.
std::vector<bool> shortestBracketing(const unsigned char* codes, std::size_t n) {
  constexpr unsigned kNever = ~0u >> 1;
  // cost[i][s]: characters needed for codes i.. when bracket mode is s.
  std::vector<std::array<unsigned, 2>> cost(n + 1, {0, 0});
  for (std::size_t i = n; i-- > 0;) {
    bool key = characterOf(codes[i]) >= 0;
    bool raw = bracketable(codes[i]);
    unsigned asKey = key ? 1 + cost[i + 1][0] : kNever;
    unsigned asRaw = raw ? 1 + cost[i + 1][1] : kNever;
    cost[i][0] = std::min(asKey, asRaw == kNever ? kNever : asRaw + 1);
    cost[i][1] = std::min(asRaw, asKey == kNever ? kNever : asKey + 1);
  }
  std::vector<bool> inBrackets(n);
  bool mode = false;
  for (std::size_t i = 0; i < n; ++i) {
    bool key = characterOf(codes[i]) >= 0;
    unsigned asKey = key ? 1 + cost[i + 1][0] + (mode ? 1 : 0) : kNever;
    unsigned asRaw = bracketable(codes[i]) ? 1 + cost[i + 1][1] + (mode ? 0 : 1) : kNever;
    mode = asRaw < asKey;
    inBrackets[i] = mode;
  }
  return inBrackets;
}

}  // namespace

void writeEscaped(std::string& out, const char* text) {
  LiteralWriter literal(out);
  for (const char* p = text; *p; ++p) literal.put(static_cast<unsigned char>(*p));
}

void writeQuoted(std::string& out, const char* keyword, const char* text) {
  out += keyword;
  out += " \"";
  writeEscaped(out, text);
  out += '"';
}

void writePassword(std::string& out, const char* scanCodes) {
  const auto* codes = reinterpret_cast<const unsigned char*>(scanCodes);
  std::size_t n = std::strlen(scanCodes);
  LiteralWriter literal(out);

  std::size_t plainLength = 0;
  for (std::size_t i = 0; i < n; ++i) plainLength += characterOf(codes[i]) >= 0 ? 1 : 3;
  if (plainLength <= kJoinedLimit) {
    for (std::size_t i = 0; i < n; ++i) {
      int c = characterOf(codes[i]);
      if (c >= 0) {
        literal.put(static_cast<unsigned char>(c));
      } else {
        literal.put('(');
        literal.putHex(codes[i]);
        literal.put(')');
      }
    }
    return;
  }

  // One bracket pair per raw code would not fit a joined string: raw codes
  // share brackets, keys between them may stay inside, and the last pair is
  // left open.
  std::vector<bool> inBrackets = shortestBracketing(codes, n);
  bool mode = false;
  for (std::size_t i = 0; i < n; ++i) {
    if (inBrackets[i] != mode) {
      literal.put(inBrackets[i] ? '(' : ')');
      mode = inBrackets[i];
    }
    if (mode) {
      literal.putHex(codes[i]);
    } else {
      literal.put(static_cast<unsigned char>(characterOf(codes[i])));
    }
  }
}

}  // namespace vornboot
