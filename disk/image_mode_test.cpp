#include "disk/image_mode.h"

#include <gtest/gtest.h>

#include "tests/support/memory_disks.h"

namespace vornboot {
namespace {

TEST(ImageMode, SplitsPathListsAndKeepsTenDisksAtMost) {
  using V = std::vector<std::string>;
  EXPECT_EQ(imageModePaths("a.img:b.img", ':'), (V{"a.img", "b.img"}));
  EXPECT_EQ(imageModePaths("C:\\d0.img;C:\\d1.img", ';'), (V{"C:\\d0.img", "C:\\d1.img"}));
  EXPECT_EQ(imageModePaths("::a::", ':'), (V{"a"}));
  EXPECT_EQ(imageModePaths("", ':'), V{});
  EXPECT_EQ(imageModePaths("0:1:2:3:4:5:6:7:8:9:10:11", ':'),
            (V{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}));
}

TEST(ImageMode, LayoutCountsSlotsWithATypeAndReadsTheSignature) {
  const auto s =
      testing::makeSector0(0xA1B2C3D4, {{0x80, 0x07, 63, 100}, {0, 0, 0, 0}, {0, 0x83, 200, 5}});
  const DriveLayout layout = layoutOfSector0(s.data());
  EXPECT_EQ(layout.signature, 0xA1B2C3D4u);
  EXPECT_EQ(layout.partitionCount, 2u);  // the empty slot between does not count
}

}  // namespace
}  // namespace vornboot
