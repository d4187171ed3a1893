#pragma once
// The interactive mode: the boot screen in the user's terminal as the boot
// program draws it, the user's keys as the keys of a PC keyboard.

#include <string>
#include <vector>

#include "bench/keyboard.h"
#include "check/findings.h"
#include "check/terminal.h"

namespace vornboot::check {

/// An entry of the boot sector: its name and its password's scan codes.
struct EntryKeys {
  std::string name;
  std::string scanCodes;
};

enum class KeyMeaning {
  Key,     ///< `key` is a key of the PC keyboard
  Ignore,  ///< no key of the password table
  End,     ///< Ctrl-C or Ctrl-D: the user ends the check
};

/// The PC key of a byte typed in the terminal: Enter (CR or LF), Backspace
/// (DEL or BS), or a character of the password key table with its scan code.
KeyMeaning keyOfByte(unsigned char byte, bench::Key& key);

/// Boots `setup` in the terminal and lets the user type until the boot
/// program hands over or stops, or the user ends the check (or the input
/// ends). The findings carry the name of the entry whose password was typed
/// before the last Enter (first match, as the boot program chooses).
EntryFindings runInteractive(const TrialSetup& setup, const std::vector<EntryKeys>& entries,
                             Terminal& terminal);

}  // namespace vornboot::check
