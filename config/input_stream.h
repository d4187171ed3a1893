#pragma once
// What the scanner reads from: a sequential byte stream, as text mode
// delivers it (a CR LF pair arrives as one LF, and a Ctrl-Z byte ends it).

#include <cstddef>

namespace vornboot {

class InputStream {
 public:
  virtual ~InputStream() = default;
  /// Reads up to `size` bytes; returns the count, 0 at the end of the input,
  /// or -1 when the read failed.
  virtual long read(char* buffer, std::size_t size) = 0;
  /// True when the input is an interactive terminal (read a line at a time).
  virtual bool interactive() const { return false; }
};

}  // namespace vornboot
