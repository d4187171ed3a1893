// What the writer writes is read back by the real parser to the same bytes:
// names, texts and passwords, including the cases where a hex escape meets a
// hexadecimal digit and where a text needs more than one literal.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "config/parse_fixture.h"
#include "recover/writer.h"

namespace vornboot {
namespace {

using testing::parseText;

struct ReadBack {
  int result;
  std::string diagnostics;
  std::string name, password, prompt;
};

/// Writes one entry named `name` with the password `codes` and a prompt
/// text, and parses the written text.
ReadBack writeAndRead(const std::string& name, const std::string& codes,
                      const std::string& prompt) {
  std::string text;
  writeQuoted(text, "entry", name.c_str());
  text += " {\n\tpassword \"";
  writePassword(text, codes.c_str());
  text += "\"\n\tdisk 0 { active 0 }\n}\nset {";
  writeQuoted(text, "\n\tpassword_prompt", prompt.c_str());
  text += "\n}\n";

  BootConfig config;
  testing::ParseOutcome outcome = parseText(config, text);
  ReadBack r{outcome.result, outcome.diagnostics, "", "", ""};
  if (const BootEntry* e = config.currentEntry()) {
    r.name = e->name.c_str();
    r.password = e->password.c_str();
  }
  if (const FixedText* t = config.display.text(DisplayText::PasswordPrompt)) r.prompt = t->c_str();
  return r;
}

// Parsing needs disk 0, which this model lacks: that is a warning only.
constexpr const char* kNoDiskWarning = "t.cfg(3): warning: non-existent disk number\n";

TEST(WriterReadBack, TextsThatTheScannerWouldOtherwiseMisread) {
  const std::string cases[] = {
      "\x01"
      "A",  // a hex digit after a hex escape
      "\x1F"
      "0123456789abcdefABCDEF",  //
      "\xFF\xFE"
      "e",                     //
      std::string(125, 'n'),   // more than one literal holds
      std::string(125, '\t'),  // ... written as escapes
      std::string(123, 'x') +
          "\x01"
          "b",
      "quote \" and backslash \\ and \a\b\n\r",
  };
  for (const std::string& text : cases) {
    ReadBack r = writeAndRead(text, "\x1E", text);
    EXPECT_EQ(r.result, 0) << r.diagnostics;
    EXPECT_EQ(r.name, text);
    EXPECT_EQ(r.prompt, text);
  }
}

TEST(WriterReadBack, PasswordsComeBackAsTheSameScanCodes) {
  const std::string cases[] = {
      "\x0D",
      std::string(41, '\x0D'),   // one bracket per code: 123 characters
      std::string(42, '\x0D'),   // too long for that: one shared bracket
      std::string(124, '\x80'),  // the most a password text can carry raw
      std::string(125, '\x1E'),
      std::string("\x2B\x0D\x2B\x28\x29\x1C", 6),
  };
  for (const std::string& codes : cases) {
    ReadBack r = writeAndRead("n", codes, "p");
    EXPECT_EQ(r.result, 0) << r.diagnostics;
    EXPECT_EQ(r.password, codes);
  }
}

// Random texts of any non-zero byte, and random password texts: the parsed
// password is written and read again.
TEST(WriterReadBack, RandomTextsAndPasswords) {
  const std::uint32_t seed = 4711;
  std::mt19937 random(seed);
  const char keys[] = "1234567890-qwertyuiopQWERTYUIOP[]asdfghjklASDFGHJKL;'`zxcvbnmZXCVBNM,./ ";
  int passwordsParsed = 0;
  for (int round = 0; round < 2000; ++round) {
    std::string name, prompt, passwordText;
    std::size_t nameLength = random() % 126, promptLength = 1 + random() % 125;
    while (name.size() < nameLength) name += char(1 + random() % 255);
    while (prompt.size() < promptLength) prompt += char(1 + random() % 255);
    // A password text of at most 125 characters: keys of either case,
    // escaped backslashes, brackets, and raw codes inside brackets.
    std::size_t passwordLength = 1 + random() % 125;
    bool inBrackets = false;
    for (std::size_t length = 0; length < passwordLength; ++length) {
      switch (random() % 5) {
        case 0:
          passwordText += inBrackets ? ')' : '(';
          inBrackets = !inBrackets;
          break;
        case 1:
          passwordText += "\\\\";
          break;
        case 2: {
          if (!inBrackets && length + 1 < passwordLength) {
            passwordText += '(';
            inBrackets = true;
            ++length;
          }
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", unsigned(1 + random() % 255));
          if (inBrackets) passwordText += hex;
          break;
        }
        default:
          passwordText += keys[random() % (sizeof keys - 1)];
      }
    }
    BootConfig first;
    std::string firstText =
        "entry \"n\" { password \"" + passwordText + "\" disk 0 { active 0 } }\n";
    testing::ParseOutcome parsed = parseText(first, firstText);
    if (parsed.result != 0) continue;  // e.g. an unknown character outside brackets
    ++passwordsParsed;
    std::string codes = first.entries[0].password.c_str();

    ReadBack r = writeAndRead(name, codes, prompt);
    ASSERT_EQ(r.result, 0) << "seed " << seed << " round " << round << "\n" << r.diagnostics;
    ASSERT_EQ(r.diagnostics, kNoDiskWarning);
    ASSERT_EQ(r.name, name) << "round " << round;
    ASSERT_EQ(r.prompt, prompt) << "round " << round;
    ASSERT_EQ(r.password, codes) << "round " << round << " from " << passwordText;
  }
  EXPECT_GT(passwordsParsed, 500);
}

}  // namespace
}  // namespace vornboot
