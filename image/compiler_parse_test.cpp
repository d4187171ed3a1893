// The compiler fed by the parser: what a configuration file becomes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/parser.h"
#include "image/compiler.h"
#include "image/image_test_support.h"
#include "tests/support/string_input.h"

namespace vornboot {
namespace {

using testing::Machine;
namespace worked_example = testing::worked_example;
using testing::makeSector0;
using testing::standardDiskZero;

bool parse(Machine& m, const std::string& text) {
  testing::CapturedStream stream;
  testing::StringInput input(text);
  const int result = parseConfiguration(*m.config, input, Diagnostics("boot.cfg", stream.file()));
  EXPECT_EQ(stream.text(), "");
  return result == 0;
}

TEST(CompileParsedConfiguration, WorkedExampleGivesTheSectorOfTheModelBuiltDirectly) {
  Machine parsed(worked_example::disks());
  ASSERT_TRUE(parse(parsed, worked_example::kText));
  ASSERT_TRUE(parsed.compile()) << parsed.diagnostics;
  Machine built(worked_example::disks());
  worked_example::build(built);
  ASSERT_TRUE(built.compile());
  EXPECT_EQ(parsed.image, built.image);
  const auto at = parsed.image.begin() + worked_example::kDataAt;
  EXPECT_EQ(std::vector<std::uint8_t>(at, at + 14), worked_example::kData);
}

TEST(CompileParsedConfiguration, RawEnterCodeInPasswordIsRefused) {
  // The parser stores raw scan codes unchecked; a 0x1C among them would end
  // the password early at boot, so the compiler must refuse the entry.
  Machine m({standardDiskZero()});
  ASSERT_TRUE(parse(m,
                    "map { {0x07, 0x17} }\n"
                    "entry \"Win\" { password \"a(\\x1C)b\" disk 0 { active 0 } }\n"));
  ASSERT_EQ(m.config->entries[0].password.length(), 3u);
  EXPECT_FALSE(m.compile());
  EXPECT_EQ(m.diagnostics,
            "boot.cfg: error: password of entry \"Win\" holds the Enter key code 0x1C\n");
}

TEST(CompileParsedConfiguration, EmptyFileReportsMissingEntries) {
  Machine m({standardDiskZero()});
  ASSERT_TRUE(parse(m, ""));
  EXPECT_FALSE(m.compile());
  EXPECT_EQ(m.diagnostics, "boot.cfg: error: no entries defined\n");
}

}  // namespace
}  // namespace vornboot
