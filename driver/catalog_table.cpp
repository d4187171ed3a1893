#include "driver/catalog.h"

namespace vornboot {

namespace {
const CatalogueEntry kEntries[] = {
#define MSG(name, id, text) {id, text},
#include "driver/messages.def"
#undef MSG
};
}  // namespace

const CatalogueEntry* catalogueEntries(std::size_t& count) {
  count = sizeof kEntries / sizeof kEntries[0];
  return kEntries;
}

}  // namespace vornboot
