#pragma once
// The scripted keyboard of the test BIOS: a queue of keystrokes, each the
// pair that INT 16h returns (scan code in AH, character code in AL).

#include <cstdint>
#include <deque>
#include <string_view>

namespace vornboot::bench {

struct Key {
  std::uint8_t scan;
  std::uint8_t ascii;
};

inline constexpr Key kEnter{0x1C, 0x0D};
inline constexpr Key kBackspace{0x0E, 0x08};
inline constexpr Key kEscape{0x01, 0x1B};

/// The keystroke that types `c` on a US keyboard, with Shift where the
/// character needs it (the scan code is that of the unshifted key). False
/// for a character that no single key types.
bool keyFor(char c, Key& key);

class Keyboard {
 public:
  void press(Key key) { queue_.push_back(key); }
  /// Queues the keystrokes of `text`; '\r' and '\n' are Enter, '\b'
  /// Backspace. False (and nothing queued) if a character has no key.
  bool type(std::string_view text);
  bool empty() const { return queue_.empty(); }
  std::size_t pending() const { return queue_.size(); }
  /// Takes the next keystroke; the queue must not be empty.
  Key take();
  const Key& peek() const { return queue_.front(); }
  /// Keystrokes taken so far.
  std::size_t taken() const { return taken_; }

 private:
  std::deque<Key> queue_;
  std::size_t taken_ = 0;
};

}  // namespace vornboot::bench
