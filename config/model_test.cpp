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
  config.sourceName.set("c.txt");
  config.usedDiskCount = 3;
  config.typeMap.append(TypeMapping(7, 0x17, "HPFS/NTFS"));
  config.entries.append(BootEntry());
  config.display.setNoLogo();
  DisplaySettings::setText(config.display.passwordOk, "ok");
  config.reset();
  EXPECT_EQ(config.usedDiskCount, 0u);
  EXPECT_TRUE(config.typeMap.empty());
  EXPECT_TRUE(config.entries.empty());
  EXPECT_TRUE(config.display.empty());
  EXPECT_EQ(config.disks.count(), 1u);
  EXPECT_STREQ(config.sourceName.c_str(), "c.txt");
  EXPECT_EQ(config.currentEntry(), nullptr);
  EXPECT_EQ(config.currentPlan(), nullptr);
  config.entries.append(BootEntry());
  EXPECT_EQ(config.currentPlan(), nullptr);  // an entry without plans
}

TEST(Model, FindMappingLooksAtBothColumnsInMapOrder) {
  BootConfig config;
  config.typeMap.append(TypeMapping(0x01, 0x11, "FAT12"));
  config.typeMap.append(TypeMapping(0x83, 0x93, ""));
  EXPECT_EQ(config.findMapping(0x11), &config.typeMap[0]);
  EXPECT_EQ(config.findMapping(0x83), &config.typeMap[1]);
  EXPECT_EQ(config.findMapping(0x93), &config.typeMap[1]);
  EXPECT_EQ(config.findMapping(0x07), nullptr);
  EXPECT_STREQ(knownTypeName(0x0C), "FAT32x");
  EXPECT_EQ(knownTypeName(0x83), nullptr);
  EXPECT_EQ(knownTypeName(0x1C), nullptr);  // hidden IDs are not names
}

TEST(Model, PlansReferToInventoryDisksOrHoldBareNumbers) {
  MemoryDiskSystem system;
  system.addDisk(makeSector0(1, {}).data());
  system.addDisk(makeSector0(2, {}).data());
  BootConfig config(system);
  BootEntry prototype;
  prototype.diskPlans.append(EntryDisk(&config.disks[1], 1));
  prototype.diskPlans.append(EntryDisk(nullptr, 3));
  prototype.diskPlans.append(EntryDisk(&config.disks[0], 0));
  prototype.diskPlans[0].partitionState[2] = Active;
  BootEntry& entry = config.entries.append(prototype);
  prototype.diskPlans[0].partitionState[2] = Disable;  // the copy is independent

  ASSERT_EQ(entry.diskPlans.count(), 3u);
  EXPECT_EQ(entry.diskPlans[0].partitionState[2], std::uint32_t(Active));
  EXPECT_EQ(entry.findPlan(3)->planDiskNumber(), 3u);
  EXPECT_EQ(entry.findPlan(3)->physicalDisk(), nullptr);
  EXPECT_EQ(entry.findPlan(0)->physicalDisk(), &config.disks[0]);
  EXPECT_EQ(entry.findPlan(2), nullptr);
}

TEST(Model, SettingATextTwiceKeepsTheSecond) {
  DisplaySettings display;
  DisplaySettings::setText(display.passwordPrompt, "first");
  DisplaySettings::setText(display.passwordPrompt, "second");
  EXPECT_STREQ(display.passwordPrompt->c_str(), "second");
  DisplaySettings::setText(display.diskError, nullptr);
  EXPECT_STREQ(display.diskError->c_str(), "");  // set, but empty
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
