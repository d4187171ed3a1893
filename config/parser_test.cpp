#include "config/parser.h"

#include <gtest/gtest.h>

#include <string>

#include "config/grammar.h"
#include "config/parse_fixture.h"
#include "tests/support/captured_stream.h"
#include "tests/support/string_input.h"

namespace vornboot {
namespace {

using testing::CapturedStream;
using testing::StringInput;

// Writes one line per action into the diagnostic stream, with the line the
// scanner stands on, so that a test sees actions and messages in their order;
// the line an action's messages would carry follows after "!".
class Recorder : public StatementHandler {
 public:
  Recorder(std::FILE* out, const Scanner& scanner) : out_(out), scanner_(scanner) {}

  bool mapPair(unsigned line, std::uint32_t o, std::uint32_t h) override {
    return note("pair " + std::to_string(o) + " " + std::to_string(h), line);
  }
  void entryHeader(const char* name) override { note(std::string("entry ") + name); }
  bool entryEnd(unsigned line) override { return note("entry end", line); }
  bool password(unsigned line, const char* text) override {
    return note(std::string("password ") + text, line);
  }
  bool diskHeader(unsigned line, std::uint32_t n) override {
    return note("disk " + std::to_string(n), line);
  }
  bool diskEnd(unsigned line) override { return note("disk end", line); }
  bool partitionState(unsigned line, std::uint32_t k, PartitionState state) override {
    return note("state " + std::to_string(int(state)) + " " + std::to_string(k), line);
  }
  void displayText(DisplayText which, const char* text) override {
    note("text " + std::to_string(int(which)) + " " + text);
  }
  void noLogo() override { note("no_logo"); }

  std::string failOn;  // an action whose note starts so fails

