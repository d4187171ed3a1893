#include "driver/command_line.h"

#include <cstring>

namespace vornboot {

CommandLine readCommandLine(int argc, const char* const* argv, OptionStart optionStart) {
  CommandLine cl;
  if (argc < 2) return cl;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (arg[0] == '-' || (arg[0] == '/' && optionStart == OptionStart::DashOrSlash)) {
      switch (arg[1]) {
        case 'h':
        case 'H':
        case '?':
          cl.mode = ModeUsage;
          break;
        case 'b':
        case 'B':
          cl.mode = ModeBuild;
          for (const char* s = arg + 2; *s; ++s) {
            switch (*s) {
              case 'n':
              case 'N':
                cl.flags |= fromPartitionTable;
                break;
              case 's':
              case 'S':
                cl.flags |= printDefaults;
                break;
              case 'p':
              case 'P':
                cl.flags |= printPasswords;
                break;
              default:
                cl.mode = ModeUsage;
                return cl;
            }
          }
          break;
        case 'u':
        case 'U':
          cl.mode = ModeUninstall;
          break;
        case 'x':
        case 'X':
          cl.flags |= noInt13Extensions;
          break;
        default:
          cl.mode = ModeUsage;
          return cl;
      }
    } else {
      if (std::strlen(arg) > FixedText::kSize - 1) {
        cl.mode = ModeUsage;
        return cl;
      }
      cl.fileName.set(arg);
      if (cl.mode == ModeUsage) cl.mode = ModeInstall;
    }
  }
  return cl;
}

}  // namespace vornboot
