#pragma once
// A folder of its own for a test, under $TMPDIR (or /tmp), removed with
// everything in it when the test ends. POSIX tests only.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace vornboot::testing {

class TempFolder {
 public:
  TempFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vb-test-XXXXXX";
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  /// The folder itself, or `name` inside it.
  std::string path(const std::string& name = "") const {
    return name.empty() ? path_ : path_ + "/" + name;
  }
  /// Writes `bytes` to the file `name` (its folders are made) and returns its path.
  std::string write(const std::string& name, const std::string& bytes) const {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path(name)).parent_path(), ignored);
    std::ofstream(path(name), std::ios::binary) << bytes;
    return path(name);
  }
  /// The contents of the file `name` ("" when it cannot be read).
  std::string read(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  /// Makes the symbolic link `name` (its folders too) pointing at `target`.
  void link(const std::string& name, const std::string& target) const {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path(name)).parent_path(), ignored);
    std::filesystem::create_symlink(target, path(name), ignored);
  }

 private:
  std::string path_;
};

}  // namespace vornboot::testing
