#include "driver/diagnostics.h"

#include "driver/catalog.h"

namespace vornboot {

namespace {

void printLine(const char* sourceName, std::FILE* stream, const char* text, long line,
               unsigned withLine, unsigned withoutLine) {
  char format[kMessageBufferSize];
  if (line < 0) {
    loadMessage(withoutLine, format);
    std::fprintf(stream, format, sourceName, text);
  } else {
    loadMessage(withLine, format);
    std::fprintf(stream, format, sourceName, static_cast<unsigned>(line), text);
  }
}

}  // namespace

bool printError(const char* sourceName, std::FILE* stream, const char* text, long line) {
  printLine(sourceName, stream, text, line, msgFormatErrorLine, msgFormatError);
  return false;
}

bool printWarning(const char* sourceName, std::FILE* stream, const char* text, long line) {
  printLine(sourceName, stream, text, line, msgFormatWarningLine, msgFormatWarning);
  return true;
}

void composeMessageV(char* out, unsigned id, std::va_list args) {
  char format[kMessageBufferSize];
  loadMessage(id, format);
  std::vsnprintf(out, kMessageBufferSize, format, args);
}

void composeMessage(char* out, unsigned id, ...) {
  std::va_list args;
  va_start(args, id);
  composeMessageV(out, id, args);
  va_end(args);
}

bool fileError(const char* sourceName, std::FILE* stream, unsigned id, ...) {
  char text[kMessageBufferSize];
  std::va_list args;
  va_start(args, id);
  composeMessageV(text, id, args);
  va_end(args);
  return printError(sourceName, stream, text, -1);
}

bool fileWarning(const char* sourceName, std::FILE* stream, unsigned id) {
  char text[kMessageBufferSize];
  loadMessage(id, text);
  return printWarning(sourceName, stream, text, -1);
}

}  // namespace vornboot
