#include "driver/diagnostics.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "driver/catalog.h"

namespace vornboot {
namespace {

// Captures what a reporting function prints to its stream.
template <typename F>
std::string capture(F&& report) {
  std::FILE* f = std::tmpfile();
  report(f);
  std::rewind(f);
  std::string text;
  for (int c; (c = std::fgetc(f)) != EOF;) text += char(c);
  std::fclose(f);
  return text;
}

TEST(Diagnostics, LineFormats) {
  bool result = true;
  EXPECT_EQ(capture([&](std::FILE* f) { result = printError("config.txt", f, "parse error", 3); }),
            "config.txt(3): error: parse error\n");
  EXPECT_FALSE(result);
  EXPECT_EQ(capture([&](std::FILE* f) {
              result =
                  printWarning("config.txt", f, "hidden partition ID same as original, ignored", 7);
            }),
            "config.txt(7): warning: hidden partition ID same as original, ignored\n");
  EXPECT_TRUE(result);
  EXPECT_EQ(capture([&](std::FILE* f) { result = fileError("config.txt", f, msgNoEntries); }),
            "config.txt: error: no entries defined\n");
  EXPECT_FALSE(result);
  EXPECT_EQ(capture([&](std::FILE* f) { fileWarning("c", f, msgOnlyFirst8Entries); }),
            "c: warning: only first 8 entries are meaningful\n");
  EXPECT_EQ(capture([&](std::FILE* f) { fileError("c", f, msgEmptyCannotBeActive, 1u, "Win"); }),
            "c: error: EMPTY partition 1 of entry \"Win\" cannot be active\n");
}

TEST(Catalogue, NumbersAndTextsThatOthersRelyOn) {
  char text[kMessageBufferSize];
  ASSERT_TRUE(loadMessage(101, text));
  EXPECT_EQ(std::string(text).substr(0, 22), "Vorn Boot Manager 2.0\n");
  ASSERT_TRUE(loadMessage(102, text));
  EXPECT_STREQ(text,
               "Usage:\tVornBoot32 [options] <config_file> [options]\n\nOptions:\n\t-h\thelp\n"
               "\t-b[n|s]\tbuild <config_file> by current configuration\n\t-u\tuninstall\n"
               "\t-x\tdo not use Int 13 Extensions");
  ASSERT_TRUE(loadMessage(105, text));
  EXPECT_STREQ(text, "Current configuration stored into file \"%s\"");
  EXPECT_FALSE(loadMessage(106, text));
  EXPECT_STREQ(text, "");

  // Every text fits the 200-character buffers, and numbers are unique.
  std::size_t count = 0;
  const CatalogueEntry* entries = catalogueEntries(count);
  for (std::size_t i = 0; i < count; ++i) {
    EXPECT_LT(std::string(entries[i].text).size(), kMessageBufferSize) << entries[i].id;
    EXPECT_FALSE(std::string(entries[i].text).empty()) << entries[i].id;
    if (i) {
      EXPECT_LT(entries[i - 1].id, entries[i].id);
    }
  }
}

}  // namespace
}  // namespace vornboot
