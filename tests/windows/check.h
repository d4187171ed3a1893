#pragma once
// A minimal check for the test programs that run under Wine, where the cross
// build has no GoogleTest: a failed check prints where and why and is counted;
// main returns the count as its exit status.

#include <cstdio>

namespace vornboot::wintest {

struct Failures {
  int count = 0;
  void check(bool ok, const char* what, const char* detail = "") {
    if (ok) return;
    ++count;
    std::printf("FAILED: %s %s\n", what, detail);
  }
};

}  // namespace vornboot::wintest