 private:
  bool note(const std::string& what, long line = -1) {
    std::fprintf(out_, "> %s @%u", what.c_str(), scanner_.currentLine());
    if (line >= 0) std::fprintf(out_, " !%ld", line);
    std::fprintf(out_, "\n");
    return failOn.empty() || what.rfind(failOn, 0) != 0;
  }
  std::FILE* out_;
  const Scanner& scanner_;
};

struct GrammarCase {
  const char* name;
  std::string input;
  const char* output;  // action notes and diagnostics, in order
  int result;
  const char* failOn = "";
};

const GrammarCase kGrammarCases[] = {
    {"empty file", "", "", 0},
    {"only comments", "// a\n/* b */\n", "", 0},
    {"worked example", "map {\n{0x06, 0x16}\n}\nentry \"DOS\" {\ndisk 0 { active 0 }\n}\n",
     "> pair 6 22 @3 !2\n"
     "> entry DOS @4\n"
     "> disk 0 @5 !5\n"
     "> state 2 0 @5 !4\n"
     "> disk end @6 !5\n"
     "> entry end @7 !6\n",
     0},
    {"empty blocks", "map { }\nset { }\nentry \"a\" { disk 0 { } }\n",
     "> entry a @3\n> disk 0 @3 !3\n> disk end @3 !2\n> entry end @4 !3\n", 0},
    {"items in any order and number",
     "entry \"e\" { password \"p\" disk 1 { enable 1 disable 2 active 3 } password \"q\" }",
     "> entry e @1\n> password p @1 !0\n> disk 1 @1 !1\n> state 1 1 @1 !0\n> state 3 2 @1 !0\n"
     "> state 2 3 @1 !0\n> disk end @1 !0\n> password q @1 !0\n> entry end @1 !0\n",
     0},
    {"set items",
     "set { password_prompt \"p\" \"q\" no_logo password_wrong \"w\"\n"
     "password_ok \"o\" disk_error \"d\" }",
     "> text 0 pq @1\n> no_logo @1\n> text 1 w @2\n> text 2 o @2\n> text 3 d @2\n", 0},
    {"pair without its braces", "map { 6, 22 }", "t.cfg(1): error: parse error\n", 1},
    {"joined name", "entry \"a\" \"b\" { }", "> entry ab @1\n> entry end @1 !0\n", 0},
    {"header runs before the error", "entry \"a\" disk 0 { }",
     "> entry a @1\nt.cfg(1): error: parse error\n", 1},
    {"missing closing brace", "map {\n{1,2}\n", "> pair 1 2 @3 !2\nt.cfg(3): error: parse error\n",
     1},
    {"comma between pairs", "map { {1,2}, {3,4} }",
     "> pair 1 2 @1 !0\nt.cfg(1): error: parse error\n", 1},
    {"disk header before the error", "entry \"a\" { disk 9 }",
     "> entry a @1\n> disk 9 @1 !1\nt.cfg(1): error: parse error\n", 1},
    {"number where a string belongs", "entry 5 { }", "t.cfg(1): error: parse error\n", 1},
    {"text item without text", "set { password_ok }", "t.cfg(1): error: parse error\n", 1},
    {"state without number", "entry \"a\" { disk 0 { active } }",
     "> entry a @1\n> disk 0 @1 !1\nt.cfg(1): error: parse error\n", 1},
    {"failing action ends the parse without parse error", "map {\n{1,1}\n{2,3}\n}",
     "> pair 1 1 @3 !2\n", 1, "pair 1 1"},
    {"failing disk header", "entry \"a\" { disk 0 { } }", "> entry a @1\n> disk 0 @1 !1\n", 1,
     "disk 0"},
    // Lexical errors end the parse: complete constructs still act first.
    {"unexpected character after a block", "entry \"a\" { disk 0 { active 0 } } @",
     "> entry a @1\n> disk 0 @1 !1\n> state 2 0 @1 !0\n> disk end @1 !0\n"
     "t.cfg(1): error: unexpected token '@'\n> entry end @1 !0\nt.cfg(1): error: parse error\n",
     1},
    {"string too long in an entry", "entry \"" + std::string(125, 'x') + "\" { }",
     "t.cfg(1): error: string too long\nt.cfg(1): error: parse error\n", 1},
    {"broken string in a block", "entry \"a\" {\npassword \"x\n\" }",
     "> entry a @1\nt.cfg(2): error: newline in string\nt.cfg(3): error: parse error\n", 1},
    // A broken or open string between blocks is not an end of the file.
    {"broken string between blocks", "map { }\n\"abc\nset { }",
     "t.cfg(2): error: newline in string\nt.cfg(3): error: parse error\n", 1},
    {"open string between blocks", "map { }\n\"abc", "t.cfg(2): error: parse error\n", 1},
    {"open string at the start", "\"", "t.cfg(1): error: parse error\n", 1},
    {"open block comment between blocks", "map { }\n/* abc\n", "", 0},
    {"joined strings stop at 125 characters",
     "entry \"" + std::string(100, 'a') + "\" \"" + std::string(100, 'b') + "\" { }", nullptr, 0},
};

TEST(Grammar, ActionsTokensAndLines) {
  for (const GrammarCase& c : kGrammarCases) {
    CapturedStream out;
    const Diagnostics diagnostics("t.cfg", out.file());
    StringInput input(c.input);
    Scanner scanner(input, diagnostics);
    Recorder recorder(out.file(), scanner);
    recorder.failOn = c.failOn;
    GrammarParser parser(scanner, recorder, diagnostics);
    EXPECT_EQ(parser.run(), c.result) << c.name;
    std::string expected = c.output ? c.output
                                    : "> entry " + std::string(100, 'a') + std::string(25, 'b') +
                                          " @1\n> entry end @1 !0\n";
    EXPECT_EQ(out.text(), expected) << c.name;
  }
}

TEST(Grammar, FailingReadStopsAtOnce) {
  // The pair is complete, but the read of the token after it fails: nothing
  // more happens, not even the pair's action.
  CapturedStream out;
  CapturedStream fatal;
  const Diagnostics diagnostics("t.cfg", out.file(), fatal.file());
  std::string text = "map { {1,2}\n}";
  StringInput input(text);
  input.failAt(text.size() - 2);
  Scanner scanner(input, diagnostics);
  Recorder recorder(out.file(), scanner);
  GrammarParser parser(scanner, recorder, diagnostics);
  EXPECT_EQ(parser.run(), kParseFatal);
  EXPECT_EQ(out.text(), "");
  EXPECT_NE(fatal.text(), "");
}

TEST(ParseConfiguration, ResetsTheModelAndReportsToTheGivenStream) {
  BootConfig config;
  config.typeMap.push_back({1, 0x11, FixedText("FAT12")});
  config.entries.emplace_back().diskPlans[2];
  config.display.setNoLogo();
  StringInput input("\n\nmap { {0x100, 1}\n}\n");
  CapturedStream out;
  EXPECT_EQ(parseConfiguration(config, input, Diagnostics("config.txt", out.file())), kParseFailed);
  EXPECT_EQ(out.text(), "config.txt(3): error: partition ID exceeds 0xFF\n");
  EXPECT_EQ(config.typeMap.size(), 0u);
  EXPECT_EQ(config.usedDiskCount(), 0u);
  EXPECT_FALSE(config.display.noLogo);
}

TEST(ParseConfiguration, FailingReadGivesResult3) {
  BootConfig config;
  StringInput input("map { }");
  input.failAt(3);
  CapturedStream out, fatal;
  EXPECT_EQ(parseConfiguration(config, input, Diagnostics("c", out.file(), fatal.file())),
            kParseFatal);
  EXPECT_EQ(out.text(), "");
  EXPECT_EQ(fatal.text(), "fatal error - reading the configuration input failed\n");
}

}  // namespace
}  // namespace vornboot
