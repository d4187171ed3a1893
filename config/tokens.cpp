#include "config/tokens.h"

#include "config/keywords.h"

namespace vornboot {

const char* tokenName(Token token) {
  switch (token) {
    case Token::End:
      return "<end>";
    case Token::Bad:
      return "<bad>";
    case Token::Comma:
      return ",";
    case Token::LeftBrace:
      return "{";
    case Token::RightBrace:
      return "}";
    case Token::Number:
      return "<number>";
    case Token::String:
      return "<string>";
    default:
      break;
  }
  for (const Keyword& keyword : kKeywords) {
    if (keyword.token == token) return keyword.spelling;
  }
  return "<?>";
}

}  // namespace vornboot
