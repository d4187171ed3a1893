#include "check/json.h"

#include <cstdio>

namespace vornboot::check {

void JsonWriter::newLine() {
  out_ += '\n';
  out_.append(2 * empty_.size(), ' ');
}

void JsonWriter::beforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (empty_.empty()) return;  // the document itself
  if (!empty_.back()) out_ += ',';
  empty_.back() = false;
  newLine();
}

void JsonWriter::open(char bracket) {
  beforeValue();
  out_ += bracket;
  empty_.push_back(true);
}

void JsonWriter::close(char bracket) {
  const bool wasEmpty = empty_.back();
  empty_.pop_back();
  if (!wasEmpty) newLine();
  out_ += bracket;
  if (empty_.empty()) out_ += '\n';
}

void JsonWriter::key(const char* name) {
  beforeValue();
  quoted(name);
  out_ += ": ";
  afterKey_ = true;
}

void JsonWriter::string(const std::string& text) {
  beforeValue();
  quoted(text);
}

void JsonWriter::quoted(const std::string& text) {
  out_ += '"';
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out_ += '\\';
      out_ += char(c);
    } else if (c == '\n') {
      out_ += "\\n";
    } else if (c == '\r') {
      out_ += "\\r";
    } else if (c == '\t') {
      out_ += "\\t";
    } else if (c < 0x20 || c >= 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", unsigned(c));
      out_ += escape;
    } else {
      out_ += char(c);
    }
  }
  out_ += '"';
}

void JsonWriter::number(std::uint64_t value) {
  beforeValue();
  out_ += std::to_string(value);
}

void JsonWriter::boolean(bool value) {
  beforeValue();
  out_ += value ? "true" : "false";
}

void JsonWriter::null() {
  beforeValue();
  out_ += "null";
}

}  // namespace vornboot::check
