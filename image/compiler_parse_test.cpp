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
using testing::makeSector0;
using testing::standardDiskZero;

bool parse(Machine& m, const std::string& text) {
  testing::CapturedStream stream;
  testing::StringInput input(text);
  const int result = parseConfiguration(*m.config, input, stream.file());
  EXPECT_EQ(stream.text(), "");
  return result == 0;
}

TEST(CompileParsedConfiguration, WorkedExample) {
  Machine m({standardDiskZero(), makeSector0(0x11111111, {{0x80, 0x07, 63, 500}})});
  ASSERT_TRUE(parse(m,
                    "map { {0x07, 0x17} {0x0B, 0x1B} }\n"
                    "entry \"Win\" {\n"
                    "  disk 0 { active 0 }\n"
                    "  disk 1 { disable 0 }\n"
                    "}\n"));
  ASSERT_TRUE(m.compile()) << m.diagnostics;
  const std::vector<std::uint8_t> data(m.image.begin() + 328, m.image.begin() + 342);
  EXPECT_EQ(data, (std::vector<std::uint8_t>{0x07, 0x17, 0x0B, 0x1B, 0x57, 0x69, 0x6E, 0x0D, 0x0A,
                                             0x00, 0x1C, 0x01, 0x10, 0x00}));
  EXPECT_EQ(m.word(34), 0x074C);
  EXPECT_EQ(m.image[130], 0x81);
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
