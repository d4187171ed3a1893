#pragma once
// Building blocks of the configuration model: the common root with its virtual
// destructor, the 128-byte text, and the owning array that keeps insertion
// order.

#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

namespace vornboot {

class ModelObject {
 public:
  virtual ~ModelObject() = default;
};

/// A NUL-terminated text of at most 127 characters in a 128-byte buffer.
class FixedText : public ModelObject {
 public:
  static constexpr std::size_t kSize = 128;

  FixedText() { text_[0] = '\0'; }
  explicit FixedText(const char* source) { set(source); }

  /// Copies `source` (null gives the empty text); longer sources are cut to
  /// 127 characters.
  void set(const char* source) {
    std::size_t n = source ? strnlen(source, kSize - 1) : 0;
    if (n) std::memcpy(text_, source, n);
    text_[n] = '\0';
  }
  /// Copies exactly `length` bytes (cut to 127); the text may hold any byte
  /// but stops at the first 0 for every reader.
  void set(const char* source, std::size_t length) {
    if (length > kSize - 1) length = kSize - 1;
    if (length) std::memcpy(text_, source, length);
    text_[length] = '\0';
  }
  const char* c_str() const { return text_; }
  std::size_t length() const { return strnlen(text_, kSize); }
  bool empty() const { return text_[0] == '\0'; }
  bool operator==(const FixedText& other) const { return std::strcmp(text_, other.text_) == 0; }

 private:
  char text_[kSize];
};

/// An array that owns its elements, in insertion order. Elements are added as
/// heap copies of a prototype and only ever removed all at once.
template <typename T>
class OwnedArray : public ModelObject {
 public:
  OwnedArray() = default;
  OwnedArray(const OwnedArray& other) {
    for (const auto& e : other.items_) append(*e);
  }
  OwnedArray& operator=(const OwnedArray& other) {
    if (this != &other) {
      clear();
      for (const auto& e : other.items_) append(*e);
    }
    return *this;
  }

  /// Appends a heap copy of `prototype`; returns the new element.
  T& append(const T& prototype) {
    items_.push_back(std::make_unique<T>(prototype));
    return *items_.back();
  }
  void clear() { items_.clear(); }

  std::size_t count() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  T& operator[](std::size_t i) { return *items_[i]; }
  const T& operator[](std::size_t i) const { return *items_[i]; }
  T* last() { return items_.empty() ? nullptr : items_.back().get(); }
  const T* last() const { return items_.empty() ? nullptr : items_.back().get(); }

  template <typename F>
  void forEach(F&& f) const {
    for (const auto& e : items_) f(*e);
  }

 private:
  std::vector<std::unique_ptr<T>> items_;
};

}  // namespace vornboot
