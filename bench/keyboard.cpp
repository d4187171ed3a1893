#include "bench/keyboard.h"

#include <cstring>
#include <vector>

namespace vornboot::bench {

namespace {

// Set 1 make codes of the US layout, by row: the unshifted and the shifted
// character of each key.
struct KeyRow {
  std::uint8_t firstScan;
  const char* plain;
  const char* shifted;
};
constexpr KeyRow kRows[] = {
    {0x02, "1234567890-=", "!@#$%^&*()_+"},
    {0x10, "qwertyuiop[]", "QWERTYUIOP{}"},
    {0x1E, "asdfghjkl;'`", "ASDFGHJKL:\"~"},
    {0x2B, "\\zxcvbnm,./", "|ZXCVBNM<>?"},
};

}  // namespace

bool keyFor(char c, Key& key) {
  switch (c) {
    case '\r':
    case '\n':
      key = kEnter;
      return true;
    case '\b':
      key = kBackspace;
      return true;
    case ' ':
      key = {0x39, ' '};
      return true;
    case '\t':
      key = {0x0F, '\t'};
      return true;
    default:
      break;
  }
  if (c == 0) return false;
  for (const KeyRow& row : kRows) {
    const char* p = std::strchr(row.plain, c);
    if (!p) p = std::strchr(row.shifted, c);
    if (!p) continue;
    std::size_t column = std::size_t(p - (std::strchr(row.plain, c) ? row.plain : row.shifted));
    key = {std::uint8_t(row.firstScan + column), std::uint8_t(c)};
    return true;
  }
  return false;
}

bool Keyboard::type(std::string_view text) {
  std::vector<Key> keys;
  for (char c : text) {
    Key k{};
    if (!keyFor(c, k)) return false;
    keys.push_back(k);
  }
  queue_.insert(queue_.end(), keys.begin(), keys.end());
  return true;
}

Key Keyboard::take() {
  Key k = queue_.front();
  queue_.pop_front();
  ++taken_;
  return k;
}

}  // namespace vornboot::bench
