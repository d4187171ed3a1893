#include "disk/transfer.h"

#include <gtest/gtest.h>

#include <vector>

namespace vornboot {
namespace {

constexpr long kInterrupted = -2;  // in a script: a call that a signal interrupted
constexpr long kError = -1;

// Runs transferAll over 512 bytes with steps that answer as `script` says,
// and records where each call was asked to go on from.
std::size_t run(const std::vector<long>& script, std::vector<std::size_t>& asked) {
  std::size_t call = 0;
  return transferAll(512, [&](std::size_t done) {
    asked.push_back(done);
    const long r = call < script.size() ? script[call++] : 0;
    if (r == kInterrupted) return TransferStep{-1, true};
    return TransferStep{r, false};
  });
}

TEST(Transfer, ShortTransfersContinueAndInterruptedOnesAreRepeated) {
  const struct {
    const char* why;
    std::vector<long> script;
    std::size_t moved;
    std::vector<std::size_t> asked;
  } cases[] = {
      {"all at once", {512}, 512, {0}},
      {"a short write continues where it stopped", {100, 300, 112}, 512, {0, 100, 400}},
      {"an interrupted call is repeated", {kInterrupted, 512}, 512, {0, 0}},
      {"interrupted after a part", {200, kInterrupted, 312}, 512, {0, 200, 200}},
      {"nothing more can be moved", {200, 0}, 200, {0, 200}},
      {"an error ends it", {kError}, 0, {0}},
      {"an error after a part", {300, kError, 212}, 300, {0, 300}},
      {"more than asked is not counted", {600}, 512, {0}},
  };
  for (const auto& c : cases) {
    std::vector<std::size_t> asked;
    EXPECT_EQ(run(c.script, asked), c.moved) << c.why;
    EXPECT_EQ(asked, c.asked) << c.why;
  }
}

TEST(Transfer, EndlessInterruptionsEndTheTransfer) {
  std::vector<std::size_t> asked;
  EXPECT_EQ(run(std::vector<long>(kMaxInterruptions + 5, kInterrupted), asked), 0u);
  EXPECT_EQ(asked.size(), kMaxInterruptions + 1);
}

}  // namespace
}  // namespace vornboot
