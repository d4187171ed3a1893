#pragma once
// An in-memory InputStream for tests: serves a string in reads of at most
// `chunk` bytes, records how much was asked for, and can be made to fail.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

#include "config/input_stream.h"

namespace vornboot::testing {

class StringInput : public InputStream {
 public:
  explicit StringInput(std::string data, std::size_t chunk = 1 << 20)
      : data_(std::move(data)), chunk_(chunk) {}

  /// Makes every read fail (-1) once `offset` bytes have been served.
  void failAt(std::size_t offset) { failAt_ = offset; }
  void setInteractive(bool on) { interactive_ = on; }

  long read(char* buffer, std::size_t size) override {
    ++reads;
    largestRequest = std::max(largestRequest, size);
    if (position_ >= failAt_) return -1;
    std::size_t n = std::min({size, chunk_, data_.size() - position_, failAt_ - position_});
    if (n) std::memcpy(buffer, data_.data() + position_, n);
    position_ += n;
    return long(n);
  }
  bool interactive() const override { return interactive_; }

  /// Bytes served so far.
  std::size_t served() const { return position_; }

  int reads = 0;
  std::size_t largestRequest = 0;

 private:
  std::string data_;
  std::size_t chunk_;
  std::size_t position_ = 0;
  std::size_t failAt_ = std::string::npos;
  bool interactive_ = false;
};

}  // namespace vornboot::testing
