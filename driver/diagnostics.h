#pragma once
// Diagnostic lines: "%s(%u): error: %s\n" and friends, with the configuration
// file name first. Errors yield false, warnings true, so that a caller can
// return the result of the report directly.

#include <cstdarg>
#include <cstdio>

namespace vornboot {

/// Prints `text` as an error of `sourceName` to `stream`: with the line when
/// `line` is not negative (message 400), without it otherwise (402). False.
bool printError(const char* sourceName, std::FILE* stream, const char* text, long line);

/// The same for warnings (messages 401 and 403). True.
bool printWarning(const char* sourceName, std::FILE* stream, const char* text, long line);

/// Fetches catalogue message `id` and composes it with the arguments, in the
/// manner of printf, into `out` (200 characters, always NUL-terminated).
void composeMessage(char* out, unsigned id, ...);
void composeMessageV(char* out, unsigned id, std::va_list args);

/// File-level error: composes message `id` with the arguments and prints it
/// without a line (message 402). False.
bool fileError(const char* sourceName, std::FILE* stream, unsigned id, ...);

/// File-level warning with catalogue text `id` (message 403). True.
bool fileWarning(const char* sourceName, std::FILE* stream, unsigned id);

}  // namespace vornboot
