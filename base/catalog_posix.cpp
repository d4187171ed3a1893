// POSIX catalogue: the texts come from the table built from messages.def.
#include <cstring>

#include "base/catalog.h"

namespace vornboot {

bool loadMessage(unsigned id, char (&buffer)[kMessageBufferSize]) {
  std::size_t count = 0;
  const CatalogueEntry* entries = catalogueEntries(count);
  for (std::size_t i = 0; i < count; ++i) {
    if (entries[i].id == id) {
      std::strncpy(buffer, entries[i].text, kMessageBufferSize - 1);
      buffer[kMessageBufferSize - 1] = '\0';
      return true;
    }
  }
  buffer[0] = '\0';
  return false;
}

}  // namespace vornboot
