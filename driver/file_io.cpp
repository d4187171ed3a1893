#include "driver/file_io.h"

#include <cstring>

#if defined(_WIN32)
#include <io.h>
#define VB_ISATTY _isatty
#define VB_FILENO _fileno
#else
#include <unistd.h>
#define VB_ISATTY isatty
#define VB_FILENO fileno
#endif

namespace vornboot {

long FileInput::read(char* buffer, std::size_t size) {
  if (ended_ || size == 0) return 0;
  std::size_t n = std::fread(buffer, 1, size, file_);
  if (n == 0) return std::ferror(file_) ? -1 : 0;
  if (!textMode_) return long(n);

  if (const void* stop = std::memchr(buffer, 0x1A, n)) {
    n = std::size_t(static_cast<const char*>(stop) - buffer);
    ended_ = true;
  }
  std::size_t kept = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (buffer[i] == '\r') {
      if (i + 1 < n) {
        if (buffer[i + 1] == '\n') continue;  // the LF that follows is kept
      } else if (!ended_) {
        // The pair may straddle two blocks: look at the next byte.
        const int next = std::fgetc(file_);
        if (next == '\n') {
          buffer[kept++] = '\n';
          continue;
        }
        if (next != EOF) std::ungetc(next, file_);
      }
    }
    buffer[kept++] = buffer[i];
  }
  return long(kept);
}

ReplacingOutput::~ReplacingOutput() {
  if (!file_) return;
  std::fclose(file_);
  std::remove(temporary_.c_str());
}

bool ReplacingOutput::close() {
  const bool written = std::fflush(file_) == 0 && !std::ferror(file_) && sync_(file_);
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (written && closed && replace_(temporary_.c_str(), target_.c_str())) return true;
  std::remove(temporary_.c_str());
  return false;
}

bool FileInput::interactive() const {
  return VB_ISATTY(VB_FILENO(file_)) != 0;
}

}  // namespace vornboot
