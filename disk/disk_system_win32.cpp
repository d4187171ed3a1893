#include "disk/disk_system_win32.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "disk/image_mode.h"
#include "disk/transfer.h"

namespace vornboot {

namespace {

static_assert(sizeof(HANDLE) == sizeof(DiskHandle));

constexpr char kDriveTemplate[] = "\\\\.\\PHYSICALDRIVE0";
constexpr char kSystemVolume[] = "\\\\.\\C:";
constexpr DWORD kDiskAccess = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kShareMode = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kMessageTextSize = 160;

// The 8-byte header of DRIVE_LAYOUT_INFORMATION and 32 partition records.
constexpr DWORD kLayoutBufferSize = 1032;
static_assert(sizeof(PARTITION_INFORMATION) == 32);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION, PartitionEntry) == 8);

HANDLE toHandle(DiskHandle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

DiskHandle fromHandle(HANDLE handle) {
  return reinterpret_cast<DiskHandle>(handle);
}

HANDLE openPath(const char* path, DWORD access) {
  return CreateFileA(path, access, kShareMode, nullptr, OPEN_EXISTING, 0, nullptr);
}

// The distance is one signed 32-bit value with no high part, so sectors from
// 4194304 on cannot be reached: their position never matches.
bool seekTo(HANDLE handle, std::uint32_t sector) {
  const std::uint64_t position = std::uint64_t(sector) * mbr::kSectorSize;
  const LONG distance = LONG(std::uint32_t(position));
  return SetFilePointer(handle, distance, nullptr, FILE_BEGIN) == position;
}

// One ReadFile or WriteFile call may move fewer bytes than asked: the rest
// follows from where the file pointer stands. `error` gets the failing
// call's GetLastError, or 0 when a call moved nothing.
template <typename Call>
std::size_t transferFully(std::size_t size, DWORD& error, Call call) {
  error = 0;
  return transferAll(size, [&](std::size_t done) {
    DWORD moved = 0;
    if (!call(done, DWORD(size - done), moved)) {
      error = GetLastError();
      return TransferStep{-1, false};
    }
    return TransferStep{long(moved), false};
  });
}

std::size_t readFully(HANDLE handle, void* buffer, std::size_t size, DWORD& error) {
  return transferFully(size, error, [&](std::size_t done, DWORD n, DWORD& moved) {
    return ReadFile(handle, static_cast<char*>(buffer) + done, n, &moved, nullptr) != 0;
  });
}

std::size_t writeFully(HANDLE handle, const void* buffer, std::size_t size, DWORD& error) {
  return transferFully(size, error, [&](std::size_t done, DWORD n, DWORD& moved) {
    return WriteFile(handle, static_cast<const char*>(buffer) + done, n, &moved, nullptr) != 0;
  });
}

bool readAt(HANDLE handle, std::uint8_t* buffer, std::uint32_t sector) {
  if (handle == INVALID_HANDLE_VALUE || !seekTo(handle, sector)) return false;
  DWORD error = 0;
  return readFully(handle, buffer, mbr::kSectorSize, error) == mbr::kSectorSize;
}

// The system's own words for an error, without the line end and full stop.
std::string systemText(DWORD error) {
  char text[kMessageTextSize] = "";
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           error, 0, text, sizeof text, nullptr);
  while (n > 0 &&
         (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ' || text[n - 1] == '.')) {
    text[--n] = '\0';
  }
  if (n == 0) std::snprintf(text, sizeof text, "error %lu", static_cast<unsigned long>(error));
  return text;
}

DiskError systemError(const std::string& path, DWORD error) {
  DiskError e{DiskError::System, path, systemText(error), 0, DiskError::NoRemedy};
  if (error == ERROR_ACCESS_DENIED || error == ERROR_PRIVILEGE_NOT_HELD) {
    e.remedy = DiskError::RunAsAdministrator;
  }
  return e;
}

// FILE_FLAG_NO_BUFFERING wants the buffer, the position and the length
// aligned to the sector size, which is at most this on the disks that exist.
constexpr DWORD kDirectBlock = 4096;

// The lock of lockExclusive: one byte far past anything a disk holds.
constexpr DWORD kLockOffsetHigh = 0x3FFFFFFF;
constexpr DWORD kLockOffsetLow = 0xFFFFFFFE;

bool deviceLayout(HANDLE handle, DriveLayout& layout) {
  alignas(DRIVE_LAYOUT_INFORMATION) unsigned char buffer[kLayoutBufferSize];
  DWORD returned = 0;
  if (!DeviceIoControl(handle, IOCTL_DISK_GET_DRIVE_LAYOUT, nullptr, 0, buffer, sizeof buffer,
                       &returned, nullptr)) {
    return false;
  }
  DRIVE_LAYOUT_INFORMATION header;
  std::memcpy(&header, buffer, offsetof(DRIVE_LAYOUT_INFORMATION, PartitionEntry));
  layout = DriveLayout{header.Signature, header.PartitionCount};
  return true;
}

// The layout request fails on a file: an image describes itself in sector 0.
bool imageLayout(HANDLE handle, DriveLayout& layout) {
  std::uint8_t sector0[mbr::kSectorSize];
  if (!readAt(handle, sector0, 0)) return false;
  layout = layoutOfSector0(sector0);
  return true;
}

}  // namespace

