#pragma once
// The password key table: which key of an IBM PC keyboard (scan code set 1,
// US layout) types a password character. Passwords are kept and compiled as
// these scan codes, so both cases of a letter are the same key.

#include <cstdint>

namespace vornboot {

struct PasswordKey {
  char character;
  std::uint8_t scanCode;
};

/// The 73 rows in their fixed order: for each letter the lower case comes
/// first, so that a code maps back to the lower-case letter.
inline constexpr PasswordKey kPasswordKeys[73] = {
    {'1', 0x02}, {'2', 0x03},  {'3', 0x04}, {'4', 0x05},  {'5', 0x06}, {'6', 0x07},
    {'7', 0x08}, {'8', 0x09},  {'9', 0x0A}, {'0', 0x0B},  {'-', 0x0C},

    {'q', 0x10}, {'Q', 0x10},  {'w', 0x11}, {'W', 0x11},  {'e', 0x12}, {'E', 0x12},
    {'r', 0x13}, {'R', 0x13},  {'t', 0x14}, {'T', 0x14},  {'y', 0x15}, {'Y', 0x15},
    {'u', 0x16}, {'U', 0x16},  {'i', 0x17}, {'I', 0x17},  {'o', 0x18}, {'O', 0x18},
    {'p', 0x19}, {'P', 0x19},  {'[', 0x1A}, {']', 0x1B},

    {'a', 0x1E}, {'A', 0x1E},  {'s', 0x1F}, {'S', 0x1F},  {'d', 0x20}, {'D', 0x20},
    {'f', 0x21}, {'F', 0x21},  {'g', 0x22}, {'G', 0x22},  {'h', 0x23}, {'H', 0x23},
    {'j', 0x24}, {'J', 0x24},  {'k', 0x25}, {'K', 0x25},  {'l', 0x26}, {'L', 0x26},
    {';', 0x27}, {'\'', 0x28}, {'`', 0x29}, {'\\', 0x2B},

    {'z', 0x2C}, {'Z', 0x2C},  {'x', 0x2D}, {'X', 0x2D},  {'c', 0x2E}, {'C', 0x2E},
    {'v', 0x2F}, {'V', 0x2F},  {'b', 0x30}, {'B', 0x30},  {'n', 0x31}, {'N', 0x31},
    {'m', 0x32}, {'M', 0x32},  {',', 0x33}, {'.', 0x34},  {'/', 0x35},

    {' ', 0x39},
};

/// The scan code of the first row holding `c`, or -1 when `c` has no key.
int scanCodeOf(unsigned char c);

/// The character of the first row holding `scanCode`, or -1 when none does.
int characterOf(std::uint8_t scanCode);

}  // namespace vornboot
