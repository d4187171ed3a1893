#include "config/key_table.h"

#include <gtest/gtest.h>

#include <cctype>

namespace vornboot {
namespace {

TEST(KeyTable, CharactersToCodes) {
  struct Case {
    unsigned char c;
    int code;
  } cases[] = {
      {'1', 0x02},
      {'0', 0x0B},
      {'-', 0x0C},
      {'q', 0x10},
      {'Q', 0x10},
      {'p', 0x19},
      {'[', 0x1A},
      {']', 0x1B},
      {'a', 0x1E},
      {'L', 0x26},
      {';', 0x27},
      {'\'', 0x28},
      {'`', 0x29},
      {'\\', 0x2B},
      {'z', 0x2C},
      {'M', 0x32},
      {',', 0x33},
      {'.', 0x34},
      {'/', 0x35},
      {' ', 0x39},
      // Not on the table: shifted digit-row symbols, '=', tab, control and high bytes.
      {'!', -1},
      {'=', -1},
      {'\t', -1},
      {'(', -1},
      {0, -1},
      {0x80, -1},
  };
  for (const Case& c : cases) EXPECT_EQ(scanCodeOf(c.c), c.code) << int(c.c);
}

TEST(KeyTable, CodesMapBackToTheFirstRow) {
  EXPECT_EQ(characterOf(0x1E), 'a');
  EXPECT_EQ(characterOf(0x39), ' ');
  EXPECT_EQ(characterOf(0x2B), '\\');
  EXPECT_EQ(characterOf(0x01), -1);  // Escape key: not a password character
  EXPECT_EQ(characterOf(0x1C), -1);  // Enter
  for (const PasswordKey& key : kPasswordKeys) {
    unsigned char c = static_cast<unsigned char>(key.character);
    EXPECT_EQ(characterOf(key.scanCode), std::tolower(c)) << key.character;
    EXPECT_EQ(scanCodeOf(c), key.scanCode) << key.character;
  }
}

}  // namespace
}  // namespace vornboot