std::string physicalDriveName(unsigned diskNumber) {
  std::string name = kDriveTemplate;
  name.back() = char(name.back() + diskNumber);
  return name;
}

Win32DiskSystem::Win32DiskSystem() : imageMode_(false), systemVolume_(kSystemVolume) {}

Win32DiskSystem::Win32DiskSystem(std::vector<std::string> paths, std::string systemVolume)
    : imageMode_(true), paths_(std::move(paths)), systemVolume_(std::move(systemVolume)) {}

std::unique_ptr<Win32DiskSystem> Win32DiskSystem::fromEnvironment() {
  if (const char* list = std::getenv("VORNBOOT_DISKS")) {
    const char* volume = std::getenv("VORNBOOT_SYSTEM_VOLUME");
    return std::make_unique<Win32DiskSystem>(imageModePaths(list, ';'), volume ? volume : "");
  }
  return std::make_unique<Win32DiskSystem>();
}

DiskHandle Win32DiskSystem::open(unsigned diskNumber, OpenMode mode) {
  std::string path;
  if (imageMode_) {
    if (diskNumber >= paths_.size()) {
      lastError_ = DiskError{DiskError::NotListed, "", "", 0, DiskError::NoRemedy};
      return kInvalidHandle;
    }
    path = paths_[diskNumber];
  } else {
    // Past this a name would wrap round to a real drive's digit again.
    if (diskNumber > 0xFFu - '0') {
      lastError_ = DiskError{DiskError::NoDevices, "", "", 0, DiskError::NoRemedy};
      return kInvalidHandle;
    }
    path = physicalDriveName(diskNumber);
  }
  const HANDLE h = openPath(path.c_str(), mode == OpenMode::ReadOnly ? GENERIC_READ : kDiskAccess);
  if (h == INVALID_HANDLE_VALUE) {
    lastError_ = systemError(path, GetLastError());
    return kInvalidHandle;
  }
  openPaths_.emplace_back(fromHandle(h), path);
  return fromHandle(h);
}

bool Win32DiskSystem::failed(DiskHandle handle, unsigned long error, unsigned transferred) {
  if (error != 0) {
    lastError_ = systemError(path(handle), DWORD(error));
  } else {
    lastError_ = DiskError{DiskError::Short, path(handle), "", transferred, DiskError::NoRemedy};
  }
  return false;
}

bool Win32DiskSystem::readSector(DiskHandle handle, std::uint8_t* buffer, std::uint32_t sector) {
  const HANDLE h = toHandle(handle);
  if (h == INVALID_HANDLE_VALUE) return false;
  if (!seekTo(h, sector)) return failed(handle, GetLastError(), 0);
  DWORD error = 0;
  const std::size_t done = readFully(h, buffer, mbr::kSectorSize, error);
  return done == mbr::kSectorSize || failed(handle, error, unsigned(done));
}

bool Win32DiskSystem::writeSector(DiskHandle handle, const std::uint8_t* buffer,
                                  std::uint32_t sector) {
  const HANDLE h = toHandle(handle);
  if (h == INVALID_HANDLE_VALUE) return false;
  if (!seekTo(h, sector)) return failed(handle, GetLastError(), 0);
  DWORD error = 0;
  const std::size_t done = writeFully(h, buffer, mbr::kSectorSize, error);
  if (done != mbr::kSectorSize) return failed(handle, error, unsigned(done));
  return FlushFileBuffers(h) != 0 || failed(handle, GetLastError(), mbr::kSectorSize);
}

