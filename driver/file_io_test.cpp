#include "driver/file_io.h"

#include <gtest/gtest.h>

#include <string>

namespace vornboot {
namespace {

std::FILE* fileWith(const std::string& bytes) {
  std::FILE* f = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::rewind(f);
  return f;
}

// Reads everything in blocks of `block` bytes.
std::string readAll(const std::string& bytes, std::size_t block, bool textMode = true) {
  FileInput input(fileWith(bytes), textMode);
  std::string out;
  char buffer[64];
  for (long n; (n = input.read(buffer, block)) > 0;) out.append(buffer, std::size_t(n));
  return out;
}

TEST(FileInput, DeliversWhatWindowsTextModeDelivers) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"map {\r\n}\r\n", "map {\n}\n"},
      {"a\rb\r", "a\rb\r"},  // a lone carriage return stays
      {"a\r\r\nb", "a\r\nb"},
      {"set{}\x1A"
       "garbage",
       "set{}"},  // Ctrl-Z ends the input
      {"\x1A", ""},
      {"x\r\x1A\n", "x\r"},
  };
  for (const auto& c : cases) {
    for (std::size_t block : {1u, 2u, 3u, 64u}) {  // pairs straddling block ends too
      EXPECT_EQ(readAll(c.in, block), c.out) << "block " << block << " of " << c.in;
    }
  }
  EXPECT_EQ(readAll("a\r\n\x1A", 64, false), "a\r\n\x1A");
}

}  // namespace
}  // namespace vornboot
