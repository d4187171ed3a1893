#include "config/actions.h"

#include <gtest/gtest.h>

#include <string>

#include "config/parse_fixture.h"
#include "tests/support/memory_disks.h"

namespace vornboot {
namespace {

using testing::MemoryDiskSystem;
using testing::parseText;

// A machine with two disks.
struct TwoDisks {
  TwoDisks() {
    disks.addDisk();
    disks.addDisk();
  }
  MemoryDiskSystem disks;
};

struct Case {
  const char* name;
  const char* input;
  const char* diagnostics;
  int result;
};

#define D0 "disk 0 { active 0 }\n"

// One statement per line, so that the printed line is the statement's own
// unless the case says otherwise.
const Case kCases[] = {
    {"second pair reuses an ID", "map {\n{0x06, 0x16}\n{0x16, 0x26}\n}\n",
     "t.cfg(3): error: duplicated partition ID\n", 1},
    {"pair reusing an original as hidden", "map {\n{0x06, 0x16}\n{0x26, 0x06}\n}\n",
     "t.cfg(3): error: duplicated partition ID\n", 1},
    {"equal IDs are a warning", "map {\n{0x83, 0x83}\n}\n",
     "t.cfg(2): warning: hidden partition ID same as original, ignored\n", 0},
    {"original above 255", "map {\n{256, 1}\n}\n", "t.cfg(2): error: partition ID exceeds 0xFF\n",
     1},
    {"hidden above 255", "map {\n{1, 0x100}\n}\n", "t.cfg(2): error: partition ID exceeds 0xFF\n",
     1},
    {"warnings then one error", "map {\n{1, 1}\n{2, 2}\n\n{3, 4}\n{4, 5}\n}\n",
     "t.cfg(2): warning: hidden partition ID same as original, ignored\n"
     "t.cfg(4): warning: hidden partition ID same as original, ignored\n"
     "t.cfg(6): error: duplicated partition ID\n",
     1},
    {"blank line moves the printed line", "map {\n{256, 1}\n\n// comment\n}\n",
     "t.cfg(4): error: partition ID exceeds 0xFF\n", 1},
    {"partition set twice", "entry \"a\" {\ndisk 0 {\nactive 1\ndisable 1\n}\n}\n",
     "t.cfg(4): error: partition 1 redefinition\n", 1},
    {"partition number 4", "entry \"a\" {\ndisk 0 {\nenable 4\n}\n}\n",
     "t.cfg(3): error: partition number exceeds 3\n", 1},
    {"disk 0 without active partition", "entry \"a\" {\ndisk 0 {\nenable 0\n}\n}\n",
     "t.cfg(4): error: no active partition specified for disk 0 of entry \"a\"\n", 1},
    {"other disks need no active partition", "entry \"a\" {\n" D0 "disk 1 { enable 0 }\n}\n", "",
     0},
    {"several active partitions", "entry \"a\" {\ndisk 0 { active 0 active 1 }\n}\n", "", 0},
    {"disk 0 twice", "entry \"a\" {\n" D0 D0 "}\n", "t.cfg(3): error: disk 0 redefinition\n", 1},
    {"disk not in the inventory", "entry \"a\" {\n" D0 "disk 3 { }\n}\n",
     "t.cfg(3): warning: non-existent disk number\n", 0},
    {"disk 16", "entry \"a\" {\n" D0 "disk 16 { }\n}\n",
     "t.cfg(3): error: non-existent disk number\n", 1},
    {"disk header prints the line of the brace", "entry \"a\" {\ndisk 16\n\n{ }\n}\n",
     "t.cfg(4): error: non-existent disk number\n", 1},
    {"redefinition before the number check", "entry \"a\" {\ndisk 16 { }\n}\n",
     "t.cfg(2): error: non-existent disk number\n", 1},
    {"no disk 0", "entry \"a\" {\ndisk 1 { active 0 }\n}\n",
     "t.cfg(3): error: disk 0 not defined for entry \"a\"\n", 1},
    {"one entry without password", "entry \"a\" {\n" D0 "}\n", "", 0},
    {"two entries without password", "entry \"a\" {\n" D0 "}\nentry \"b\" {\n" D0 "}\n",
     "t.cfg(6): error: password is not unique for entry \"b\"\n", 1},
    {"second without password after one with",
     "entry \"a\" {\n" D0 "}\nentry \"b\" {\npassword \"p\"\n" D0 "}\nentry \"c\" {\n" D0 "}\n",
     "t.cfg(10): error: password is not unique for entry \"c\"\n", 1},
    {"empty password statement meets an entry without one",
     "entry \"a\" {\n" D0 "}\nentry \"b\" {\npassword \"\"\n" D0 "}\n",
     "t.cfg(5): error: password is not unique for entry \"b\"\n", 1},
    {"passwords differing in case",
     "entry \"a\" {\npassword \"Abc\"\n" D0 "}\nentry \"b\" {\npassword \"aBC\"\n" D0 "}\n",
     "t.cfg(6): error: password is not unique for entry \"b\"\n", 1},
    {"clash with an earlier entry, not the first",
     "entry \"a\" {\npassword \"x\"\n" D0 "}\nentry \"b\" {\npassword \"y\"\n" D0
     "}\nentry \"c\" {\npassword \"Y\"\n" D0 "}\n",
     "t.cfg(10): error: password is not unique for entry \"c\"\n", 1},
    {"a replaced password is free again",
     "entry \"a\" {\npassword \"x\"\npassword \"y\"\n" D0 "}\nentry \"b\" {\npassword \"x\"\n" D0
     "}\n",
     "", 0},
    {"the replacing password is taken",
     "entry \"a\" {\npassword \"x\"\npassword \"y\"\n" D0 "}\nentry \"b\" {\npassword \"y\"\n" D0
     "}\n",
     "t.cfg(7): error: password is not unique for entry \"b\"\n", 1},
    {"same password twice in one entry", "entry \"a\" {\npassword \"x\"\npassword \"x\"\n" D0 "}\n",
     "", 0},
    {"equals sign", "entry \"a\" {\npassword \"a=b\"\n}\n",
     "t.cfg(2): error: unknown character '='\n", 1},
    {"brackets take any byte", "entry \"a\" {\npassword \"(=!)x\"\n" D0 "}\n", "", 0},
    {"closing bracket then unknown", "entry \"a\" {\npassword \"(a)!\"\n}\n",
     "t.cfg(2): error: unknown character '!'\n", 1},
};

TEST(StatementActions, ChecksMessagesAndLines) {
  for (const Case& c : kCases) {
    TwoDisks machine;
    BootConfig config(machine.disks);
    auto outcome = parseText(config, c.input);
    EXPECT_EQ(outcome.diagnostics, c.diagnostics) << c.name;
    EXPECT_EQ(outcome.result, c.result) << c.name;
  }
}

TEST(StatementActions, ModelOfTheExample) {
  MemoryDiskSystem machine;
  machine.addDisk();
  BootConfig config(machine);
  auto outcome = parseText(config,
                           "map { {0x07, 0x17} }\n"
                           "entry \"System\" {\n"
                           "  disk 0 {\n    active 0\n    disable 1\n  }\n"
                           "}\n"
                           "set { no_logo }\n");
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(outcome.diagnostics, "");
  ASSERT_EQ(config.typeMap.size(), 1u);
  EXPECT_EQ(config.typeMap[0].originalId, 0x07);
  EXPECT_EQ(config.typeMap[0].hiddenId, 0x17);
  EXPECT_STREQ(config.typeMap[0].typeName.c_str(), "HPFS/NTFS");
  ASSERT_EQ(config.entries.size(), 1u);
  const BootEntry& entry = config.entries[0];
  EXPECT_STREQ(entry.name.c_str(), "System");
  EXPECT_TRUE(entry.password.empty());
  ASSERT_EQ(entry.diskPlans.size(), 1u);
  ASSERT_TRUE(entry.findPlan(0));
  EXPECT_EQ(config.physicalDisk(0), &config.disks[0]);
  const std::array<PartitionState, 4> states = {Active, Disable, Unspecified, Unspecified};
  EXPECT_EQ(entry.findPlan(0)->partitionState, states);
  EXPECT_EQ(config.usedDiskCount(), 1u);
  EXPECT_TRUE(config.display.noLogo);
  for (const DisplayTextRow& row : kDisplayTexts) EXPECT_FALSE(config.display.text(row.which));
}

TEST(StatementActions, MappingNames) {
  BootConfig config;
  auto outcome = parseText(config, "map { {0x0C, 0x1C} {0x83, 0x93} {0x83, 0x83} }");
  EXPECT_EQ(outcome.result, 0);
  ASSERT_EQ(config.typeMap.size(), 2u);  // the equal pair is not added
  EXPECT_STREQ(config.typeMap[0].typeName.c_str(), "FAT32x");
  EXPECT_STREQ(config.typeMap[1].typeName.c_str(), "");
}

TEST(StatementActions, PlanForADiskNotInTheInventory) {
  TwoDisks machine;
  BootConfig config(machine.disks);
  auto outcome = parseText(config, "entry \"a\" { disk 0 { active 0 } disk 3 { enable 2 } }");
  EXPECT_EQ(outcome.result, 0);
  const BootEntry& entry = config.entries[0];
  ASSERT_EQ(entry.diskPlans.size(), 2u);
  ASSERT_TRUE(entry.findPlan(3));
  EXPECT_EQ(config.physicalDisk(3), nullptr);
  EXPECT_EQ(entry.findPlan(3)->partitionState[2], Enable);
  EXPECT_EQ(config.usedDiskCount(), 4u);
}

TEST(StatementActions, FailingDiskHeaderAddsNoPlan) {
  BootConfig config;
  parseText(config, "entry \"a\" { disk 16 { } }");
  EXPECT_EQ(config.entries[0].diskPlans.size(), 0u);
  EXPECT_EQ(config.usedDiskCount(), 0u);
}

TEST(StatementActions, PasswordsAsScanCodes) {
  struct PasswordCase {
    const char* literal;
    std::string codes;
  } cases[] = {
      {"a(\\x1C)b", "\x1E\x1C\x30"},  // raw 0x1C passes unchecked
      {"Ab 1", "\x1E\x30\x39\x02"},
      {"((x))y", "x\x15"},  // a second "(" changes nothing; brackets are not stored
      {"(\\x01\\xFF)", "\x01\xFF"},
      {"", ""},
  };
  for (const PasswordCase& c : cases) {
    BootConfig config;
    auto outcome = parseText(
        config, std::string("entry \"e\" { password \"") + c.literal + "\" disk 0 { active 0 } }");
    EXPECT_EQ(outcome.result, 0) << c.literal;
    EXPECT_EQ(std::string(config.entries[0].password.c_str()), c.codes) << c.literal;
  }
}

TEST(StatementActions, LaterDisplayTextWins) {
  BootConfig config;
  auto outcome = parseText(config,
                           "set { password_prompt \"one\" password_ok \"ok\" }\n"
                           "set { password_prompt \"two\" disk_error \"err\" "
                           "password_wrong \"no\" }");
  EXPECT_EQ(outcome.result, 0);
  EXPECT_STREQ(config.display.text(DisplayText::PasswordPrompt)->c_str(), "two");
  EXPECT_STREQ(config.display.text(DisplayText::PasswordOk)->c_str(), "ok");
  EXPECT_STREQ(config.display.text(DisplayText::PasswordWrong)->c_str(), "no");
  EXPECT_STREQ(config.display.text(DisplayText::DiskError)->c_str(), "err");
  EXPECT_FALSE(config.display.noLogo);
}

TEST(StatementActions, ManyEntriesWithDistinctPasswords) {
  // Every entry is checked against all others; a clash with an early entry
  // is still found after thousands of entries.
  std::string text;
  for (int i = 0; i < 3000; ++i) {
    text += "entry \"e" + std::to_string(i) + "\" { password \"" + std::to_string(i) +
            "\" disk 0 { active 0 } }\n";
  }
  MemoryDiskSystem machine;
  machine.addDisk();
  BootConfig config(machine);
  auto accepted = parseText(config, text);
  EXPECT_EQ(accepted.result, 0);
  EXPECT_EQ(accepted.diagnostics.substr(0, 200), "");
  EXPECT_EQ(config.entries.size(), 3000u);
  text += "entry \"last\" {\npassword \"17\"\n}\n";
  auto outcome = parseText(config, text);
  EXPECT_EQ(outcome.result, 1);
  EXPECT_EQ(outcome.diagnostics, "t.cfg(3002): error: password is not unique for entry \"last\"\n");
}

}  // namespace
}  // namespace vornboot
