#include "base/diagnostics.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/catalog.h"
#include "tests/support/captured_stream.h"

namespace vornboot {
namespace {

using testing::CapturedStream;

TEST(Diagnostics, LineFormats) {
  CapturedStream stream;
  const Diagnostics diagnostics("config.txt", stream.file());
  EXPECT_FALSE(diagnostics.parseError(BuiltinText::ParseError, 3));
  EXPECT_TRUE(diagnostics.warning<msgHiddenSameAsOriginal>(7));
  EXPECT_FALSE(diagnostics.error<msgDiskRedefinition>(0, 2u));
  EXPECT_FALSE(diagnostics.error<msgUnknownCharacter>(4, '='));
  EXPECT_FALSE(diagnostics.fileError<msgNoEntries>());
  EXPECT_TRUE(diagnostics.fileWarning<msgOnlyFirst8Entries>());
  EXPECT_FALSE(diagnostics.fileError<msgEmptyCannotBeActive>(1u, "Win"));
  EXPECT_EQ(stream.text(),
            "config.txt(3): error: parse error\n"
            "config.txt(7): warning: hidden partition ID same as original, ignored\n"
            "config.txt(0): error: disk 2 redefinition\n"
            "config.txt(4): error: unknown character '='\n"
            "config.txt: error: no entries defined\n"
            "config.txt: warning: only first 8 entries are meaningful\n"
            "config.txt: error: EMPTY partition 1 of entry \"Win\" cannot be active\n");
}

TEST(Diagnostics, FatalConditionsGoToTheirOwnStream) {
  CapturedStream stream, fatal;
  Diagnostics("c", stream.file(), fatal.file()).fatal(BuiltinText::ReadFailed);
  EXPECT_EQ(stream.text(), "");
  EXPECT_EQ(fatal.text(), "fatal error - reading the configuration input failed\n");
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

// Callers are held to the conversions column when they compile; the column
// itself must say what the text's conversions are.
TEST(Catalogue, ConversionsColumnMatchesEveryText) {
  std::size_t count = 0;
  const CatalogueEntry* entries = catalogueEntries(count);
  for (std::size_t i = 0; i < count; ++i) {
    std::string found;
    for (const char* p = entries[i].text; *p; ++p) {
      if (*p != '%') continue;
      ++p;
      while (*p && std::strchr("-+ #0123456789.", *p)) ++p;  // flags, width, precision
      if (*p != '%') found += *p;
    }
    EXPECT_EQ(found, entries[i].conversions) << entries[i].id << ": " << entries[i].text;
    EXPECT_STREQ(messageConversions(MessageId(entries[i].id)), entries[i].conversions);
  }
  static_assert(catalog_detail::argumentsFit<msgEmptyCannotBeActive, unsigned, const char*>());
  static_assert(!catalog_detail::argumentsFit<msgEmptyCannotBeActive, const char*, unsigned>());
  static_assert(!catalog_detail::argumentsFit<msgDiskRedefinition, int>());
  static_assert(!catalog_detail::argumentsFit<msgNoEntries, unsigned>());
}

TEST(Catalogue, BuiltinTexts) {
  EXPECT_STREQ(builtinText(BuiltinText::ParseError), "parse error");
}

}  // namespace
}  // namespace vornboot
