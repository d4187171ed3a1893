#pragma once
// The message catalogue. Texts are fetched by number into a 200-character
// buffer, as on Windows where they come from the program's string table; the
// POSIX build serves them from a table compiled from the same messages.def.

#include <cstddef>

namespace vornboot {

enum MessageId : unsigned {
#define MSG(name, id, text) msg##name = id,
#include "driver/messages.def"
#undef MSG
};

/// Size of every fetch and compose buffer, terminating NUL included.
inline constexpr std::size_t kMessageBufferSize = 200;

/// Copies the catalogue text of `id` into `buffer` (NUL-terminated, cut to
/// kMessageBufferSize - 1 characters). Returns false, with an empty buffer,
/// when the catalogue has no such number.
bool loadMessage(unsigned id, char (&buffer)[kMessageBufferSize]);

/// Every catalogue entry, in number order (for tests and the resource check).
struct CatalogueEntry {
  unsigned id;
  const char* text;
};
const CatalogueEntry* catalogueEntries(std::size_t& count);

}  // namespace vornboot
