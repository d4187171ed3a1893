// VornBoot32: wires the host platform to the driver.
#include <cstdio>

#include "driver/driver.h"

int main(int argc, char** argv) {
  std::unique_ptr<vornboot::Platform> platform = vornboot::makeHostPlatform();
  const int status = vornboot::runDriver(argc, argv, *platform, stdout, stderr);
  std::fflush(stdout);
  return status;
}
