#pragma once
// The user's terminal for the interactive mode: raw keys in, the boot
// screen out as the boot program draws it. terminal_posix.cpp provides the
// real one (standard input and output, raw mode through termios); tests
// provide their own.

#include <cstddef>
#include <memory>

namespace vornboot::check {

class Terminal {
 public:
  virtual ~Terminal() = default;
  /// True when standard input is a terminal.
  virtual bool available() = 0;
  /// Raw mode: every key as it is typed, no echo, no line editing, no
  /// signals from Ctrl-C, no translation of the output. False on failure.
  virtual bool enterRaw() = 0;
  /// Back to the mode it had before enterRaw.
  virtual void leaveRaw() = 0;
  /// The next byte typed; false at the end of the input.
  virtual bool readByte(unsigned char& byte) = 0;
  /// Shows `size` bytes as they are.
  virtual void write(const char* data, std::size_t size) = 0;
};

/// The terminal of standard input and standard output.
std::unique_ptr<Terminal> makeStandardTerminal();

}  // namespace vornboot::check
