#pragma once
// The keywords of the configuration language: the words of the statements
// and, from the display-text table, the four texts of the set block.

#include <array>
#include <cstddef>

#include "config/display_texts.h"
#include "config/tokens.h"

namespace vornboot {

struct Keyword {
  const char* spelling;
  Token token;
};

inline constexpr Keyword kStatementKeywords[] = {
    {"set", Token::Set},       {"no_logo", Token::NoLogo}, {"map", Token::Map},
    {"entry", Token::Entry},   {"disk", Token::Disk},      {"password", Token::Password},
    {"active", Token::Active}, {"enable", Token::Enable},  {"disable", Token::Disable},
};

inline constexpr std::size_t kKeywordCount = std::size(kStatementKeywords) + kDisplayTextCount;

inline constexpr std::array<Keyword, kKeywordCount> kKeywords = [] {
  std::array<Keyword, kKeywordCount> all{};
  std::size_t n = 0;
  for (const Keyword& k : kStatementKeywords) all[n++] = k;
  for (const DisplayTextRow& row : kDisplayTexts) all[n++] = {row.keyword, row.token};
  return all;
}();

}  // namespace vornboot
