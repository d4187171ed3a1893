#include "config/parse_session.h"

#include <cstdarg>

#include "driver/catalog.h"
#include "driver/diagnostics.h"

namespace vornboot {

ParseSession::ParseSession(BootConfig& target, std::FILE* stream)
    : config(target), diagnostics(stream ? stream : stdout), fatalStream(stderr) {}

bool ParseSession::actionError(unsigned id, ...) {
  char text[kMessageBufferSize];
  std::va_list args;
  va_start(args, id);
  composeMessageV(text, id, args);
  va_end(args);
  return printError(config.sourceName.c_str(), diagnostics, text, long(currentLine) - 1);
}

bool ParseSession::actionWarning(unsigned id) {
  char text[kMessageBufferSize];
  loadMessage(id, text);
  return printWarning(config.sourceName.c_str(), diagnostics, text, long(currentLine) - 1);
}

bool ParseSession::parseError(const char* text) {
  return printError(config.sourceName.c_str(), diagnostics, text, long(currentLine));
}

}  // namespace vornboot
