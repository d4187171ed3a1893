// Hostile input never crashes the program nor makes it read or write outside
// its buffers (run under AddressSanitizer in CI): mutated configuration texts
// go through the parser, the compiler and, when they compile, the read-back;
// random sectors that carry the installed marker go through the reader and
// the writer.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "config/model.h"
#include "config/parser.h"
#include "image/compiler.h"
#include "recover/from_image.h"
#include "recover/writer.h"
#include "tests/support/memory_disks.h"
#include "tests/support/string_input.h"

namespace vornboot {
namespace {

using testing::makeSector0;
using testing::MemoryDiskSystem;
using testing::StringInput;

const char* const kSeeds[] = {
    "map {\n\t{0x07, 0x17}\n\t{0x0C, 0x1C}\n\t{0x83, 0x93}\n}\n"
    "entry \"Windows\" {\n\tpassword \"letmein\"\n\tdisk 0 {\n\t\tactive\t0\n\t\tdisable\t2\n\t}\n"
    "\tdisk 1 {\n\t\tenable\t0\n\t}\n}\n"
    "entry \"Linux\" {\n\tpassword \"\"\n\tdisk 0 {\n\t\tactive\t2\n\t\tdisable\t0\n\t}\n}\n"
    "set {\n\tpassword_prompt \"\\nPassword: \"\n\tpassword_wrong \"Try again\\r\"\n"
    "\tno_logo\n}\n",
    "map{{6,0x16}{0x0B,0x1B}}/* c */entry \"a\" \"b\"{password \"(\\x01\\x7f)x\" disk 0{active 0}}"
    "entry \"\\x41\\101\\n\"{password \"q\" disk 2{disable 1}disk 0{active 1 enable 2}}",
    "set{disk_error \"E\\r\\n\" password_ok \"\" no_logo}map{}entry \"x\"{disk 0{active 0}}"
    "map{{7,0x17}}// end\n",
};

// Bytes that matter to the scanner, chosen more often than others.
const char kInteresting[] = "{}\",\\/*\n\r\x1a\0x0123456789abcdefpsmdn_ \t()=";

std::string mutate(std::string text, std::mt19937& rng) {
  const int edits = 1 + int(rng() % 3);
  for (int e = 0; e < edits; ++e) {
    const std::size_t at = text.empty() ? 0 : rng() % text.size();
    const char c = (rng() % 3) ? kInteresting[rng() % (sizeof kInteresting - 1)] : char(rng());
    switch (rng() % 5) {
      case 0:
        if (!text.empty()) text[at] = c;
        break;
      case 1:
        text.insert(at, 1, c);
        break;
      case 2:
        if (!text.empty()) text.erase(at, 1 + rng() % 8);
        break;
      case 3:  // repeat a piece: long names, long strings, many entries
        if (!text.empty()) text.insert(at, text.substr(at, 1 + rng() % 200));
        break;
      default:
        text.insert(at, std::string(1 + rng() % 300, c));
        break;
    }
  }
  return text;
}

struct Disks {
  Disks() {
    system.addDisk(makeSector0(0xA5A5A5A5, {{0x80, 0x07, 63, 1000},
                                            {0, 0x0C, 2000, 100},
                                            {0, 0x83, 3000, 100},
                                            {0, 0x05, 4000, 100}})
                       .data());
    system.addDisk(makeSector0(0x5A5A5A5A, {{0, 0x0B, 63, 1000}}).data());
  }
  MemoryDiskSystem system;
};

TEST(Robustness, MutatedConfigurationsNeverCrashAndWhatInstallsReadsBack) {
  std::FILE* null = std::fopen("/dev/null", "w");
  ASSERT_NE(null, nullptr);
  const Diagnostics sink("fuzz.txt", null, null);
  std::mt19937 rng(20261208);
  int accepted = 0, compiled = 0;
  for (int i = 0; i < 20000; ++i) {
    const std::string text = mutate(kSeeds[i % std::size(kSeeds)], rng);
    Disks disks;
    BootConfig config(disks.system);
    StringInput input(text, 1 + rng() % 64);
    if (parseConfiguration(config, input, sink) != kParseAccepted) continue;
    ++accepted;
    auto image = std::make_unique<std::uint8_t[]>(512);  // exact size: ASan sees any overrun
    if (!CompileImage(config, image.get(), sink, rng() % 2)) continue;
    ++compiled;

    // Installed on a fresh disk 0, read back, written with passwords: the
    // text is a valid configuration again.
    Disks installed;
    std::copy(image.get(), image.get() + 512, installed.system.sector(0));
    BootConfig recovered(installed.system);
    configureFromInstalledImage(recovered);
    std::string written;
    writeConfiguration(recovered, written, true, rng() % 2);
    BootConfig again(installed.system);
    StringInput back(written);
    EXPECT_EQ(parseConfiguration(again, back, sink), kParseAccepted) << text << "\n---\n"
                                                                     << written;
  }
  std::fclose(null);
  // The mutations must still reach the deep end of the pipeline.
  EXPECT_GT(accepted, 1000);
  EXPECT_GT(compiled, 500);
}

TEST(Robustness, RandomSectorsWithTheMarkerAreOnlyData) {
  std::mt19937 rng(4242);
  for (int i = 0; i < 3000; ++i) {
    std::vector<std::uint8_t> sector(512);
    for (auto& b : sector) b = std::uint8_t(rng() % 4 ? rng() : rng() % 3 == 0 ? 0 : 0x1C);
    sector[444] = 'B';
    sector[445] = 'M';
    if (i % 2) sector[37] = std::uint8_t(rng() % 17);
    MemoryDiskSystem system;
    system.addDisk(sector.data());
    BootConfig config(system);
    configureFromInstalledImage(config);
    std::string written;
    writeConfiguration(config, written, true, true);
    EXPECT_FALSE(written.empty());
  }
}

}  // namespace
}  // namespace vornboot
