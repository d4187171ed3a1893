#pragma once
// Diagnostics of one configuration file: lines "name(line): error: text",
// "name(line): warning: text", "name: error: text" and "name: warning: text"
// (messages 400 to 403) on one stream, with the file's name first. Errors
// yield false and warnings true, so that a check can return the result of its
// report. The line is given at each report.

#include <cstdio>

#include "base/catalog.h"

namespace vornboot {

class Diagnostics {
 public:
  /// Reports about `fileName` (borrowed: it must outlive this object) to
  /// `stream`; fatal conditions go to `fatalStream`.
  Diagnostics(const char* fileName, std::FILE* stream, std::FILE* fatalStream = stderr)
      : fileName_(fileName), stream_(stream), fatalStream_(fatalStream) {}

  /// Prints `text` as an error: with the line when `line` is not negative
  /// (message 400), without it otherwise (402). False.
  bool printError(const char* text, long line) const;
  /// The same for warnings (messages 401 and 403). True.
  bool printWarning(const char* text, long line) const;

  /// Message `id` composed with `args`, as an error at `line`. False.
  template <MessageId id, typename... Args>
  bool error(unsigned line, Args... args) const {
    char text[kMessageBufferSize];
    composeMessage<id>(text, args...);
    return printError(text, long(line));
  }
  /// Message `id` as a warning at `line`. True.
  template <MessageId id>
  bool warning(unsigned line) const {
    char text[kMessageBufferSize];
    composeMessage<id>(text);
    return printWarning(text, long(line));
  }
  /// Message `id` composed with `args`, as an error of the whole file. False.
  template <MessageId id, typename... Args>
  bool fileError(Args... args) const {
    char text[kMessageBufferSize];
    composeMessage<id>(text, args...);
    return printError(text, -1);
  }
  /// Message `id` as a warning of the whole file. True.
  template <MessageId id>
  bool fileWarning() const {
    char text[kMessageBufferSize];
    composeMessage<id>(text);
    return printWarning(text, -1);
  }
  /// One of the parser's own texts as an error at `line`. False.
  bool parseError(BuiltinText text, unsigned line) const {
    return printError(builtinText(text), long(line));
  }
  /// A fatal condition of the reading: its text and a line end on the fatal stream.
  void fatal(BuiltinText text) const;

  const char* fileName() const { return fileName_; }
  std::FILE* stream() const { return stream_; }

 private:
  const char* fileName_;
  std::FILE* stream_;
  std::FILE* fatalStream_;
};

}  // namespace vornboot
