#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vornboot {
namespace {

struct Case {
  std::vector<const char*> args;  // after the program name
  std::int32_t mode;
  std::uint32_t flags;
  const char* fileName;
};

CommandLine read(const std::vector<const char*>& args,
                 OptionStart start = OptionStart::DashOrSlash) {
  std::vector<const char*> argv{"VornBoot32"};
  argv.insert(argv.end(), args.begin(), args.end());
  return readCommandLine(int(argv.size()), argv.data(), start);
}

void expectCases(const std::vector<Case>& cases, OptionStart start) {
  for (const Case& c : cases) {
    std::string where;
    for (const char* a : c.args) where += std::string(a) + " ";
    const CommandLine cl = read(c.args, start);
    EXPECT_EQ(cl.mode, c.mode) << where;
    EXPECT_EQ(cl.flags, c.flags) << where;
    EXPECT_STREQ(cl.fileName.c_str(), c.fileName) << where;
  }
}

// The Windows rule: options begin with '-' or '/'.
TEST(CommandLine, ReadsModesFlagsAndFileNames) {
  const std::vector<Case> cases = {
      {{}, ModeUsage, 0, ""},
      {{"-b"}, ModeBuild, 0, ""},
      {{"-bq", "config.txt"}, ModeUsage, 0, ""},  // an unknown sub-letter ends the reading
      {{"-xyz", "config.txt"}, ModeInstall, noInt13Extensions, "config.txt"},
      {{"config.txt", "-h"}, ModeUsage, 0, "config.txt"},
      {{"-h", "config.txt"}, ModeInstall, 0, "config.txt"},
      {{"-u", "config.txt"}, ModeUninstall, 0, "config.txt"},
      {{"-b", "config.txt", "-u"}, ModeUninstall, 0, "config.txt"},
      {{"-bnsp", "out.txt"},
       ModeBuild,
       fromPartitionTable | printDefaults | printPasswords,
       "out.txt"},
      {{"/BNSP", "out.txt"},
       ModeBuild,
       fromPartitionTable | printDefaults | printPasswords,
       "out.txt"},
      {{"-", "config.txt"}, ModeUsage, 0, ""},  // an option character alone
      {{"/", "-u"}, ModeUsage, 0, ""},
      {{"-?"}, ModeUsage, 0, ""},
      {{"/H", "a", "b"}, ModeInstall, 0, "b"},  // the last file name wins
      {{"-x", "-bs", "o.txt"}, ModeBuild, noInt13Extensions | printDefaults, "o.txt"},
      {{"-q", "config.txt"}, ModeUsage, 0, ""},
      {{"-ubn", "f"}, ModeUninstall, 0, "f"},  // only b reads further letters
      {{"-bn", "f", "-bp"}, ModeBuild, fromPartitionTable | printPasswords, "f"},
  };
  expectCases(cases, OptionStart::DashOrSlash);
}

// The POSIX rule: '/' begins a file name, so an absolute path given to -b
// is never read as another option (as "/u" once turned a build into an
// uninstall), and an absolute path alone means install.
TEST(CommandLine, OnPosixHostsOnlyADashBeginsAnOption) {
  const std::vector<Case> cases = {
      {{"-bp", "/usr/local/backup.txt"}, ModeBuild, printPasswords, "/usr/local/backup.txt"},
      {{"/home/me/boot.conf"}, ModeInstall, 0, "/home/me/boot.conf"},
      {{"-x", "/u"}, ModeInstall, noInt13Extensions, "/u"},
      {{"/", "-u"}, ModeUninstall, 0, "/"},
      {{"/BNSP", "out.txt"}, ModeInstall, 0, "out.txt"},
      {{"/h", "-h"}, ModeUsage, 0, "/h"},
      {{"-bnsp", "out.txt"},
       ModeBuild,
       fromPartitionTable | printDefaults | printPasswords,
       "out.txt"},
      {{"-", "config.txt"}, ModeUsage, 0, ""},
      {{"-bq", "/config.txt"}, ModeUsage, 0, ""},
  };
  expectCases(cases, OptionStart::DashOnly);
}

TEST(CommandLine, RefusesAFileNameThatDoesNotFit) {
  // Cutting the name would name another file, which build mode would overwrite.
  const std::string longest(127, 'f');
  EXPECT_EQ(read({longest.c_str()}).mode, ModeInstall);
  EXPECT_STREQ(read({longest.c_str()}).fileName.c_str(), longest.c_str());
  const std::string tooLong(128, 'f');
  EXPECT_EQ(read({"-b", tooLong.c_str()}).mode, ModeUsage);
}

}  // namespace
}  // namespace vornboot
