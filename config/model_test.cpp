#include "config/model.h"

#include <gtest/gtest.h>

#include "tests/support/memory_disks.h"

namespace vornboot {
namespace {

using testing::makeSector0;
using testing::MemoryDiskSystem;

TEST(Model, ResetEmptiesEverythingButTheDisks) {
  MemoryDiskSystem system;
  system.addDisk(makeSector0(1, {}).data());
  BootConfig config(system);
  config.typeMap.push_back({7, 0x17, FixedText("HPFS/NTFS")});
  config.entries.emplace_back().diskPlans[2].partitionState[0] = Active;
  config.display.setNoLogo();
  config.display.setText(DisplayText::PasswordOk, "ok");
  EXPECT_EQ(config.usedDiskCount(), 3u);
  config.reset();
  EXPECT_EQ(config.usedDiskCount(), 0u);
  EXPECT_TRUE(config.typeMap.empty());
  EXPECT_TRUE(config.entries.empty());
  EXPECT_TRUE(config.display.empty());
  EXPECT_EQ(config.disks.size(), 1u);
  EXPECT_EQ(config.currentEntry(), nullptr);
}

TEST(Model, FindMappingLooksAtBothColumnsInMapOrder) {
  BootConfig config;
  config.typeMap.push_back({0x01, 0x11, FixedText("FAT12")});
  config.typeMap.push_back({0x83, 0x93, FixedText()});
  EXPECT_EQ(config.findMapping(0x11), &config.typeMap[0]);
  EXPECT_EQ(config.findMapping(0x83), &config.typeMap[1]);
  EXPECT_EQ(config.findMapping(0x93), &config.typeMap[1]);
  EXPECT_EQ(config.findMapping(0x07), nullptr);
  EXPECT_STREQ(knownTypeName(0x0C), "FAT32x");
  EXPECT_EQ(knownTypeName(0x83), nullptr);
  EXPECT_EQ(knownTypeName(0x1C), nullptr);  // hidden IDs are not names
}

TEST(Model, PlansByDiskNumberAndTheDisksBehindThem) {
  MemoryDiskSystem system;
  system.addDisk(makeSector0(1, {}).data());
  system.addDisk(makeSector0(2, {}).data());
  BootConfig config(system);
  BootEntry prototype;
  prototype.diskPlans[1].partitionState[2] = Active;
  prototype.diskPlans[3];
  prototype.diskPlans[0];
  config.entries.push_back(prototype);
  prototype.diskPlans[1].partitionState[2] = Disable;  // the copy is independent

  const BootEntry& entry = config.entries[0];
  ASSERT_EQ(entry.diskPlans.size(), 3u);
  EXPECT_EQ(entry.findPlan(1)->partitionState[2], Active);
  EXPECT_EQ(entry.findPlan(2), nullptr);
  EXPECT_EQ(config.physicalDisk(3), nullptr);  // a bare number: no sector 0
  EXPECT_EQ(config.physicalDisk(1), &config.disks[1]);
  EXPECT_EQ(config.usedDiskCount(), 4u);
}

TEST(Model, SettingATextTwiceKeepsTheSecond) {
  DisplaySettings display;
  display.setText(DisplayText::PasswordPrompt, "first");
  display.setText(DisplayText::PasswordPrompt, "second");
  EXPECT_STREQ(display.text(DisplayText::PasswordPrompt)->c_str(), "second");
  display.setText(DisplayText::DiskError, nullptr);
  EXPECT_STREQ(display.text(DisplayText::DiskError)->c_str(), "");  // set, but empty
  EXPECT_EQ(display.text(DisplayText::PasswordOk), nullptr);
  EXPECT_FALSE(display.empty());
}

TEST(Model, FixedTextKeepsAtMost127Characters) {
  const std::string longer(300, 'x');
  FixedText t(longer.c_str());
  EXPECT_EQ(t.length(), 127u);
  t.set("ab\0cd", 5);
  EXPECT_STREQ(t.c_str(), "ab");
}

}  // namespace
}  // namespace vornboot
