#include <cstdarg>
#include <cstdio>

#include "base/catalog.h"
#include "base/version.h"

namespace vornboot {

namespace {
const CatalogueEntry kEntries[] = {
#define MSG(name, id, conversions, text) {id, conversions, text},
#define BUILTIN(name, text)
#include "base/messages.def"
#undef BUILTIN
#undef MSG
};

const char* const kBuiltinTexts[] = {
#define MSG(name, id, conversions, text)
#define BUILTIN(name, text) text,
#include "base/messages.def"
#undef BUILTIN
#undef MSG
};
}  // namespace

const CatalogueEntry* catalogueEntries(std::size_t& count) {
  count = sizeof kEntries / sizeof kEntries[0];
  return kEntries;
}

const char* builtinText(BuiltinText text) {
  return kBuiltinTexts[static_cast<unsigned>(text)];
}

void catalog_detail::composeUnchecked(char* out, unsigned id, ...) {
  char format[kMessageBufferSize];
  loadMessage(id, format);
  std::va_list args;
  va_start(args, id);
  std::vsnprintf(out, kMessageBufferSize, format, args);
  va_end(args);
}

}  // namespace vornboot
