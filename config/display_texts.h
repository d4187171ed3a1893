#pragma once
// The four texts of a `set` block. One row per text says everything about it:
// its keyword and token in the language, the text the boot program shows when
// a configuration sets none, and the patch slots that point the program at
// it. The scanner, the grammar, the statement actions, the compiler, the
// writer and the reader of an installed sector all read this table.

#include <cstddef>

#include "base/sector_format.h"
#include "config/tokens.h"

namespace vornboot {

/// The texts in the order they stand in the boot sector.
enum class DisplayText : unsigned { PasswordPrompt, PasswordWrong, PasswordOk, DiskError };
inline constexpr std::size_t kDisplayTextCount = 4;

struct DisplayTextRow {
  DisplayText which;
  const char* keyword;
  Token token;
  const char* defaultText;
  unsigned slot;     ///< patch slot of the text's address
  unsigned chsSlot;  ///< a second slot, in the CHS boot step only; 0 when none
};

inline constexpr DisplayTextRow kDisplayTexts[kDisplayTextCount] = {
    {DisplayText::PasswordPrompt, "password_prompt", Token::PasswordPrompt, layout::kDefaultPrompt,
     layout::kSlotPromptText, 0},
    {DisplayText::PasswordWrong, "password_wrong", Token::PasswordWrong, layout::kDefaultWrong,
     layout::kSlotWrongText, 0},
    {DisplayText::PasswordOk, "password_ok", Token::PasswordOk, layout::kDefaultOk,
     layout::kSlotOkText, 0},
    {DisplayText::DiskError, "disk_error", Token::DiskError, layout::kDefaultDiskError,
     layout::kSlotDiskErrorText, layout::kSlotDiskErrorTextChs},
};

constexpr const DisplayTextRow& displayTextRow(DisplayText which) {
  return kDisplayTexts[static_cast<unsigned>(which)];
}

/// The row whose token is `token`, or null.
constexpr const DisplayTextRow* displayTextFor(Token token) {
  for (const DisplayTextRow& row : kDisplayTexts)
    if (row.token == token) return &row;
  return nullptr;
}

}  // namespace vornboot
