// The Win32 host: GetVersionExA tells the NT family apart, disks from
// disk_system_win32, files through the C runtime in text mode, which itself
// turns CR LF into LF, stops at Ctrl-Z and writes LF as CR LF.
#include <windows.h>

#include "disk/disk_system_win32.h"
#include "driver/file_io.h"
#include "driver/platform.h"

namespace vornboot {

namespace {

static_assert(sizeof(OSVERSIONINFOA) == 148);

class Win32Platform : public Platform {
 public:
  Win32Platform() : disks_(Win32DiskSystem::fromEnvironment()) {}

  bool isNtFamily() override {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    // A system that cannot say what it is is not taken for NT.
    if (!GetVersionExA(&version)) return false;
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
  }

  bool slashOptions() override { return true; }
  DiskSystem& disks() override { return *disks_; }

  std::unique_ptr<InputStream> openForReading(const char* name) override {
    std::FILE* f = std::fopen(name, "rt");
    if (!f) return nullptr;
    return std::make_unique<FileInput>(f, false);  // the runtime already did the conversion
  }

  // `ownerOnly` needs nothing here: on NT a new file takes the access rules its
  // folder passes on (in a user's own folders: that user and the administrators).
  std::unique_ptr<OutputFile> createForWriting(const char* name, bool /*ownerOnly*/) override {
    std::FILE* f = std::fopen(name, "wt");
    if (!f) return nullptr;
    return std::make_unique<FileOutput>(f);
  }

 private:
  std::unique_ptr<Win32DiskSystem> disks_;
};

}  // namespace

std::unique_ptr<Platform> makeHostPlatform() {
  return std::make_unique<Win32Platform>();
}

}  // namespace vornboot
