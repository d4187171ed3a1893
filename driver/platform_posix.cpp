// The POSIX host: counts as NT-family, disks from disk_system_posix, files
// read as Windows text mode would deliver them and written with LF.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "disk/disk_system_posix.h"
#include "driver/file_io.h"
#include "driver/platform.h"

namespace vornboot {

namespace {

class PosixPlatform : public Platform {
 public:
  PosixPlatform() : disks_(PosixDiskSystem::fromEnvironment()) {}

  bool isNtFamily() override { return true; }
  bool slashOptions() override { return false; }
  DiskSystem& disks() override { return *disks_; }

  std::unique_ptr<InputStream> openForReading(const char* name) override {
    std::FILE* f = std::fopen(name, "rb");
    if (!f) return nullptr;
    return std::make_unique<FileInput>(f, true);
  }

  std::unique_ptr<OutputFile> createForWriting(const char* name, bool ownerOnly) override {
    const mode_t mode = ownerOnly ? 0600 : 0666;
    const int fd = ::open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) return nullptr;
    // An existing file keeps its mode on open: narrow it when it will hold passwords.
    if (ownerOnly && fchmod(fd, 0600) != 0) {
      ::close(fd);
      return nullptr;
    }
    std::FILE* f = fdopen(fd, "wb");
    if (!f) {
      ::close(fd);
      return nullptr;
    }
    return std::make_unique<FileOutput>(f);
  }

 private:
  std::unique_ptr<PosixDiskSystem> disks_;
};

}  // namespace

std::unique_ptr<Platform> makeHostPlatform() {
  return std::make_unique<PosixPlatform>();
}

}  // namespace vornboot
