#pragma once
// The text screen of the test BIOS: 80 x 25 characters with a cursor, written
// through the teletype service the way a PC BIOS does it.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vornboot::bench {

class Screen {
 public:
  static constexpr unsigned kColumns = 80;
  static constexpr unsigned kRows = 25;

  Screen() { clear(); }

  /// Blanks the screen and puts the cursor at the top left.
  void clear();
  /// Teletype output of one byte: CR returns to column 0, LF goes down a
  /// line, BS goes left within the line without erasing, BEL shows nothing;
  /// any other byte is shown and advances the cursor. Going past the last
  /// column continues on the next line, and going past the last line
  /// scrolls the screen up by one line.
  void put(std::uint8_t c);
  void setCursor(unsigned row, unsigned column);

  /// Every row, with trailing blanks removed.
  std::vector<std::string> lines() const;
  /// The rows up to the last non-blank one or the cursor's row, whichever
  /// is lower, with trailing blanks removed.
  std::vector<std::string> usedLines() const;
  /// One row, with trailing blanks removed.
  std::string line(unsigned row) const;
  unsigned cursorRow() const { return row_; }
  unsigned cursorColumn() const { return column_; }
  /// Every byte ever sent to `put`, in order (what scrolled away included).
  const std::string& transcript() const { return transcript_; }

 private:
  void newLine();

  std::array<std::array<char, kColumns>, kRows> cells_;
  unsigned row_ = 0;
  unsigned column_ = 0;
  std::string transcript_;
};

}  // namespace vornboot::bench
