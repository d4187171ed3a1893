#include "check/options.h"

#include <cstdlib>
#include <cstring>

namespace vornboot::check {

namespace {

/// A decimal number of `text` from `at`, up to the next `end` character
/// (or the end of the text); false when there is none or it is above `max`.
bool number(const char*& at, char end, unsigned max, unsigned& value) {
  value = 0;
  const char* p = at;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + unsigned(*p - '0');
    if (value > max) return false;
  }
  if (p == at || *p != end) return false;
  at = *p ? p + 1 : p;
  return true;
}

void fail(CheckOptions& o, MessageId id, const char* argument) {
  if (o.error) return;  // the first one counts
  o.error = id;
  o.errorArgument = argument;
}

void readGeometryOption(CheckOptions& o, const char* text) {
  const char* p = text;
  unsigned disk = 0;
  bench::Geometry g;
  if (!number(p, '=', 127, disk) || !readGeometry(p, g)) return fail(o, msgCheckBadGeometry, text);
  o.geometries[disk] = g;
}

}  // namespace

bool readGeometry(const char* text, bench::Geometry& geometry) {
  const char* p = text;
  unsigned c = 0, h = 0, s = 0;
  if (!number(p, '/', 1024, c) || !number(p, '/', 255, h) || !number(p, '\0', 63, s)) return false;
  if (c == 0 || h == 0 || s == 0) return false;
  geometry = bench::Geometry{std::uint16_t(c), std::uint8_t(h), std::uint8_t(s)};
  return true;
}

CheckOptions readCheckOptions(int argc, const char* const* argv) {
  CheckOptions o;
  bool optionsEnd = false;
  for (int i = 0; i < argc; ++i) {
    const char* a = argv[i];
    if (optionsEnd || a[0] != '-' || a[1] == '\0') {
      if (std::strlen(a) > kMaxFileName) {
        fail(o, msgCannotOpenFile, a);
      } else if (!o.fileName.empty()) {
        fail(o, msgCheckTwoFiles, a);
      } else {
        o.fileName = a;
      }
      continue;
    }
    if (a[1] == '-') {
      if (a[2] == '\0') {
        optionsEnd = true;
      } else if (std::strcmp(a, "--json") == 0) {
        o.json = true;
      } else if (std::strcmp(a, "--help") == 0) {
        o.usage = true;
      } else if (std::strncmp(a, "--geometry=", 11) == 0) {
        readGeometryOption(o, a + 11);
      } else if (std::strcmp(a, "--geometry") == 0 && i + 1 < argc) {
        readGeometryOption(o, argv[++i]);
      } else {
        fail(o, msgCheckBadOption, a);
      }
      continue;
    }
    for (const char* p = a + 1; *p; ++p) {
      if (*p == 'x') {
        o.chsStep = true;
      } else if (*p == 'i') {
        o.interactive = true;
      } else if (*p == 'h' || *p == '?') {
        o.usage = true;
      } else if (*p == 's') {
        o.save = true;
        if (p[1]) {
          o.saveFile = p + 1;
        } else if (i + 1 < argc) {
          o.saveFile = argv[++i];
        }
        if (o.saveFile.size() > kMaxFileName) fail(o, msgCannotCreateFile, o.saveFile.c_str());
        break;
      } else {
        fail(o, msgCheckBadOption, a);
        break;
      }
    }
  }
  if (o.interactive && o.json) fail(o, msgCheckJsonInteractive, "");
  return o;
}

}  // namespace vornboot::check
