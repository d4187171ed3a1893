#include "base/diagnostics.h"

namespace vornboot {

namespace {

void printLine(const char* fileName, std::FILE* stream, const char* text, long line,
               MessageId withLine, MessageId withoutLine) {
  char format[kMessageBufferSize];
  if (line < 0) {
    loadMessage(withoutLine, format);
    std::fprintf(stream, format, fileName, text);
  } else {
    loadMessage(withLine, format);
    std::fprintf(stream, format, fileName, static_cast<unsigned>(line), text);
  }
}

}  // namespace

bool Diagnostics::printError(const char* text, long line) const {
  printLine(fileName_, stream_, text, line, msgFormatErrorLine, msgFormatError);
  return false;
}

bool Diagnostics::printWarning(const char* text, long line) const {
  printLine(fileName_, stream_, text, line, msgFormatWarningLine, msgFormatWarning);
  return true;
}

void Diagnostics::fatal(BuiltinText text) const {
  std::fprintf(fatalStream_, "%s\n", builtinText(text));
}

}  // namespace vornboot
