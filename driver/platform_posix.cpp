// The POSIX host: counts as NT-family, disks from disk_system_posix, files
// read as Windows text mode would deliver them and written with LF.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "disk/disk_system_posix.h"
#include "driver/file_io.h"
#include "driver/platform.h"

namespace vornboot {

namespace {

bool syncFile(std::FILE* file) {
  return fsync(fileno(file)) == 0;
}

bool renameOver(const char* from, const char* to) {
  return std::rename(from, to) == 0;
}

// Names under /dev and /proc stand for devices and open descriptors
// (/dev/stdout, /dev/fd/3), even when what they lead to is a regular file.
bool namesADescriptor(const std::string& name) {
  return name.rfind("/dev/", 0) == 0 || name.rfind("/proc/", 0) == 0;
}

std::unique_ptr<OutputFile> openDirectly(const char* name, bool ownerOnly) {
  const mode_t mode = ownerOnly ? 0600 : 0666;
  const int fd = ::open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return nullptr;
  // An existing file keeps its mode on open: narrow it when it will hold
  // passwords (a device's mode is left alone).
  struct stat st;
  if (ownerOnly && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && fchmod(fd, 0600) != 0) {
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

// A temporary file in the target's folder, so that the rename that puts it
// in place stays on one file system; it takes the mode (and, where allowed,
// the owner) of the file it replaces.
std::unique_ptr<OutputFile> openBeside(const std::string& target, const struct stat* old,
                                       bool ownerOnly) {
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temporary = folder + "/." + base + ".vb-XXXXXX";
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return nullptr;
  mode_t mode = 0600;
  if (!ownerOnly) {
    const mode_t mask = umask(0);
    umask(mask);
    mode = old ? old->st_mode & 07777 : 0666 & ~mask;
  }
  if (old && (old->st_uid != geteuid() || old->st_gid != getegid())) {
    [[maybe_unused]] const int kept = fchown(fd, old->st_uid, old->st_gid);  // where allowed
  }
  std::FILE* f = fchmod(fd, mode) == 0 ? fdopen(fd, "wb") : nullptr;
  if (!f) {
    ::close(fd);
    unlink(temporary.c_str());
    return nullptr;
  }
  return std::make_unique<ReplacingOutput>(f, temporary, target, syncFile, renameOver);
}

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
    struct stat st;
    if (stat(name, &st) != 0) {
      struct stat link;
      // A new file; a link that leads nowhere yet is followed as open() would.
      if (lstat(name, &link) == 0 || namesADescriptor(name)) return openDirectly(name, ownerOnly);
      return openBeside(name, nullptr, ownerOnly);
    }
    if (S_ISDIR(st.st_mode)) return nullptr;
    if (!S_ISREG(st.st_mode) || namesADescriptor(name)) return openDirectly(name, ownerOnly);
    // The file must be writable as it is, as when it was truncated in place.
    if (access(name, W_OK) != 0) return nullptr;
    char* real = realpath(name, nullptr);  // through links to the file itself
    if (!real) return nullptr;
    const std::string target = real;
    std::free(real);
    return openBeside(target, &st, ownerOnly);
  }

  bool namesBlockDevice(const char* name) override {
    struct stat st;
    return stat(name, &st) == 0 && S_ISBLK(st.st_mode);
  }

 private:
  std::unique_ptr<PosixDiskSystem> disks_;
};

}  // namespace

std::unique_ptr<Platform> makeHostPlatform() {
  return std::make_unique<PosixPlatform>();
}

}  // namespace vornboot
