// The Win32 host: GetVersionExA tells the NT family apart, disks from
// disk_system_win32, files through the C runtime in text mode, which itself
// turns CR LF into LF, stops at Ctrl-Z and writes LF as CR LF.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>

#include "disk/disk_system_win32.h"
#include "driver/file_io.h"
#include "driver/platform.h"

namespace vornboot {

namespace {

static_assert(sizeof(OSVERSIONINFOA) == 148);

bool syncFile(std::FILE* file) {
  return _commit(_fileno(file)) == 0;
}

bool moveOver(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// What `name` is now: a character device or a pipe (CON, NUL, a named pipe)
// is written directly; a file, or nothing yet, beside its target.
enum class Existing { Nothing, File, Folder, Stream };

Existing whatIs(const char* name) {
  const HANDLE h = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Existing::Nothing;
  const DWORD type = GetFileType(h);
  BY_HANDLE_FILE_INFORMATION info;
  const bool folder = type == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
                      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  CloseHandle(h);
  if (type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE) return Existing::Stream;
  return folder ? Existing::Folder : Existing::File;
}

std::unique_ptr<OutputFile> openBeside(const char* name) {
  const std::string target = name;
  for (unsigned n = 0; n < 100; ++n) {
    const std::string temporary =
        target + ".vb-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(n);
    const HANDLE h = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_TEXT);
    std::FILE* f = fd < 0 ? nullptr : _fdopen(fd, "wt");
    if (!f) {
      if (fd < 0) {
        CloseHandle(h);
      } else {
        _close(fd);
      }
      DeleteFileA(temporary.c_str());
      return nullptr;
    }
    return std::make_unique<ReplacingOutput>(f, temporary, target, syncFile, moveOver);
  }
  return nullptr;
}

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
    switch (whatIs(name)) {
      case Existing::Folder:
        return nullptr;
      case Existing::Stream:
        break;
      case Existing::File:
      case Existing::Nothing:
        return openBeside(name);
    }
    std::FILE* f = std::fopen(name, "wt");
    if (!f) return nullptr;
    return std::make_unique<FileOutput>(f);
  }

  // \\.\PHYSICALDRIVE0, \\.\C:, \\.\Harddisk0Partition1 and the like, with
  // either kind of slash.
  bool namesBlockDevice(const char* name) override {
    auto slash = [](char c) { return c == '\\' || c == '/'; };
    return slash(name[0]) && slash(name[1]) && name[2] == '.' && slash(name[3]);
  }

 private:
  std::unique_ptr<Win32DiskSystem> disks_;
};

}  // namespace

std::unique_ptr<Platform> makeHostPlatform() {
  return std::make_unique<Win32Platform>();
}

}  // namespace vornboot
