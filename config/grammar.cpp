#include "config/grammar.h"

#include <cstring>

#include "config/display_texts.h"

namespace vornboot {

namespace {

// A joined run of string literals holds at most this many characters.
constexpr std::size_t kMaxStrings = 125;

}  // namespace

int GrammarParser::run() {
  // Even the empty start of the file is reduced with a token read ahead.
  if (!shift()) return result_;
  for (;;) {
    bool ok;
    switch (token_) {
      case Token::End:
        // An end that a lexical error produced is not the end of a file.
        if (scanner_.endFromError()) {
          syntaxError();
          return result_;
        }
        return kParseAccepted;
      case Token::Map:
        ok = mapBlock();
        break;
      case Token::Entry:
        ok = entryBlock();
        break;
      case Token::Set:
        ok = setBlock();
        break;
      default:
        ok = syntaxError();
        break;
    }
    if (!ok) return result_;
  }
}

bool GrammarParser::shift() {
  token_ = scanner_.next();
  if (scanner_.fatal()) {
    result_ = kParseFatal;
    return false;
  }
  return true;
}

bool GrammarParser::expect(Token expected) {
  if (token_ != expected) return syntaxError();
  return shift();
}

bool GrammarParser::syntaxError() {
  diagnostics_.parseError(BuiltinText::ParseError, scanner_.currentLine());
  result_ = kParseFailed;
  return false;
}

bool GrammarParser::acted(bool ok) {
  if (!ok) result_ = kParseFailed;
  return ok;
}

bool GrammarParser::strings(char* out) {
  if (token_ != Token::String) return syntaxError();
  std::size_t length = std::strlen(scanner_.text());
  std::memcpy(out, scanner_.text(), length + 1);
  if (!shift()) return false;
  while (token_ == Token::String) {
    const char* more = scanner_.text();
    while (*more && length < kMaxStrings) out[length++] = *more++;
    out[length] = '\0';
    if (!shift()) return false;
  }
  return true;
}

bool GrammarParser::mapBlock() {
  if (!shift() || !expect(Token::LeftBrace)) return false;
  for (;;) {
    if (token_ == Token::RightBrace) return shift();
    if (!expect(Token::LeftBrace)) return false;
    if (token_ != Token::Number) return syntaxError();
    std::uint32_t originalId = scanner_.number();
    if (!shift() || !expect(Token::Comma)) return false;
    if (token_ != Token::Number) return syntaxError();
    std::uint32_t hiddenId = scanner_.number();
    if (!shift() || !expect(Token::RightBrace)) return false;
    if (!acted(handler_.mapPair(statementLine(), originalId, hiddenId))) return false;
  }
}

bool GrammarParser::entryBlock() {
  char name[kMaxStrings + 1];
  if (!shift() || !strings(name)) return false;
  handler_.entryHeader(name);
  if (!expect(Token::LeftBrace)) return false;
  for (;;) {
    switch (token_) {
      case Token::RightBrace:
        return shift() && acted(handler_.entryEnd(statementLine()));
      case Token::Password: {
        char text[kMaxStrings + 1];
        if (!shift() || !strings(text) || !acted(handler_.password(statementLine(), text))) {
          return false;
        }
        break;
      }
      case Token::Disk:
        if (!diskBlock()) return false;
        break;
      default:
        return syntaxError();
    }
  }
}

bool GrammarParser::diskBlock() {
  if (!shift()) return false;
  if (token_ != Token::Number) return syntaxError();
  std::uint32_t diskNumber = scanner_.number();
  if (!shift()) return false;
  // The header's messages carry the line of the token after the number.
  if (!acted(handler_.diskHeader(scanner_.currentLine(), diskNumber))) return false;
  if (!expect(Token::LeftBrace)) return false;
  for (;;) {
    PartitionState state;
    switch (token_) {
      case Token::RightBrace:
        return shift() && acted(handler_.diskEnd(statementLine()));
      case Token::Active:
        state = Active;
        break;
      case Token::Enable:
        state = Enable;
        break;
      case Token::Disable:
        state = Disable;
        break;
      default:
        return syntaxError();
    }
    if (!shift()) return false;
    if (token_ != Token::Number) return syntaxError();
    std::uint32_t partition = scanner_.number();
    if (!shift() || !acted(handler_.partitionState(statementLine(), partition, state))) {
      return false;
    }
  }
}

bool GrammarParser::setBlock() {
  if (!shift() || !expect(Token::LeftBrace)) return false;
  for (;;) {
    if (token_ == Token::RightBrace) return shift();
    if (token_ == Token::NoLogo) {
      if (!shift()) return false;
      handler_.noLogo();
      continue;
    }
    const DisplayTextRow* row = displayTextFor(token_);
    if (!row) return syntaxError();
    char text[kMaxStrings + 1];
    if (!shift() || !strings(text)) return false;
    handler_.displayText(row->which, text);
  }
}

}  // namespace vornboot
