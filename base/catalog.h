#pragma once
// The message catalogue. Texts are fetched by number into a 200-character
// buffer, as on Windows where they come from the program's string table; the
// POSIX build serves them from a table compiled from the same messages.def.
//
// A text with arguments is composed by composeMessage<id>(out, args...),
// which refuses, when it compiles, arguments that do not fit the text's
// conversions (the conversions column of messages.def).

#include <cstddef>
#include <type_traits>

namespace vornboot {

enum MessageId : unsigned {
#define MSG(name, id, conversions, text) msg##name = id,
#define BUILTIN(name, text)
#include "base/messages.def"
#undef BUILTIN
#undef MSG
};

/// The parser's and the scanner's own texts (not in the string table).
enum class BuiltinText {
#define MSG(name, id, conversions, text)
#define BUILTIN(name, text) name,
#include "base/messages.def"
#undef BUILTIN
#undef MSG
};
const char* builtinText(BuiltinText text);

/// Size of every fetch and compose buffer, terminating NUL included.
inline constexpr std::size_t kMessageBufferSize = 200;

/// Copies the catalogue text of `id` into `buffer` (NUL-terminated, cut to
/// kMessageBufferSize - 1 characters). Returns false, with an empty buffer,
/// when the catalogue has no such number.
bool loadMessage(unsigned id, char (&buffer)[kMessageBufferSize]);

/// The conversions of message `id`'s text, in order: 's' a text, 'u' an
/// unsigned number, 'X' one in hexadecimal, 'c' a character; null for a
/// number the catalogue lacks.
constexpr const char* messageConversions(MessageId id) {
  switch (id) {
#define MSG(name, id, conversions, text) \
  case msg##name:                        \
    return conversions;
#define BUILTIN(name, text)
#include "base/messages.def"
#undef BUILTIN
#undef MSG
  }
  return nullptr;
}

namespace catalog_detail {
template <typename T>
constexpr char conversionOf() {
  using U = std::decay_t<T>;
  if constexpr (std::is_same_v<U, const char*> || std::is_same_v<U, char*>) return 's';
  if constexpr (std::is_same_v<U, unsigned>) return 'u';
  if constexpr (std::is_same_v<U, char>) return 'c';
  return '?';
}
template <MessageId id, typename... Args>
constexpr bool argumentsFit() {
  const char* expected = messageConversions(id);
  const char given[] = {conversionOf<Args>()..., '\0'};
  if (!expected) return false;
  std::size_t i = 0;
  for (; expected[i] && given[i]; ++i) {
    const char e = expected[i] == 'X' ? 'u' : expected[i];  // an unsigned number in hexadecimal
    if (e != given[i]) return false;
  }
  return expected[i] == given[i];
}
void composeUnchecked(char* out, unsigned id, ...);
}  // namespace catalog_detail

/// Fetches message `id` and composes it with `args`, in the manner of printf,
/// into `out` (always NUL-terminated).
template <MessageId id, typename... Args>
void composeMessage(char (&out)[kMessageBufferSize], Args... args) {
  static_assert(catalog_detail::argumentsFit<id, Args...>(),
                "the arguments do not fit the conversions of this message");
  if constexpr (sizeof...(Args) == 0) {
    loadMessage(id, out);
  } else {
    // A character goes through the variable arguments as an int.
    catalog_detail::composeUnchecked(out, id, args...);
  }
}

/// Every catalogue entry, in number order (for tests and the resource check).
struct CatalogueEntry {
  unsigned id;
  const char* conversions;
  const char* text;
};
const CatalogueEntry* catalogueEntries(std::size_t& count);

}  // namespace vornboot
