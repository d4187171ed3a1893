#include "recover/writer.h"

#include <gtest/gtest.h>

#include <string>

#include "recover/from_partitions.h"
#include "tests/support/memory_disks.h"

namespace vornboot {
namespace {

using testing::makeSector0;
using testing::MemoryDiskSystem;

// A single disk with an active NTFS partition, a FAT32x one, a Linux one and
// an empty fourth slot.
struct ExampleMachine {
  ExampleMachine() {
    auto s = makeSector0(0x12345678, {{0x80, 0x07, 63, 20482812},
                                      {0x00, 0x0C, 20482875, 41945715},
                                      {0x00, 0x83, 62428590, 2104515}});
    disks.addDisk(s.data());
  }
  MemoryDiskSystem disks;
};

constexpr const char* kExampleText =
    "map {\n"
    "\t{0x07, 0x17}\t// HPFS/NTFS\n"
    "\t{0x0C, 0x1C}\t// FAT32x\n"
    "\t{0x83, 0x93}\t// Unknown\n"
    "}\n"
    "entry \"Original\" {\n"
    "\tpassword \"\"\n"
    "\tdisk 0 {\n"
    "\t\tactive\t0\t// 0x07, offset:    31 KB, size: 10001 MB \n"
    "\t\tenable\t1\t// 0x0C, offset: 10001 MB, size: 20481 MB \n"
    "\t\tenable\t2\t// 0x83, offset: 30482 MB, size:  1027 MB \n"
    "\t}\n"
    "}\n";

TEST(Writer, ExampleMachineFromItsPartitionTable) {
  ExampleMachine machine;
  BootConfig config(machine.disks);
  configureFromPartitionTables(config);

  std::string text;
  writeConfiguration(config, text, false, false);
  EXPECT_EQ(text, kExampleText);

  std::string withDefaults;
  writeConfiguration(config, withDefaults, true, true);
  EXPECT_EQ(withDefaults, std::string(kExampleText) +
                              "set {\n"
                              "\tpassword_prompt \"\\nEnter password: \"\n"
                              "\tpassword_wrong \"WRONG!\\r\"\n"
                              "\tpassword_ok \"OK\\r\\n\\n\"\n"
                              "\tdisk_error \"Disk IO Error\\r\\n\"\n"
                              "}\n");
}

TEST(Writer, ScaleSectorsAtEachUnitBoundary) {
  struct Case {
    std::uint32_t sectors;
    std::uint32_t value;
    MessageId unit;
  } cases[] = {
      {0, 0, msgUnitKb},           {1, 0, msgUnitKb},
      {63, 31, msgUnitKb},         {204799, 102399, msgUnitKb},
      {204800, 100, msgUnitMb},    {209715199, 102399, msgUnitMb},
      {209715200, 100, msgUnitGb}, {0xFFFFFFFFu, 2047, msgUnitGb},
  };
  for (const Case& c : cases) {
    ScaledSize s = scaleSectors(c.sectors);
    EXPECT_EQ(s.value, c.value) << c.sectors;
    EXPECT_EQ(s.unit, c.unit) << c.sectors;
  }
}

// Model pieces for the layout cases below.
struct Model {
  BootConfig config;
  BootEntry& entry(const char* name, const char* password = "") {
    BootEntry& e = config.entries.emplace_back();
    e.name.set(name);
    e.password.set(password);
    return e;
  }
  std::string write(bool passwords = false, bool defaults = false) {
    std::string text;
    writeConfiguration(config, text, passwords, defaults);
    return text;
  }
};

TEST(Writer, EmptyModelWritesAnEmptyMapAndNothingElse) {
  Model m;
  EXPECT_EQ(m.write(), "map {\n}\n");
}

TEST(Writer, EntryPlansAndPairs) {
  Model m;
  m.config.typeMap.push_back({0x12, 0x12, FixedText()});
  m.config.typeMap.push_back({0x0B, 0x1B, FixedText("FAT32")});
  m.entry("bare");  // no plans
  BootEntry& e = m.entry("two", "\x1E");
  e.diskPlans[4];  // all four slots unspecified
  EntryDisk& plan = e.diskPlans[7];
  plan.partitionState[1] = Disable;
  plan.partitionState[3] = Active;
  plan.partitionState[0] = Enable;

  EXPECT_EQ(m.write(),
            "map {\n"
            "\t{0x12, 0x12}\t// Unknown, change hidden value to be processed\n"
            "\t{0x0B, 0x1B}\t// FAT32\n"
            "}\n"
            "entry \"bare\" {\n"
            "\tpassword \"\"\n"
            "}\n"
            "entry \"two\" {\n"
            "\tpassword \"\"\n"
            "\tdisk 4 {\n"
            "\t}\n"
            "\tdisk 7 {\n"
            "\t\tenable\t0\n"
            "\t\tdisable\t1\n"
            "\t\tactive\t3\n"
            "\t}\n"
            "}\n");
  // Only with passwords asked for does the password appear.
  EXPECT_NE(m.write(true).find("\tpassword \"a\"\n"), std::string::npos);
}

TEST(Writer, PartitionCommentDescribesTheTableEvenForAnEmptySlot) {
  MemoryDiskSystem disks;
  auto s = makeSector0(1, {{0x00, 0x07, 2048, 204800}});
  disks.addDisk(s.data());
  BootConfig config(disks);
  EntryDisk& plan = config.entries.emplace_back().diskPlans[0];
  plan.partitionState[0] = Disable;
  plan.partitionState[2] = Active;  // the table has no partition there

  std::string text;
  writeConfiguration(config, text, false, false);
  EXPECT_NE(text.find("\t\tdisable\t0\t// 0x07, offset:  1024 KB, size:   100 MB \n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\t\tactive\t2\t// 0x00, offset:     0 KB, size:     0 KB \n"),
            std::string::npos)
      << text;
}

TEST(Writer, SetBlock) {
  struct Case {
    bool noLogo;
    const char* prompt;
    const char* diskError;
    bool defaults;
    const char* expected;
  } cases[] = {
      {false, nullptr, nullptr, false, ""},
      {true, nullptr, nullptr, false, "set {\n\tno_logo\n}\n"},
      {false, "Pw? ", nullptr, false, "set {\n\tpassword_prompt \"Pw? \"\n}\n"},
      {false, nullptr, "", false, "set {\n\tdisk_error \"\"\n}\n"},
      {true, "", nullptr, true,
       "set {\n\tno_logo\n\tpassword_prompt \"\"\n\tpassword_wrong \"WRONG!\\r\"\n"
       "\tpassword_ok \"OK\\r\\n\\n\"\n\tdisk_error \"Disk IO Error\\r\\n\"\n}\n"},
  };
  for (const Case& c : cases) {
    Model m;
    if (c.noLogo) m.config.display.setNoLogo();
    if (c.prompt) m.config.display.setText(DisplayText::PasswordPrompt, c.prompt);
    if (c.diskError) m.config.display.setText(DisplayText::DiskError, c.diskError);
    EXPECT_EQ(m.write(false, c.defaults), std::string("map {\n}\n") + c.expected);
  }
}

TEST(Writer, EscapesEveryKindOfByte) {
  struct Case {
    const char* text;
    const char* written;
  } cases[] = {
      {"plain text", "plain text"},
      {"a\"b\\c", "a\\\"b\\\\c"},
      {"\a\b\n\r", "\\a\\b\\n\\r"},
      {"\t", "\\x09"},
      {"\x1A\x1B\x7F", "\\x1A\\x1B\x7F"},  // DEL stands for itself
      {"\xC3\xA9", "\\xC3\\xA9"},
      // A hex escape never runs into a following hexadecimal digit.
      {"\x01"
       "A",
       "\\x01\" \"A"},
      {"\x01"
       "9f",
       "\\x01\" \"9f"},
      {"\xFF"
       "f",
       "\\xFF\" \"f"},
      {"\x01"
       "G",
       "\\x01G"},
      {"\x01\x02", "\\x01\\x02"},
      {"\x01 1", "\\x01 1"},
      {"\n1", "\\n1"},
  };
  for (const Case& c : cases) {
    std::string out;
    writeEscaped(out, c.text);
    EXPECT_EQ(out, c.written) << c.text;
  }
}

TEST(Writer, LongTextsAreSplitAt124Characters) {
  std::string a124(124, 'a'), a125(125, 'a');
  struct Case {
    std::string text;
    std::string written;
  } cases[] = {
      {a124, a124},
      {a125, a124 + "\" \"a"},
      // An escape counts as the one character it reads back as; here one
      // split serves both the limit and the hex digit after the escape.
      {std::string(123, 'a') + "\tb", std::string(123, 'a') + "\\x09\" \"b"},
      {std::string(123, 'a') + "\"x", std::string(123, 'a') + "\\\"\" \"x"},
      {std::string(127, '\n'),
       [] {
         std::string s;
         for (int i = 0; i < 124; ++i) s += "\\n";
         s += "\" \"";
         for (int i = 0; i < 3; ++i) s += "\\n";
         return s;
       }()},
  };
  for (const Case& c : cases) {
    std::string out;
    writeEscaped(out, c.text.c_str());
    EXPECT_EQ(out, c.written) << c.text.size();
  }
}

TEST(Writer, PasswordsDecodeToKeys) {
  struct Case {
    std::string codes;
    std::string written;
  } cases[] = {
      {"", ""},
      {"\x1E", "a"},
      {"\x10\x11\x02\x0B\x0C", "qw10-"},
      {"\x39\x1A\x1B\x27\x28\x29\x33\x34\x35", " [];'`,./"},
      {"\x2B", "\\\\"},  // the backslash key, escaped
      {"\x0D", "(\\x0D)"},
      {"\x1C", "(\\x1C)"},
      {"\x1E\x0D\x1E", "a(\\x0D)a"},
      {"\x80\xFF", "(\\x80)(\\xFF)"},
  };
  for (const Case& c : cases) {
    std::string out;
    writePassword(out, c.codes.c_str());
    EXPECT_EQ(out, c.written);
  }
}

TEST(Writer, PasswordsTooLongOneBracketPerCodeShareBrackets) {
  // 41 raw codes take 123 characters one bracket each: still that form.
  std::string out;
  std::string codes41(41, '\x0D');
  writePassword(out, codes41.c_str());
  EXPECT_EQ(out.substr(0, 12), "(\\x0D)(\\x0D)");

  // 42 would take 126, more than a joined string holds: one run, left open.
  out.clear();
  std::string codes42(42, '\x0D');
  writePassword(out, codes42.c_str());
  std::string expected = "(";
  for (int i = 0; i < 42; ++i) expected += "\\x0D";
  EXPECT_EQ(out, expected);

  // Key codes between raw codes stay inside the brackets; the codes of the
  // two bracket characters cannot, so they close the run.
  out.clear();
  std::string mixed = std::string(40, '\x0D') + "\x1E\x0D\x28\x1E";
  writePassword(out, mixed.c_str());
  // (A new string rather than assigning "(" again: GCC 12 at -O3 warns,
  // wrongly, that such an assignment may overlap itself: -Wrestrict.)
  std::string expectedMixed(1, '(');
  for (int i = 0; i < 40; ++i) expectedMixed += "\\x0D";
  expectedMixed += "\\x1E\\x0D)'a";
  EXPECT_EQ(out, expectedMixed);
}

}  // namespace
}  // namespace vornboot
