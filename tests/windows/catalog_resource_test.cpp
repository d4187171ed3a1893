// Every text of the compiled-in catalogue comes back byte-exact through
// LoadStringA from the string table of this executable, the banner names the
// version, and numbers that the catalogue lacks fetch nothing. A mismatch
// here means windres read an escape differently from the C++ compiler.
#include <cstdio>
#include <cstring>

#include "base/catalog.h"
#include "tests/windows/check.h"

int main() {
  using namespace vornboot;
  wintest::Failures failures;

  std::size_t count = 0;
  const CatalogueEntry* entries = catalogueEntries(count);
  failures.check(count > 0, "catalogue is empty");
  for (std::size_t i = 0; i < count; ++i) {
    char buffer[kMessageBufferSize];
    std::memset(buffer, 0x55, sizeof buffer);
    char id[16];
    std::snprintf(id, sizeof id, "%u", entries[i].id);
    failures.check(loadMessage(entries[i].id, buffer), "loadMessage failed for", id);
    failures.check(std::strlen(entries[i].text) < kMessageBufferSize, "text too long:", id);
    failures.check(std::strcmp(buffer, entries[i].text) == 0, "text differs:", id);
  }

  // The banner's second line, which windres joins from literals and the
  // version, names the project's version (VORNBOOT_EXPECTED_VERSION, given
  // by CMake).
  char banner[kMessageBufferSize];
  failures.check(loadMessage(msgBanner, banner), "loadMessage failed for the banner");
  failures.check(std::strcmp(banner, "Vorn Boot Manager 2.0\nVornBoot32 " VORNBOOT_EXPECTED_VERSION
                                     ": password boot manager for the master boot record of "
                                     "disk 0.") == 0,
                 "banner:", banner);

  // Numbers between and around the catalogue's own fetch nothing.
  auto listed = [&](unsigned id) {
    for (std::size_t i = 0; i < count; ++i) {
      if (entries[i].id == id) return true;
    }
    return false;
  };
  for (unsigned id = 0; id <= 1000; ++id) {
    if (listed(id)) continue;
    char buffer[kMessageBufferSize] = "x";
    char text[16];
    std::snprintf(text, sizeof text, "%u", id);
    failures.check(!loadMessage(id, buffer) && buffer[0] == '\0', "fetched a missing id", text);
  }

  std::printf("%zu catalogue texts checked, %d failure(s)\n", count, failures.count);
  return failures.count;
}
