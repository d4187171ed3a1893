#pragma once
// The junk that a hostile BIOS leaves in registers: a seeded generator
// (SplitMix64), so that a failing test meets the same pattern again when it
// is run again, and a different pattern at every call.

#include <cstdint>

namespace vornboot::bench {

class Junk {
 public:
  explicit Junk(std::uint64_t seed) : state_(seed) {}

  /// The next 16 bits of the pattern.
  std::uint16_t word() { return std::uint16_t(next() >> 24); }
  /// `value` with the bytes selected by `bytes` (0x00FF, 0xFF00 or 0xFFFF)
  /// replaced by bytes that differ from them; the others as they were.
  std::uint16_t changed(std::uint16_t value, std::uint16_t bytes = 0xFFFF) {
    return std::uint16_t(value ^ (nonZeroBytes() & bytes));
  }
  /// A byte that differs from `value` and is not 0 (an error status).
  std::uint8_t changedNonZero(std::uint8_t value) {
    for (;;) {
      std::uint8_t b = std::uint8_t(word());
      if (b != 0 && b != value) return b;
    }
  }

 private:
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }
  /// A mask of two non-zero bytes.
  std::uint16_t nonZeroBytes() {
    std::uint16_t mask = word();
    if ((mask & 0x00FF) == 0) mask |= 0x005A;
    if ((mask & 0xFF00) == 0) mask |= 0xA500;
    return mask;
  }

  std::uint64_t state_;
};

}  // namespace vornboot::bench
