#include "image/compiler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/sector_format.h"
#include "boot/templates.h"
#include "image/image_test_support.h"

namespace vornboot {
namespace {

using testing::Machine;
namespace worked_example = testing::worked_example;
using testing::makeSector0;
using testing::standardDiskZero;

constexpr PartitionState U = Unspecified, E = Enable, A = Active, D = Disable;
const std::string kDefaultTexts("\nEnter password: \0WRONG!\r\0OK\r\n\n\0Disk IO Error\r\n\0", 48);

// The records from slot 34 on: name up to 0x0D, password up to 0x1C, then the
// disk bytes; a 0 ends the list. Returns the offset of that 0.
struct Record {
  std::string name;
  std::string password;
  std::vector<std::uint8_t> diskBytes;
};
unsigned walkRecords(const Machine& m, std::vector<Record>& records) {
  unsigned pos = m.word(layout::kSlotFirstEntry) - layout::kLoadBase;
  const unsigned diskCount = m.image[layout::kSlotDiskCount];
  while (pos < 440 && m.image[pos] != 0) {
    Record r;
    while (m.image[pos] != 0x0D) r.name.push_back(char(m.image[pos++]));
    EXPECT_EQ(m.image[pos + 1], 0x0A);
    EXPECT_EQ(m.image[pos + 2], 0x00);
    pos += 3;
    while (m.image[pos] != 0x1C) r.password.push_back(char(m.image[pos++]));
    ++pos;
    for (unsigned k = 0; k < diskCount; ++k) r.diskBytes.push_back(m.image[pos++]);
    records.push_back(r);
  }
  return pos;
}

TEST(CompileImage, WorkedExampleByteForByte) {
  const auto disk0 = worked_example::disks()[0];
  Machine m(worked_example::disks());
  worked_example::build(m);
  ASSERT_TRUE(m.compile());
  EXPECT_EQ(m.diagnostics, "");

  std::vector<std::uint8_t> expected(boot::kResidentTemplate, boot::kResidentTemplate + 446);
  expected.insert(expected.end(), disk0.begin() + 446, disk0.end());
  std::copy(boot::kExtendedReadStep, boot::kExtendedReadStep + 20, expected.begin() + 227);
  auto put16 = [&](unsigned at, unsigned v) {
    expected[at] = std::uint8_t(v);
    expected[at + 1] = std::uint8_t(v >> 8);
  };
  put16(34, worked_example::kFirstRecordAddress);
  put16(37, 0x0002);
  put16(61, 0x0718);
  put16(110, 0x072A);
  put16(118, 0x0732);
  put16(130, 0x0081);
  put16(162, 0x0748);
  expected[165] = 0x04;
  put16(215, 0x0738);
  std::copy(kDefaultTexts.begin(), kDefaultTexts.end(), expected.begin() + 280);
  std::copy(worked_example::kData.begin(), worked_example::kData.end(),
            expected.begin() + worked_example::kDataAt);
  std::fill(expected.begin() + 342, expected.begin() + 440, 0);
  std::copy(disk0.begin() + 440, disk0.begin() + 444, expected.begin() + 440);
  expected[444] = 0x42;
  expected[445] = 0x4D;
  EXPECT_EQ(m.image, expected);
}

TEST(CompileImage, OneMappingOneEntryWithTwoKeyPassword) {
  Machine m({standardDiskZero()});
  m.addMapping(0x07, 0x17);
  m.addPlan(m.addEntry("A", "\x1E\x30"), 0, {A, U, U, U});
  ASSERT_TRUE(m.compile());
  EXPECT_EQ(std::string(m.image.begin() + 280, m.image.begin() + 328), kDefaultTexts);
  EXPECT_EQ(m.word(162), 0x0748);
  EXPECT_EQ(m.word(34), 0x074A);
  const std::vector<std::uint8_t> record(m.image.begin() + 328, m.image.begin() + 339);
  EXPECT_EQ(record, (std::vector<std::uint8_t>{0x07, 0x17, 0x41, 0x0D, 0x0A, 0x00, 0x1E, 0x30, 0x1C,
                                               0x10, 0x00}));
  EXPECT_EQ(m.image[37], 1);
  EXPECT_EQ(m.image[130], 0x80);
  EXPECT_EQ(m.image[165], 2);
}

TEST(CompileImage, MissingMapOrEntriesReportsOneError) {
  struct Case {
    bool withEntry, withMap;
    const char* expected;
  } cases[] = {
      {false, false, "boot.cfg: error: no entries defined\n"},
      {false, true, "boot.cfg: error: no entries defined\n"},
      {true, false, "boot.cfg: error: no partition map defined\n"},
  };
  for (const Case& c : cases) {
    Machine m({standardDiskZero()});
    if (c.withMap) m.addMapping(0x07, 0x17);
    if (c.withEntry) m.addPlan(m.addEntry("A"), 0, {A, U, U, U});
    EXPECT_FALSE(m.compile());
    EXPECT_EQ(m.diagnostics, c.expected);
  }
}

// Hiding a GPT disk's protective entry (or showing another type as it) would
// make the whole GPT disk unreadable to every system.
TEST(CompileImage, APairWithTheGptTypeIsRefused) {
  const struct {
    std::uint8_t original, hidden;
    bool refused;
  } cases[] = {{0xEE, 0xFE, true}, {0x0E, 0xEE, true}, {0xED, 0xFD, false}};
  for (const auto& c : cases) {
    Machine m({standardDiskZero()});
    m.addMapping(0x07, 0x17);
    m.addMapping(c.original, c.hidden);
    m.addPlan(m.addEntry("A"), 0, {A, U, U, U});
    EXPECT_EQ(m.compile(), !c.refused) << int(c.original);
    EXPECT_EQ(m.diagnostics, c.refused ? "boot.cfg: error: partition ID 0xEE (GPT) cannot be "
                                         "mapped: hiding it would make a GPT disk unreadable\n"
                                       : "")
        << int(c.original);
  }
}

TEST(CompileImage, NineEntriesCompileTheFirstEight) {
  Machine m({standardDiskZero()});
  m.addMapping(0x07, 0x17);
  for (char c = '1'; c <= '9'; ++c) {
    // The ninth password could not be compiled; left out, it is not looked at.
    m.addPlan(m.addEntry(std::string("E") + c, c == '9' ? "\x1C" : std::string(1, c)), 0,
              {A, U, U, U});
  }
  ASSERT_TRUE(m.compile());
  EXPECT_EQ(m.diagnostics, "boot.cfg: warning: only first 8 entries are meaningful\n");
  std::vector<Record> records;
  const unsigned end = walkRecords(m, records);
  ASSERT_EQ(records.size(), 8u);
  EXPECT_EQ(records[7].name, "E8");
  EXPECT_EQ(m.image[end], 0);
  EXPECT_EQ(std::search(m.image.begin(), m.image.end(), std::begin("E9"), std::end("E9") - 1),
            m.image.end());
}

TEST(CompileImage, DiskBytes) {
  // Three disks in the inventory; each row is one entry's plans.
  struct Case {
    const char* why;
    std::vector<std::pair<std::uint32_t, std::array<PartitionState, 4>>> plans;
    std::vector<std::uint8_t> expected;  // disk 2, disk 1, disk 0
  } cases[] = {
      {"active 1 and disable 2 on disk 0", {{0, {U, A, D, U}}}, {0x00, 0x00, 0x24}},
      {"two active on disk 1: the higher wins",
       {{0, {A, U, U, U}}, {1, {A, U, A, U}}},
       {0x00, 0x40, 0x10}},
      {"enable and unspecified leave both bits clear",
       {{0, {E, A, E, U}}, {2, {E, E, E, E}}},
       {0x00, 0x00, 0x20}},
      {"only disk 0 named", {{0, {U, U, U, A}}}, {0x00, 0x00, 0x80}},
      {"every state on disk 2", {{2, {D, A, D, D}}, {0, {A, U, U, U}}}, {0x2D, 0x00, 0x10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    Machine m(
        {makeSector0(1,
                     {{0x80, 0x07, 63, 9}, {0, 0x07, 99, 9}, {0, 0x0B, 199, 9}, {0, 0x06, 299, 9}}),
         makeSector0(2, {}), makeSector0(3, {})});
    m.addMapping(0x07, 0x17);
    BootEntry& entry = m.addEntry("X");
    for (const auto& [disk, states] : c.plans) m.addPlan(entry, disk, states);
    if (!entry.findPlan(2)) m.addPlan(entry, 2, {U, U, U, U});  // three disks in every case
    ASSERT_TRUE(m.compile()) << m.diagnostics;
    std::vector<Record> records;
    walkRecords(m, records);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].diskBytes, c.expected);
    EXPECT_EQ(m.image[37], 3);
    EXPECT_EQ(m.image[130], 0x82);
  }
}

TEST(CompileImage, ActivePartitionMustBeBootableOnDiskZeroOnly) {
  struct Case {
    std::uint8_t type;                   // current type of partition 1
    std::vector<std::uint8_t> extraMap;  // pairs besides {0x07, 0x17}
    unsigned disk;                       // the disk whose partition 1 is made active
    const char* expected;                // "" = compiles
  } cases[] = {
      {0x00, {}, 0, "boot.cfg: error: EMPTY partition 1 of entry \"Lin\" cannot be active\n"},
      {0x05, {}, 0, "boot.cfg: error: EXTENDED partition 1 of entry \"Lin\" cannot be active\n"},
      {0x0F, {}, 0, "boot.cfg: error: EXTENDED partition 1 of entry \"Lin\" cannot be active\n"},
      {0x15,
       {0x05, 0x15},
       0,
       "boot.cfg: error: EXTENDED partition 1 of entry \"Lin\" cannot be active\n"},
      {0x1F,
       {0x0F, 0x1F},
       0,
       "boot.cfg: error: EXTENDED partition 1 of entry \"Lin\" cannot be active\n"},
      {0x15, {}, 0, ""},  // not a hidden extended type without its mapping
      {0x05,
       {0x05, 0x15},
       0,
       "boot.cfg: error: EXTENDED partition 1 of entry \"Lin\" cannot be active\n"},
      {0x17, {}, 0, ""},  // a hidden NTFS partition may be booted
      {0x00, {}, 1, ""},  // disk 1 is not checked
      {0x0F, {}, 1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.type) + " on disk " + std::to_string(c.disk));
    const auto table = makeSector0(7, {{0x80, 0x07, 63, 9}, {0, c.type, 99, 9}});
    Machine m({table, table});
    m.addMapping(0x07, 0x17);
    for (std::size_t i = 0; i < c.extraMap.size(); i += 2)
      m.addMapping(c.extraMap[i], c.extraMap[i + 1]);
    m.addPlan(m.addEntry("Win"), 0, {A, U, U, U});
    BootEntry& lin = m.addEntry("Lin", "\x26");
    if (c.disk == 0) {
      m.addPlan(lin, 0, {E, A, U, U});
    } else {
      m.addPlan(lin, 0, {A, U, U, U});
      m.addPlan(lin, 1, {U, A, U, U});
    }
    EXPECT_EQ(m.compile(), *c.expected == '\0');
    EXPECT_EQ(m.diagnostics, c.expected);
  }
}

TEST(CompileImage, BootStepVariants) {
  Machine m({standardDiskZero()});
  m.addMapping(0x07, 0x17);
  m.addPlan(m.addEntry("A"), 0, {A, U, U, U});
  m.config->display.setText(DisplayText::PasswordPrompt, "?");
  const std::uint16_t diskErrorAddress = 0x0600 + 280 + 2 + 8 + 6;

  ASSERT_TRUE(m.compile(true));
  EXPECT_TRUE(std::equal(m.image.begin() + 227, m.image.begin() + 247, boot::kExtendedReadStep));
  EXPECT_EQ(m.word(215), diskErrorAddress);

  ASSERT_TRUE(m.compile(false));
  for (unsigned i = 227; i < 247; ++i) {
    if (i == 243 || i == 244) continue;
    EXPECT_EQ(m.image[i], boot::kResidentTemplate[i]) << "offset " << i;
  }
  EXPECT_EQ(m.word(243), diskErrorAddress);
  EXPECT_EQ(m.word(215), diskErrorAddress);
}

TEST(CompileImage, ConfiguredTexts) {
  struct Case {
    const char* why;
    const char* texts[4];  // null = default
    bool noLogo;
    std::string expectedArea;  // from the text area's start up to the map
  } cases[] = {
      {"empty texts stay empty", {"", "", "", ""}, false, std::string(4, '\0')},
      {"short texts, odd end skips a byte",
       {"p", "w", "o", ""},
       false,
       std::string("p\0w\0o\0\0", 7)},
      {"no_logo with default texts", {nullptr, nullptr, nullptr, nullptr}, true, kDefaultTexts},
      {"one text replaced",
       {nullptr, "Nope\r", nullptr, nullptr},
       false,
       std::string("\nEnter password: \0Nope\r\0OK\r\n\n\0Disk IO Error\r\n\0", 46)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    Machine m({standardDiskZero()});
    m.addMapping(0x07, 0x17);
    m.addPlan(m.addEntry("A"), 0, {A, U, U, U});
    DisplaySettings& d = m.config->display;
    for (int i = 0; i < 4; ++i)
      if (c.texts[i]) d.setText(DisplayText(i), c.texts[i]);
    if (c.noLogo) d.setNoLogo();
    ASSERT_TRUE(m.compile());

    const unsigned start = c.noLogo ? 265 : 280;
    EXPECT_EQ(m.image[264], c.noLogo ? 0 : 'V');
    std::string area(m.image.begin() + start, m.image.begin() + start + c.expectedArea.size());
    EXPECT_EQ(area, c.expectedArea);
    unsigned map = start + unsigned(c.expectedArea.size());
    if (map % 2) {
      EXPECT_EQ(m.image[map], boot::kResidentTemplate[map]);  // skipped, not written
      ++map;
    }
    EXPECT_EQ(m.word(162), 0x0600 + map);
    EXPECT_EQ(m.image[map], 0x07);
    // The slots point at the texts laid out above.
    unsigned at = start;
    for (unsigned slot : {61u, 110u, 118u, 215u}) {
      EXPECT_EQ(m.word(slot), 0x0600 + at);
      at += unsigned(std::strlen(reinterpret_cast<const char*>(m.image.data() + at))) + 1;
    }
    std::vector<Record> records;
    const unsigned end = walkRecords(m, records);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(m.image[end], 0);  // also when the old default texts lay here
  }
}

TEST(CompileImage, NoLogoLayout) {
  Machine m({standardDiskZero()});
  m.addMapping(0x07, 0x17);
  m.addPlan(m.addEntry("A"), 0, {A, U, U, U});
  m.config->display.setNoLogo();
  ASSERT_TRUE(m.compile());
  EXPECT_EQ(m.image[264], 0);
  EXPECT_EQ(std::string(m.image.begin() + 265, m.image.begin() + 313), kDefaultTexts);
  EXPECT_EQ(m.image[313], boot::kResidentTemplate[313]);
  EXPECT_EQ(m.word(162), 0x0600 + 314);
  EXPECT_EQ(m.image[314], 0x07);
  EXPECT_EQ(m.image[315], 0x17);
  EXPECT_EQ(m.word(34), 0x0600 + 316);
}

TEST(CompileImage, FitLimitIsTheListEndAt439) {
  // Default texts and one pair: the first record starts at 330. With N = 1 the
  // list end lies at 330 + name + password + 5.
  struct Case {
    std::size_t name, password;
    const char* expected;
  } cases[] = {
      {104, 0, ""},
      {105, 0,
       "boot.cfg: error: compiled information cannot fit in boot code: try to free 1 byte(s)\n"},
      {100, 4, ""},
      {100, 5,
       "boot.cfg: error: compiled information cannot fit in boot code: try to free 1 byte(s)\n"},
      {100, 127,
       "boot.cfg: error: compiled information cannot fit in boot code: try to free 123 byte(s)\n"},
      {127, 127,
       "boot.cfg: error: compiled information cannot fit in boot code: try to free 23 byte(s)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.name) + "/" + std::to_string(c.password));
    Machine m({standardDiskZero()});
    m.addMapping(0x07, 0x17);
    m.addPlan(m.addEntry(std::string(c.name, 'n'), std::string(c.password, '\x1E')), 0,
              {A, U, U, U});
    EXPECT_EQ(m.compile(), *c.expected == '\0');
    EXPECT_EQ(m.diagnostics, c.expected);
    if (*c.expected == '\0') {
      std::vector<Record> records;
      EXPECT_EQ(walkRecords(m, records), 439u);
    }
  }
}

TEST(CompileImage, LaterEntryOverflowCountsOnlyItsFixedPart) {
  // The first entry's long password carries the position past 439; the second
  // entry's check reports everything laid out so far plus its own fixed part.
  Machine m({standardDiskZero()});
  m.addMapping(0x07, 0x17);
  m.addPlan(m.addEntry("first", std::string(120, '\x1E')), 0, {A, U, U, U});
  m.addPlan(m.addEntry("second", std::string(127, '\x1F')), 0, {A, U, U, U});
  EXPECT_FALSE(m.compile());
  // 330 + (5 + 3 + 120 + 1 + 1) + (6 + 4 + 1) - 439
  EXPECT_EQ(
      m.diagnostics,
      "boot.cfg: error: compiled information cannot fit in boot code: try to free 32 byte(s)\n");
}

TEST(CompileImage, PasswordHoldingTheEnterCodeIsRefused) {
  struct Case {
    const char* why;
    std::vector<std::pair<std::string, std::string>> entries;  // name, password
    std::string expected;
  } cases[] = {
      {"alone",
       {{"Win", "\x1E\x1C\x30"}},
       "boot.cfg: error: password of entry \"Win\" holds the Enter key code 0x1C\n"},
      {"before its own fit check",
       {{std::string(125, 'w'), "\x1C"}},
       "boot.cfg: error: password of entry \"" + std::string(125, 'w') +
           "\" holds the Enter key code 0x1C\n"},
      {"after an earlier entry's fit error",
       {{std::string(120, 'a'), ""}, {"b", "\x1C"}},
       "boot.cfg: error: compiled information cannot fit in boot code: try to free 16 byte(s)\n"},
      {"before the fit check that an earlier password overflowed",
       {{std::string(100, 'a'), std::string(20, '\x1E')}, {"b", "\x10\x1C"}},
       "boot.cfg: error: password of entry \"b\" holds the Enter key code 0x1C\n"},
      {"not reached after a fitting entry that ends the list",
       {{"a", ""}, {"b", "\x1C"}},
       "boot.cfg: error: password of entry \"b\" holds the Enter key code 0x1C\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    Machine m({standardDiskZero()});
    m.addMapping(0x07, 0x17);
    for (const auto& [name, password] : c.entries)
      m.addPlan(m.addEntry(name, password), 0, {A, U, U, U});
    EXPECT_FALSE(m.compile());
    EXPECT_EQ(m.diagnostics, c.expected);
  }
}

TEST(CompileImage, LongTextsAndPasswordsNeverOverrunAndReportTheBytesToFree) {
  // Whatever fails, shortening the last entry's name by the reported count
  // must make the list end exactly at 439 (or the name runs out first).
  const std::size_t lengths[] = {0, 1, 16, 47, 126, 127};
  const std::size_t passwords[] = {0, 1, 64, 127};
  const std::size_t entryCounts[] = {1, 3, 8};
  int fits = 0, overflows = 0;
  for (std::size_t textLength : lengths)
    for (std::size_t other : lengths)
      for (std::size_t password : passwords)
        for (std::size_t entries : entryCounts)
          for (bool noLogo : {false, true}) {
            Machine m({standardDiskZero()});
            m.addMapping(0x07, 0x17);
            m.addMapping(0x0B, 0x1B);
            DisplaySettings& d = m.config->display;
            d.setText(DisplayText::PasswordPrompt, std::string(textLength, 'p').c_str());
            d.setText(DisplayText::PasswordWrong, std::string(other, 'w').c_str());
            d.setText(DisplayText::DiskError, std::string(textLength ^ other, 'e').c_str());
            if (noLogo) d.setNoLogo();
            for (std::size_t i = 0; i < entries; ++i) {
              m.addPlan(m.addEntry(std::string(127, char('a' + i)),
                                   std::string(password, char(0x10 + i))),
                        0, {A, U, U, U});
            }
            std::size_t name = 127;
            while (!m.compile()) {
              const std::string prefix =
                  "boot.cfg: error: compiled information cannot fit in boot code: try to free ";
              ASSERT_EQ(m.diagnostics.compare(0, prefix.size(), prefix), 0) << m.diagnostics;
              const std::size_t excess = std::stoul(m.diagnostics.substr(prefix.size()));
              ASSERT_GT(excess, 0u);
              ++overflows;
              if (excess > name) break;
              name -= excess;
              BootEntry& last = m.config->entries[entries - 1];
              last.name.set(std::string(name, 'z').c_str());
            }
            if (m.diagnostics.empty()) {
              ++fits;
              std::vector<Record> records;
              const unsigned end = walkRecords(m, records);
              EXPECT_EQ(records.size(), entries);
              if (name < 127) {
                EXPECT_EQ(end, 439u);
              }
              EXPECT_EQ(m.image[444], 0x42);
            }
          }
  EXPECT_GT(fits, 0);
  EXPECT_GT(overflows, 0);
}

TEST(CompileImage, WithoutDiskZeroNothingIsWritten) {
  testing::MemoryDiskSystem none;
  BootConfig config(none);
  config.typeMap.push_back({0x07, 0x17, FixedText()});
  config.entries.emplace_back();
  testing::CapturedStream stream;
  std::vector<std::uint8_t> image(512, 0xEE);
  EXPECT_FALSE(CompileImage(config, image.data(), Diagnostics("c", stream.file()), true));
  EXPECT_EQ(stream.text(), "");
  EXPECT_EQ(image, std::vector<std::uint8_t>(512, 0xEE));
}

}  // namespace
}  // namespace vornboot
