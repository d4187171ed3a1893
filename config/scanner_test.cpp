#include "config/scanner.h"

#include <gtest/gtest.h>

#include <string>

#include "config/tokens.h"
#include "tests/support/captured_stream.h"
#include "tests/support/string_input.h"

namespace vornboot {
namespace {

using testing::CapturedStream;
using testing::StringInput;

struct Scanned {
  std::string tokens;  // "set { 31 \"text\" ! $" ... up to the first bad token or end
  std::string diagnostics;
  std::uint32_t line;  // currentLine afterwards
};

std::string shown(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += char(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

Scanned scanAll(const std::string& text, std::size_t chunk) {
  CapturedStream diagnostics;
  const Diagnostics to("t", diagnostics.file());
  StringInput input(text, chunk);
  Scanner scanner(input, to);
  std::string tokens;
  for (bool done = false; !done;) {
    Token token = scanner.next();
    if (!tokens.empty()) tokens += ' ';
    switch (token) {
      case Token::End:
        tokens += scanner.endFromError() ? "$!" : "$";
        done = true;
        break;
      case Token::Bad:
        tokens += "!";
        done = true;
        break;
      case Token::Number:
        tokens += std::to_string(scanner.number());
        break;
      case Token::String:
        // (Appended piecewise: GCC 12 at -O3 warns, wrongly, that a literal
        // concatenated with a string temporary may overlap it: -Wrestrict.)
        tokens += '"';
        tokens += shown(scanner.text());
        tokens += '"';
        break;
      default:
        tokens += tokenName(token);
        break;
    }
  }
  return {tokens, diagnostics.text(), scanner.currentLine()};
}

struct Case {
  const char* name;
  std::string input;
  std::string tokens;
  const char* diagnostics;
  std::uint32_t line;
};

const std::string k124(124, 'a');
const std::string k125(125, 'b');

const Case kCases[] = {
    {"empty", "", "$", "", 1},
    {"only skipped text", " \t\n// line comment\n/* block\n comment */\n\n", "$", "", 6},
    {"no blanks needed", "set{no_logo}", "set { no_logo } $", "", 1},
    {"every keyword",
     "set password_prompt password_wrong password_ok disk_error no_logo map entry disk password "
     "active enable disable , { }",
     "set password_prompt password_wrong password_ok disk_error no_logo map entry disk password "
     "active enable disable , { } $",
     "", 1},
    // Longest match, and the fall-back to the longest token seen on the way.
    {"disk_error is one keyword", "disk_error", "disk_error $", "", 1},
    {"keyword then s", "disk_errors", "disk_error !", "t(1): error: unexpected token 's'\n", 1},
    {"disks", "disks", "disk !", "t(1): error: unexpected token 's'\n", 1},
    {"disk_err falls back to disk", "disk_err", "disk !", "t(1): error: unexpected token '_'\n", 1},
    {"no_log has no keyword to fall back to", "no_log", "!", "t(1): error: unexpected token 'n'\n",
     1},
    {"setx", "setx", "set !", "t(1): error: unexpected token 'x'\n", 1},
    {"password_okay", "password_okay", "password_ok !", "t(1): error: unexpected token 'a'\n", 1},
    {"password_ then end", "password_", "password !", "t(1): error: unexpected token '_'\n", 1},
    {"keywords are lower case", "Set", "!", "t(1): error: unexpected token 'S'\n", 1},
    {"lone slash", "/ map", "!", "t(1): error: unexpected token '/'\n", 1},
    {"slash at the end", "map /", "map !", "t(1): error: unexpected token '/'\n", 1},
    {"minus is not a sign", "-1", "!", "t(1): error: unexpected token '-'\n", 1},
    {"carriage return alone", "map\r\n", "map !", "t(1): error: unexpected token '\r'\n", 1},
    {"line of the unexpected character", "map\n\n  @", "map !",
     "t(3): error: unexpected token '@'\n", 3},
    // Numbers.
    {"bases", "0x1F 0X1f 31 031 010 08 09 0119 0", "31 31 31 25 8 0 0 9 0 $", "", 1},
    {"0x without digit", "0x", "0 !", "t(1): error: unexpected token 'x'\n", 1},
    {"0xg", "0xg", "0 !", "t(1): error: unexpected token 'x'\n", 1},
    {"digits then a letter", "12ab", "12 !", "t(1): error: unexpected token 'a'\n", 1},
    {"saturation",
     "4294967295 4294967296 99999999999999999999999999 0xFFFFFFFFF 0777777777777777 "
     "0x00000000000000000000001",
     "4294967295 4294967295 4294967295 4294967295 4294967295 1 $", "", 1},
    {"long digit runs",
     std::string(50000, '9') + " 0x" + std::string(50000, 'f') + " 0" + std::string(50000, '7') +
         "8 " + std::string(50000, '0') + "12",
     "4294967295 4294967295 4294967295 10 $", "", 1},
    {"long blank run", std::string(40000, ' ') + "\t" + std::string(40000, '\n') + "map", "map $",
     "", 40001},
    // Strings and their escapes.
    {"plain string", "\"Hello, World\"", "\"Hello, World\" $", "", 1},
    {"hex escapes", "\"\\x41\\x42\"", "\"AB\" $", "", 1},
    {"other escapes stand for themselves", "\"\\q\\t\\\\a\\\"b\"", "\"qt\\x5Ca\"b\" $", "", 1},
    {"control escapes", "\"\\a\\b\\n\\r\"", "\"\\x07\\x08\\x0A\\x0D\" $", "", 1},
    {"numeric escapes", "\"\\101\\7\\x4142\\X7f\\18\\8\"", "\"A\\x07B\\x7F\\x0188\" $", "", 1},
    {"hex escapes take every hex digit", "\"\\x41e\"", "\"\\x1E\" $", "", 1},
    {"saturated escape", "\"\\x123456789\"", "\"\\xFF\" $", "", 1},
    {"zero escape ends the piece", "\"ab\\0cd\\x41g\"", "\"abAg\" $", "", 1},
    {"x without digits is zero", "\"ab\\xg\\x43\"", "\"abC\" $", "", 1},
    {"escape of low byte zero", "\"a\\x100z\\x42\"", "\"aB\" $", "", 1},
    {"raw zero byte", std::string("\"ab\0cd\\x41\"", 11), "\"abA\" $", "", 1},
    {"124 characters", "\"" + k124 + "\"", "\"" + k124 + "\" $", "", 1},
    {"125 characters", "\n\"" + k125 + "\"", "!", "t(2): error: string too long\n", 2},
    {"too long by escapes", "\"" + k124 + "\\x41\"", "!", "t(1): error: string too long\n", 1},
    {"very long string", "\"" + std::string(100000, 'c') + "\"\nmap", "!",
     "t(1): error: string too long\n", 1},
    {"zero escape keeps length", "\"" + k124 + "\\0" + std::string(50, 'z') + "\"",
     "\"" + k124 + "\" $", "", 1},
    {"newline in string", "map \"abc\nset", "map $!", "t(1): error: newline in string\n", 2},
    {"backslash before newline", "\"ab\\\ncd\"", "$!", "t(1): error: newline in string\n", 2},
    {"string open at the end", "map \"abc", "map $!", "", 1},
    {"backslash at the end", "\"abc\\", "$!", "", 1},
    // Comments.
    {"block comment open at the end", "map /* abc\n", "map $", "", 2},
    {"star box", "/*****\n * x *\n *****/ map", "map $", "", 3},
    {"slash star slash does not close", "/*/ map */ set", "set $", "", 1},
    {"empty block comment", "/**/map", "map $", "", 1},
    {"line comment swallows block start", "//* x\nmap", "map $", "", 2},
    {"long comment line", "// " + std::string(50000, 'x') + "\nmap", "map $", "", 2},
    {"long comment block", "/*" + std::string(30000, '\n') + "*/map", "map $", "", 30001},
};

class ScannerCases : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ScannerCases, SameTokensWhateverTheReadSize) {
  for (const Case& c : kCases) {
    Scanned got = scanAll(c.input, GetParam());
    EXPECT_EQ(got.tokens, c.tokens) << c.name;
    EXPECT_EQ(got.diagnostics, c.diagnostics) << c.name;
    EXPECT_EQ(got.line, c.line) << c.name;
  }
}

// Reads of one byte put every token across block boundaries.
INSTANTIATE_TEST_SUITE_P(ReadSizes, ScannerCases, ::testing::Values(1, 2, 7, 8192, 1 << 20));

TEST(Scanner, ReadsInBlocksOfAtMost8192Bytes) {
  CapturedStream diagnostics;
  const Diagnostics to("t", diagnostics.file());
  StringInput input("//" + std::string(100000, 'x') + "\nmap");
  Scanner scanner(input, to);
  EXPECT_EQ(scanner.next(), Token::Map);
  EXPECT_EQ(input.largestRequest, Scanner::kBlockSize);
}

TEST(Scanner, InteractiveInputIsReadALineAtATime) {
  CapturedStream diagnostics;
  const Diagnostics to("t", diagnostics.file());
  StringInput input("map {\n}\n");
  input.setInteractive(true);
  Scanner scanner(input, to);
  EXPECT_EQ(scanner.next(), Token::Map);
  EXPECT_EQ(input.served(), 6u);  // "map {\n", not more
}

TEST(Scanner, FailingReadIsFatal) {
  struct FatalCase {
    std::string input;
    std::size_t failAt;
    std::vector<Token> before;  // tokens returned before the fatal end
  } cases[] = {
      {"map { }", 0, {}},
      {"map { } set", 6, {Token::Map, Token::LeftBrace}},
      // The lookahead past "disk" fails: no message about the next character.
      {"disk_", 5, {}},
      {"\"abc", 3, {}},
      {"/* abc", 4, {}},
  };
  for (const FatalCase& c : cases) {
    CapturedStream diagnostics;
    CapturedStream fatal;
    const Diagnostics to("t", diagnostics.file(), fatal.file());
    StringInput input(c.input, 1);
    input.failAt(c.failAt);
    Scanner scanner(input, to);
    for (Token t : c.before) EXPECT_EQ(scanner.next(), t) << c.input;
    EXPECT_EQ(scanner.next(), Token::End) << c.input;
    EXPECT_TRUE(scanner.fatal()) << c.input;
    EXPECT_EQ(diagnostics.text(), "") << c.input;
    EXPECT_EQ(fatal.text(), "fatal error - reading the configuration input failed\n") << c.input;
  }
}

}  // namespace
}  // namespace vornboot
