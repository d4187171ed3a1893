#pragma once
// Files through the C runtime, for the platforms' text-mode file access.

#include <cstdio>
#include <string>
#include <utility>

#include "config/input_stream.h"
#include "driver/platform.h"

namespace vornboot {

/// Reads a FILE*. With `textMode` the bytes are turned into what a text-mode
/// read delivers on Windows: CR LF becomes LF (a lone CR stays) and the first
/// Ctrl-Z (0x1A) ends the input. Closes the file when destroyed.
class FileInput : public InputStream {
 public:
  FileInput(std::FILE* file, bool textMode) : file_(file), textMode_(textMode) {}
  ~FileInput() override { std::fclose(file_); }
  FileInput(const FileInput&) = delete;
  FileInput& operator=(const FileInput&) = delete;

  long read(char* buffer, std::size_t size) override;
  bool interactive() const override;

 private:
  std::FILE* file_;
  bool textMode_;
  bool ended_ = false;
};

/// Writes a FILE* as it is (the FILE* was opened in the platform's text mode).
class FileOutput : public OutputFile {
 public:
  explicit FileOutput(std::FILE* file) : file_(file) {}
  ~FileOutput() override {
    if (file_) std::fclose(file_);
  }
  FileOutput(const FileOutput&) = delete;
  FileOutput& operator=(const FileOutput&) = delete;

  bool write(const char* data, std::size_t size) override {
    return std::fwrite(data, 1, size, file_) == size;
  }
  bool close() override {
    const bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok && closed;
  }

 private:
  std::FILE* file_;
};

/// Writes a temporary file beside the target and, when closed, puts it in the
/// target's place; destroyed unclosed, or when closing fails, it removes the
/// temporary file and leaves the target as it was. The platform supplies how
/// a file reaches the disk and how one file replaces another.
class ReplacingOutput : public OutputFile {
 public:
  using Sync = bool (*)(std::FILE* file);
  using Replace = bool (*)(const char* from, const char* to);
  ReplacingOutput(std::FILE* file, std::string temporary, std::string target, Sync sync,
                  Replace replace)
      : file_(file),
        temporary_(std::move(temporary)),
        target_(std::move(target)),
        sync_(sync),
        replace_(replace) {}
  ~ReplacingOutput() override;
  ReplacingOutput(const ReplacingOutput&) = delete;
  ReplacingOutput& operator=(const ReplacingOutput&) = delete;

  bool write(const char* data, std::size_t size) override {
    return std::fwrite(data, 1, size, file_) == size;
  }
  bool close() override;

 private:
  std::FILE* file_;
  std::string temporary_;
  std::string target_;
  Sync sync_;
  Replace replace_;
};

}  // namespace vornboot
