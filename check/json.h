#pragma once
// A small writer of one JSON document, indented by two blanks per level.
// Texts are byte strings: each byte is written as the character of the same
// number (U+0000 to U+00FF), escaped where JSON asks for it and from 0x7F up,
// so the document is ASCII whatever the bytes.

#include <cstdint>
#include <string>
#include <vector>

namespace vornboot::check {

class JsonWriter {
 public:
  explicit JsonWriter(std::string& out) : out_(out) {}

  void beginObject() { open('{'); }
  void endObject() { close('}'); }
  void beginArray() { open('['); }
  void endArray() { close(']'); }
  /// The key of the next member of the current object.
  void key(const char* name);

  void string(const std::string& text);
  void number(std::uint64_t value);
  void boolean(bool value);
  void null();

 private:
  void open(char bracket);
  void close(char bracket);
  void beforeValue();
  void newLine();
  void quoted(const std::string& text);

  std::string& out_;
  std::vector<bool> empty_;  // per open level: no member written yet
  bool afterKey_ = false;
};

}  // namespace vornboot::check
