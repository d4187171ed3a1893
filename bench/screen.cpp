#include "bench/screen.h"

namespace vornboot::bench {

void Screen::clear() {
  for (auto& row : cells_) row.fill(' ');
  row_ = column_ = 0;
}

void Screen::setCursor(unsigned row, unsigned column) {
  row_ = row < kRows ? row : kRows - 1;
  column_ = column < kColumns ? column : kColumns - 1;
}

void Screen::newLine() {
  if (row_ + 1 < kRows) {
    ++row_;
    return;
  }
  for (unsigned r = 1; r < kRows; ++r) cells_[r - 1] = cells_[r];
  cells_[kRows - 1].fill(' ');
}

void Screen::put(std::uint8_t c) {
  transcript_.push_back(char(c));
  switch (c) {
    case 0x07:
      return;
    case 0x08:
      if (column_ > 0) --column_;
      return;
    case 0x0A:
      newLine();
      return;
    case 0x0D:
      column_ = 0;
      return;
    default:
      break;
  }
  cells_[row_][column_] = char(c);
  if (++column_ == kColumns) {
    column_ = 0;
    newLine();
  }
}

std::string Screen::line(unsigned row) const {
  if (row >= kRows) return {};
  std::string s(cells_[row].begin(), cells_[row].end());
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}

std::vector<std::string> Screen::lines() const {
  std::vector<std::string> out;
  for (unsigned r = 0; r < kRows; ++r) out.push_back(line(r));
  return out;
}

std::vector<std::string> Screen::usedLines() const {
  std::vector<std::string> out = lines();
  while (out.size() > row_ + 1 && out.back().empty()) out.pop_back();
  return out;
}

}  // namespace vornboot::bench
