#pragma once
// The tokens of the configuration language, with the codes the scanner
// returns for them.

namespace vornboot {

enum class Token : int {
  End = 0,  ///< end of input
  Bad = 1,  ///< returned after an unexpected character or a string too long
  Comma = 44,
  LeftBrace = 123,
  RightBrace = 125,
  Set = 258,
  PasswordPrompt = 259,
  PasswordWrong = 260,
  PasswordOk = 261,
  DiskError = 262,
  NoLogo = 263,
  Map = 264,
  Entry = 265,
  Disk = 266,
  Password = 267,
  Active = 268,
  Enable = 269,
  Disable = 270,
  Number = 271,
  String = 272,
};

/// The token's spelling ("set", "{", ...), or a name in angle brackets for
/// the end, the bad token, numbers and strings.
const char* tokenName(Token token);

}  // namespace vornboot
