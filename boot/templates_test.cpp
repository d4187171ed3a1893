#include "boot/templates.h"

#include <gtest/gtest.h>

namespace vornboot {
namespace {

TEST(Templates, ResidentMarker) {
  EXPECT_EQ(boot::kResidentTemplate[444], 0x42);
  EXPECT_EQ(boot::kResidentTemplate[445], 0x4D);
}

}  // namespace
}  // namespace vornboot
