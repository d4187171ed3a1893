// VornBootCheck: wires the host platform and the terminal to the checker.
#include <cstdio>

#include "check/check.h"

int main(int argc, char** argv) {
  std::unique_ptr<vornboot::Platform> platform = vornboot::makeHostPlatform();
  std::unique_ptr<vornboot::check::Terminal> terminal = vornboot::check::makeStandardTerminal();
  const int status =
      vornboot::check::runCheck(argc, argv, *platform, terminal.get(), stdout, stderr);
  std::fflush(stdout);
  return status;
}
