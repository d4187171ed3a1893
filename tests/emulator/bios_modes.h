#pragma once
// Every boot-program test runs once per mode of the test bench's BIOS: one
// that changes only the results of its services, and the hostile one (junk
// in every register the services may change, junk at the entry). The junk
// is seeded from the test's name and the number of machines it has made, so
// a failing test meets the same junk when it is run again.
//
//   class StandardProgram : public BootProgramTest {};
//   INSTANTIATE_TEST_SUITE_P(EachBiosMode, StandardProgram, testing::ValuesIn(kBiosModes),
//                            biosModeName);
//   TEST_P(StandardProgram, Boots) { bench::Pc pc(mode(), nextSeed()); ... }

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "bench/pc.h"

namespace vornboot::emulator {

/// The modes, in the order the tests run in.
inline constexpr bench::BiosMode kBiosModes[] = {bench::BiosMode::Normal, bench::BiosMode::Hostile};

class BootProgramTest : public ::testing::TestWithParam<bench::BiosMode> {
 protected:
  bench::BiosMode mode() const { return GetParam(); }

  /// The seed of the next machine this test makes.
  std::uint64_t nextSeed() { return testSeed() + made_++; }

 private:
  /// FNV-1a of the test's full name (the mode included).
  static std::uint64_t testSeed() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    std::uint64_t hash = 0xCBF29CE484222325u;
    for (char c : name) hash = (hash ^ std::uint8_t(c)) * 0x100000001B3u;
    return hash;
  }

  std::uint64_t made_ = 0;
};

/// The name of a test's mode, as the last part of its name.
inline std::string biosModeName(const ::testing::TestParamInfo<bench::BiosMode>& info) {
  return bench::biosModeName(info.param);
}

}  // namespace vornboot::emulator
