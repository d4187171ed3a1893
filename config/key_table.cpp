#include "config/key_table.h"

#include <array>

namespace vornboot {

namespace {

// Characters to codes in one step: passwords are translated character by
// character for every entry of a file.
constexpr std::array<std::int16_t, 256> makeCodeIndex() {
  std::array<std::int16_t, 256> index{};
  for (std::int16_t& code : index) code = -1;
  for (int row = 72; row >= 0; --row) {  // backwards, so the first row wins
    index[static_cast<unsigned char>(kPasswordKeys[row].character)] = kPasswordKeys[row].scanCode;
  }
  return index;
}

constexpr std::array<std::int16_t, 256> kCodeIndex = makeCodeIndex();

}  // namespace

int scanCodeOf(unsigned char c) {
  return kCodeIndex[c];
}

int characterOf(std::uint8_t scanCode) {
  for (const PasswordKey& key : kPasswordKeys) {
    if (key.scanCode == scanCode) return static_cast<unsigned char>(key.character);
  }
  return -1;
}

}  // namespace vornboot
