// The standard terminal: termios raw mode on standard input, output through
// the C runtime's standard output (flushed, so that it keeps its place among
// the report's lines).
#include <termios.h>
#include <unistd.h>

#include <cstdio>

#include "check/terminal.h"

namespace vornboot::check {

namespace {

class PosixTerminal : public Terminal {
 public:
  ~PosixTerminal() override { leaveRaw(); }

  bool available() override { return isatty(STDIN_FILENO) == 1; }

  bool enterRaw() override {
    if (raw_) return true;
    if (tcgetattr(STDIN_FILENO, &saved_) != 0) return false;
    termios t = saved_;
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    std::fflush(stdout);
    if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &t) != 0) return false;
    raw_ = true;
    return true;
  }

  void leaveRaw() override {
    if (!raw_) return;
    std::fflush(stdout);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
    raw_ = false;
  }

  bool readByte(unsigned char& byte) override { return ::read(STDIN_FILENO, &byte, 1) == 1; }

  void write(const char* data, std::size_t size) override {
    std::fwrite(data, 1, size, stdout);
    std::fflush(stdout);
  }

 private:
  termios saved_{};
  bool raw_ = false;
};

}  // namespace

std::unique_ptr<Terminal> makeStandardTerminal() {
  return std::make_unique<PosixTerminal>();
}

}  // namespace vornboot::check