bool Win32DiskSystem::readSectorUncached(DiskHandle handle, std::uint8_t* buffer,
                                         std::uint32_t sector) {
  const std::string name = path(handle);
  const HANDLE direct = name.empty() ? INVALID_HANDLE_VALUE
                                     : CreateFileA(name.c_str(), GENERIC_READ, kShareMode, nullptr,
                                                   OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr);
  if (direct != INVALID_HANDLE_VALUE) {
    void* block = VirtualAlloc(nullptr, kDirectBlock, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    const std::uint64_t position = std::uint64_t(sector) * mbr::kSectorSize;
    const std::uint64_t start = position & ~std::uint64_t(kDirectBlock - 1);
    LONG high = LONG(start >> 32);
    DWORD error = 0;
    // A file that ends inside the block delivers what it holds.
    const bool positioned = block && SetFilePointer(direct, LONG(std::uint32_t(start)), &high,
                                                    FILE_BEGIN) == DWORD(std::uint32_t(start));
    const std::size_t done = positioned ? readFully(direct, block, kDirectBlock, error) : 0;
    const std::size_t needed = std::size_t(position - start) + mbr::kSectorSize;
    if (done >= needed) {
      std::memcpy(buffer, static_cast<const char*>(block) + (position - start), mbr::kSectorSize);
    }
    if (block) VirtualFree(block, 0, MEM_RELEASE);
    CloseHandle(direct);
    if (done >= needed) return true;
  }
  return readSector(handle, buffer, sector);
}

void Win32DiskSystem::close(DiskHandle handle) {
  if (toHandle(handle) != INVALID_HANDLE_VALUE) CloseHandle(toHandle(handle));
  openPaths_.erase(std::remove_if(openPaths_.begin(), openPaths_.end(),
                                  [handle](const auto& p) { return p.first == handle; }),
                   openPaths_.end());
}

std::string Win32DiskSystem::path(DiskHandle handle) const {
  for (const auto& [h, path] : openPaths_) {
    if (h == handle) return path;
  }
  return "";
}

LockResult Win32DiskSystem::lockExclusive(DiskHandle handle) {
  OVERLAPPED at = {};
  at.Offset = kLockOffsetLow;
  at.OffsetHigh = kLockOffsetHigh;
  if (LockFileEx(toHandle(handle), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                 &at)) {
    return LockResult::Locked;
  }
  return GetLastError() == ERROR_LOCK_VIOLATION ? LockResult::Busy : LockResult::Unsupported;
}

unsigned Win32DiskSystem::logicalSectorSize(DiskHandle handle) {
  if (imageMode_) return mbr::kSectorSize;
  DISK_GEOMETRY geometry = {};
  DWORD returned = 0;
  if (!DeviceIoControl(toHandle(handle), IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry,
                       sizeof geometry, &returned, nullptr)) {
    return 0;
  }
  return unsigned(geometry.BytesPerSector);
}

bool Win32DiskSystem::isSameFile(DiskHandle handle, const char* path) {
  const HANDLE named = CreateFileA(path, 0, kShareMode | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (named == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION a, b;
  const bool same = GetFileInformationByHandle(named, &a) &&
                    GetFileInformationByHandle(toHandle(handle), &b) &&
                    a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                    a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
  CloseHandle(named);
  return same;
}

bool Win32DiskSystem::holdsSystemVolume(DiskHandle handle) {
  if (systemVolume_.empty()) return false;  // image mode without a stand-in for C:
  const auto layoutOf = imageMode_ ? imageLayout : deviceLayout;
  const HANDLE volume = openPath(systemVolume_.c_str(), GENERIC_READ);
  if (volume == INVALID_HANDLE_VALUE) return false;
  DriveLayout volumeLayout;
  const bool volumeKnown = layoutOf(volume, volumeLayout);
  CloseHandle(volume);
  DriveLayout diskLayout;
  if (!volumeKnown || !layoutOf(toHandle(handle), diskLayout)) return false;
  return volumeLayout == diskLayout;
}

}  // namespace vornboot
