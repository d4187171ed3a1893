#pragma once
// The configuration writer: prints a model in the configuration language,
// with comments naming each mapped type and describing each planned
// partition. Every literal it writes reads back to the same bytes.

#include <cstdint>
#include <string>

#include "base/catalog.h"
#include "config/model.h"

namespace vornboot {

/// Appends the configuration text of `config` to `out` with "\n" line ends:
/// the map block, every entry with its disk plans, and the set block.
/// Passwords are written only with `printPasswords` (else as ""); with
/// `printDefaults` the set block is always written and absent texts appear
/// with their default text.
void writeConfiguration(const BootConfig& config, std::string& out, bool printPasswords,
                        bool printDefaults);

/// Appends `keyword`, a blank and `text` as a quoted string.
void writeQuoted(std::string& out, const char* keyword, const char* text);

/// Appends the body of a quoted string holding `text` (without the outer
/// quotes): \a \b \n \r \" \\ escapes, \xNN for the other control bytes and
/// bytes from 128 up. No literal holds more than 124 characters once read
/// back, and no \xNN is followed by a hexadecimal digit in the same literal:
/// in both cases the literal is closed and the next one opened (" "), which
/// the grammar joins again.
void writeEscaped(std::string& out, const char* text);

/// Appends the body of a quoted string holding the password `scanCodes`
/// (keyboard scan codes, NUL-terminated) decoded to key characters; a code
/// that no key holds is written as (\xNN). When that form would not fit the
/// 125 characters of a joined string, raw codes share brackets so that the
/// password still reads back whole.
void writePassword(std::string& out, const char* scanCodes);

/// A size in the largest unit that keeps the value below 102400.
struct ScaledSize {
  std::uint32_t value;
  MessageId unit;  // msgUnitKb, msgUnitMb or msgUnitGb
};
/// Turns a count of 512-byte sectors into KB, MB or GB (truncating).
ScaledSize scaleSectors(std::uint32_t sectorCount);

}  // namespace vornboot
