#pragma once
// A temporary stream that collects what is printed to it, for tests of
// everything that reports to a FILE*.

#include <cstdio>
#include <string>

namespace vornboot::testing {

class CapturedStream {
 public:
  CapturedStream() : file_(std::tmpfile()) {}
  ~CapturedStream() {
    if (file_) std::fclose(file_);
  }
  CapturedStream(const CapturedStream&) = delete;
  CapturedStream& operator=(const CapturedStream&) = delete;

  std::FILE* file() const { return file_; }
  /// Everything printed so far.
  std::string text() const {
    std::fflush(file_);
    std::string out;
    std::rewind(file_);
    for (int c; (c = std::fgetc(file_)) != EOF;) out.push_back(static_cast<char>(c));
    return out;
  }

 private:
  std::FILE* file_;
};

}  // namespace vornboot::testing
