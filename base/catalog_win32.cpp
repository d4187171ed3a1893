// Win32 catalogue: the texts come from the program's own string table
// (vornboot32.rc, built from messages.def).
#include <windows.h>

#include "base/catalog.h"

namespace vornboot {

bool loadMessage(unsigned id, char (&buffer)[kMessageBufferSize]) {
  // LoadStringA cuts the text to fit and always ends it with a NUL.
  if (LoadStringA(nullptr, id, buffer, int(kMessageBufferSize)) > 0) return true;
  buffer[0] = '\0';
  return false;
}

}  // namespace vornboot
