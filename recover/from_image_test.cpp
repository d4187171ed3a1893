#include "recover/from_image.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/sector_format.h"
#include "recover/writer.h"
#include "tests/support/memory_disks.h"

namespace vornboot {
namespace {

using testing::makeSector0;
using testing::MemoryDiskSystem;

struct Record {
  std::string name;
  std::string password;                 // scan codes
  std::vector<std::uint8_t> diskBytes;  // disk 0 first
};

/// What an installed sector holds, laid out the way the compiler lays it out.
struct ImageContent {
  std::uint8_t diskCount = 1;
  bool noLogo = false;
  std::string texts[4] = {layout::kDefaultPrompt, layout::kDefaultWrong, layout::kDefaultOk,
                          layout::kDefaultDiskError};
  std::vector<std::pair<std::uint8_t, std::uint8_t>> pairs = {{0x07, 0x17}};
  std::vector<Record> records;
};

struct BuiltImage {
  std::vector<std::uint8_t> sector;
  unsigned mapStart = 0;
  unsigned firstRecord = 0;
  unsigned listEnd = 0;
};

BuiltImage buildImage(const ImageContent& content, std::vector<std::uint8_t> sector) {
  BuiltImage b;
  std::uint8_t* s = sector.data();
  s[layout::kSlotDiskCount] = content.diskCount;
  s[layout::kMarker] = 0x42;
  s[layout::kMarker + 1] = 0x4D;
  unsigned at = layout::kBanner;
  if (content.noLogo) {
    s[at++] = 0;
  } else {
    for (const char* p = layout::kBannerText; *p; ++p) s[at++] = std::uint8_t(*p);
    s[at++] = 0;
  }
  for (const std::string& t : content.texts) {
    for (char c : t) s[at++] = std::uint8_t(c);
    s[at++] = 0;
  }
  if (at % 2) s[at++] = 0xEE;  // padding: its content means nothing
  b.mapStart = at;
  for (auto [o, h] : content.pairs) {
    s[at++] = o;
    s[at++] = h;
  }
  s[layout::kSlotMapLength] = std::uint8_t(2 * content.pairs.size());
  b.firstRecord = at;
  mbr::write16(s + layout::kSlotFirstEntry, std::uint16_t(at + layout::kLoadBase));
  for (const Record& r : content.records) {
    for (char c : r.name) s[at++] = std::uint8_t(c);
    s[at++] = 0x0D;
    s[at++] = 0x0A;
    s[at++] = 0;
    for (char c : r.password) s[at++] = std::uint8_t(c);
    s[at++] = layout::kPasswordEnd;
    for (std::size_t i = r.diskBytes.size(); i-- > 0;) s[at++] = r.diskBytes[i];
  }
  b.listEnd = at;
  s[at] = 0;
  b.sector = sector;
  return b;
}

/// A machine whose disk 0 carries `image`, plus `moreDisks` disks with a
/// partition in slots 0 and 2 only.
struct Machine {
  Machine(const std::vector<std::uint8_t>& image, unsigned moreDisks = 0) {
    disks.addDisk(image.data());
    for (unsigned i = 0; i < moreDisks; ++i) {
      auto s = makeSector0(9, {{0, 0x07, 63, 1000}, {0, 0, 0, 0}, {0, 0x0B, 2000, 1000}});
      disks.addDisk(s.data());
    }
  }
  MemoryDiskSystem disks;
};

std::vector<std::uint8_t> diskZeroTable() {
  return makeSector0(0xCAFE, {{0x80, 0x07, 63, 1000}, {0, 0x17, 2000, 1000}});
}

std::vector<PartitionState> statesOf(const BootEntry& e) {
  std::vector<PartitionState> out;
  for (const auto& [number, plan] : e.diskPlans) {
    for (PartitionState s : plan.partitionState) out.push_back(s);
  }
  return out;
}

constexpr PartitionState U = Unspecified, E = Enable, A = Active, D = Disable;

TEST(FromImage, TextsComeBackOnlyWhenTheyDifferFromTheDefault) {
  struct Case {
    bool noLogo;
    std::string texts[4];
    const char* expected[4];  // null = absent
  } cases[] = {
      {false,
       {layout::kDefaultPrompt, layout::kDefaultWrong, layout::kDefaultOk,
        layout::kDefaultDiskError},
       {nullptr, nullptr, nullptr, nullptr}},
      {true,
       {"", "Nope\r", "OK\r\n\n", "Disk IO Error\r\n "},
       {nullptr, "Nope\r", nullptr, "Disk IO Error\r\n "}},
      {false, {"Pw:", "", "", ""}, {"Pw:", nullptr, nullptr, nullptr}},
  };
  for (const Case& c : cases) {
    ImageContent content;
    content.noLogo = c.noLogo;
    for (int i = 0; i < 4; ++i) content.texts[i] = c.texts[i];
    content.records = {{"w", "", {0x10}}};
    Machine m(buildImage(content, diskZeroTable()).sector);
    BootConfig config(m.disks);
    configureFromInstalledImage(config);

    EXPECT_EQ(config.display.noLogo, c.noLogo);
    for (int i = 0; i < 4; ++i) {
      const FixedText* text = config.display.text(DisplayText(i));
      if (c.expected[i]) {
        ASSERT_TRUE(text) << i;
        EXPECT_STREQ(text->c_str(), c.expected[i]);
      } else {
        EXPECT_FALSE(text) << i;
      }
    }
    // The type map is found after the texts, whatever their lengths.
    ASSERT_EQ(config.typeMap.size(), 1u);
    EXPECT_EQ(config.typeMap[0].originalId, 0x07);
    ASSERT_EQ(config.entries.size(), 1u);
  }
}

TEST(FromImage, DefaultImageWritesNoSetBlock) {
  ImageContent content;
  content.records = {{"Win", "", {0x10}}};
  Machine m(buildImage(content, diskZeroTable()).sector);
  BootConfig config(m.disks);
  configureFromInstalledImage(config);
  std::string text;
  writeConfiguration(config, text, true, false);
  EXPECT_EQ(text.find("set {"), std::string::npos) << text;
}

TEST(FromImage, NoLogoWithDefaultTextsPutsTheMapAt314) {
  ImageContent content;
  content.noLogo = true;
  content.records = {{"x", "", {0x10}}};
  BuiltImage built = buildImage(content, diskZeroTable());
  ASSERT_EQ(built.mapStart, 314u);
  Machine m(built.sector);
  BootConfig config(m.disks);
  configureFromInstalledImage(config);
  EXPECT_TRUE(config.display.noLogo);
  EXPECT_EQ(config.display.text(DisplayText::PasswordPrompt), nullptr);
  ASSERT_EQ(config.typeMap.size(), 1u);
  EXPECT_EQ(config.typeMap[0].originalId, 0x07);
  EXPECT_EQ(config.typeMap[0].hiddenId, 0x17);
}

TEST(FromImage, TypeMapPairsTakeTheirKnownNames) {
  struct Case {
    std::vector<std::pair<std::uint8_t, std::uint8_t>> pairs;
    std::uint8_t lengthByte;
    std::vector<std::string> names;
  } cases[] = {
      {{{0x07, 0x17}, {0x83, 0x93}}, 4, {"HPFS/NTFS", ""}},
      {{{0x0C, 0x1C}}, 0, {}},                        // a length of 0 is an empty map
      {{{0x0C, 0x1C}, {0x01, 0x11}}, 3, {"FAT32x"}},  // an odd length truncates
      {{{0x17, 0x07}}, 2, {""}},                      // named by the original ID only
  };
  for (const Case& c : cases) {
    ImageContent content;
    content.pairs = c.pairs;
    content.records = {{"x", "", {0x10}}};
    BuiltImage built = buildImage(content, diskZeroTable());
    built.sector[layout::kSlotMapLength] = c.lengthByte;
    Machine m(built.sector);
    BootConfig config(m.disks);
    configureFromInstalledImage(config);
    ASSERT_EQ(config.typeMap.size(), c.names.size());
    for (std::size_t i = 0; i < c.names.size(); ++i) {
      EXPECT_EQ(config.typeMap[i].originalId, c.pairs[i].first);
      EXPECT_EQ(config.typeMap[i].hiddenId, c.pairs[i].second);
      EXPECT_EQ(config.typeMap[i].typeName.c_str(), c.names[i]);
    }
    EXPECT_EQ(config.entries.size(), 1u);
  }
}

TEST(FromImage, EntriesAndTheirPlans) {
  ImageContent content;
  content.diskCount = 3;  // one disk more than the machine has
  content.records = {
      {"System", "\x1F\x1E", {0x12, 0x00, 0x24}},
      {"Empty", "", {0x00, 0x00, 0x00}},
      {"Raw", "\x0D\x80", {0x08, 0x40, 0x00}},
  };
  Machine m(buildImage(content, diskZeroTable()).sector, 1);
  BootConfig config(m.disks);
  configureFromInstalledImage(config);

  EXPECT_EQ(config.usedDiskCount(), 3u);
  ASSERT_EQ(config.entries.size(), 3u);
  const char* names[] = {"System", "Empty", "Raw"};
  const char* passwords[] = {"\x1F\x1E", "", "\x0D\x80"};
  // Disk 0 has partitions in slots 0 and 1, disk 1 in slots 0 and 2; disk 2
  // is not in the inventory, so none of its slots comes back Enable.
  std::vector<PartitionState> states[] = {
      {A, D, U, U, E, U, E, U, U, A, D, U},
      {E, E, U, U, E, U, E, U, U, U, U, U},
      {E, E, U, D, E, U, A, U, U, U, U, U},
  };
  for (int i = 0; i < 3; ++i) {
    const BootEntry& e = config.entries[i];
    EXPECT_STREQ(e.name.c_str(), names[i]);
    EXPECT_STREQ(e.password.c_str(), passwords[i]);
    ASSERT_EQ(e.diskPlans.size(), 3u);
    EXPECT_TRUE(e.findPlan(2));
    EXPECT_EQ(config.physicalDisk(2), nullptr);
    EXPECT_EQ(statesOf(e), states[i]) << names[i];
  }
}

// Cases of damaged records: each patches the built image of two entries.
TEST(FromImage, ABrokenRecordEndsTheList) {
  ImageContent content;
  content.records = {{"one", "\x02", {0x10}}, {"two", "\x03", {0x10}}};
  struct Case {
    const char* why;
    std::vector<std::pair<int, std::uint8_t>> patches;  // offsets from the second record
    std::vector<std::string> names;
  } cases[] = {
      {"intact", {}, {"one", "two"}},
      {"no Enter code before the next 0", {{7, 0x00}}, {"one"}},
      {"the password starts after the first 0 past the name", {{1, 0x00}}, {"one"}},
      {"a 0 ends the name without a line end",
       {{2, 0x00}, {3, 0x03}, {4, 0x1C}, {5, 0x10}, {6, 0x00}},
       {"one", "tw"}},
      {"a 0 as first byte ends the list", {{0, 0x00}}, {"one"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    BuiltImage built = buildImage(content, diskZeroTable());
    unsigned second = built.firstRecord + 3 + 3 + 1 + 1 + 1;
    for (auto [offset, value] : c.patches) built.sector[second + offset] = value;
    Machine m(built.sector);
    BootConfig config(m.disks);
    configureFromInstalledImage(config);
    std::vector<std::string> names;
    for (const BootEntry& e : config.entries) names.push_back(e.name.c_str());
    EXPECT_EQ(names, c.names);
  }
}

TEST(FromImage, ReadingStopsAt439) {
  struct Case {
    const char* why;
    void (*damage)(std::vector<std::uint8_t>&, const BuiltImage&);
    std::size_t entries;
    std::size_t pairs;
  } cases[] = {
      {"a record ending at 439 without a list end is kept",
       [](std::vector<std::uint8_t>& s, const BuiltImage& b) {
         // Move the single record so that its disk byte is at 439.
         std::vector<std::uint8_t> record(s.begin() + b.firstRecord, s.begin() + b.listEnd);
         unsigned start = 440 - unsigned(record.size());
         std::copy(record.begin(), record.end(), s.begin() + start);
         mbr::write16(s.data() + layout::kSlotFirstEntry, std::uint16_t(start + 0x600));
       },
       1, 1},
      {"a record whose disk bytes pass 439 is dropped",
       [](std::vector<std::uint8_t>& s, const BuiltImage& b) {
         std::vector<std::uint8_t> record(s.begin() + b.firstRecord, s.begin() + b.listEnd);
         unsigned start = 441 - unsigned(record.size());
         std::copy(record.begin(), record.end() - 1, s.begin() + start);
         mbr::write16(s.data() + layout::kSlotFirstEntry, std::uint16_t(start + 0x600));
       },
       0, 1},
      {"a password with no end before 440 drops the record",
       [](std::vector<std::uint8_t>& s, const BuiltImage&) {
         std::fill(s.begin() + 420, s.begin() + 440, 0x11);
         s[420] = 'n';
         s[421] = 0x0D;
         s[422] = 0x0A;
         s[423] = 0;
         mbr::write16(s.data() + layout::kSlotFirstEntry, 420 + 0x600);
       },
       0, 1},
      {"an entry pointer below the program's base reads no entry",
       [](std::vector<std::uint8_t>& s, const BuiltImage&) {
         mbr::write16(s.data() + layout::kSlotFirstEntry, 0x05FF);
       },
       0, 1},
      {"an entry pointer past the data area reads no entry",
       [](std::vector<std::uint8_t>& s, const BuiltImage&) {
         mbr::write16(s.data() + layout::kSlotFirstEntry, 0xFFFF);
       },
       0, 1},
      {"texts without an end before 440 leave texts and map out, entries still read",
       [](std::vector<std::uint8_t>& s, const BuiltImage& b) {
         // The record moves to the front; 0 only at 264 and inside it.
         std::vector<std::uint8_t> record(s.begin() + b.firstRecord, s.begin() + b.listEnd + 1);
         std::fill(s.begin() + 265, s.begin() + 440, 'T');
         std::copy(record.begin(), record.end(), s.begin() + 40);
         mbr::write16(s.data() + layout::kSlotFirstEntry, 40 + 0x600);
       },
       1, 0},
      {"a map that would pass 439 keeps the pairs before",
       [](std::vector<std::uint8_t>& s, const BuiltImage& b) {
         s[layout::kSlotMapLength] = 254;
         std::fill(s.begin() + b.mapStart + 2, s.begin() + 440, 0x42);
       },
       0, (440 - 328) / 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    ImageContent content;
    content.records = {{"n", "\x02", {0x10}}};
    BuiltImage built = buildImage(content, diskZeroTable());
    std::vector<std::uint8_t> sector = built.sector;
    c.damage(sector, built);
    Machine m(sector);
    BootConfig config(m.disks);
    configureFromInstalledImage(config);
    EXPECT_EQ(config.entries.size(), c.entries);
    EXPECT_EQ(config.typeMap.size(), c.pairs);
    EXPECT_EQ(std::memcmp(config.disks[0].sector0.data(), sector.data(), 512), 0);
  }
}

// Hostile sectors: random bytes that carry the marker, biased towards the
// bytes that structure an image. Nothing may be read outside the copy (the
// sanitizer build checks), bytes 440..443 never matter, and every entry has
// one plan per disk.
TEST(FromImage, HostileSectorsAreOnlyData) {
  std::mt19937 random(20261208);
  const std::uint8_t structural[] = {0, 0, 0, 0x0D, 0x0D, 0x1C, 0x1C, 0x0A};
  int withEntries = 0;
  for (int round = 0; round < 5000; ++round) {
    std::vector<std::uint8_t> s(512);
    for (auto& b : s)
      b = random() % 3 ? std::uint8_t(random()) : structural[random() % sizeof structural];
    s[layout::kMarker] = 0x42;
    s[layout::kMarker + 1] = 0x4D;
    if (random() % 2) mbr::write16(s.data() + layout::kSlotFirstEntry, 0x600 + random() % 460);
    if (random() % 2) s[layout::kSlotDiskCount] = std::uint8_t(random() % 18);
    std::vector<std::uint8_t> other = s;
    for (int i = 440; i < 444; ++i) other[i] = std::uint8_t(random());

    std::string texts[2];
    for (int k = 0; k < 2; ++k) {
      MemoryDiskSystem disks;
      disks.addDisk((k ? other : s).data());
      disks.addDisk(s.data());
      BootConfig config(disks);
      configureFromInstalledImage(config);
      for (const BootEntry& e : config.entries) ASSERT_EQ(e.diskPlans.size(), s[37]);
      writeConfiguration(config, texts[k], true, true);
      if (k == 0 && !config.entries.empty()) ++withEntries;
    }
    ASSERT_EQ(texts[0], texts[1]) << "round " << round;
  }
  // Enough of them get as far as the entry records.
  EXPECT_GT(withEntries, 250);
}

}  // namespace
}  // namespace vornboot
