#include "disk/disk_system_win32.h"

#include <windows.h>
#include <winioctl.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "disk/image_mode.h"

namespace vornboot {

namespace {

static_assert(sizeof(HANDLE) == sizeof(DiskHandle));

constexpr char kDriveTemplate[] = "\\\\.\\PHYSICALDRIVE0";
constexpr char kSystemVolume[] = "\\\\.\\C:";
constexpr DWORD kDiskAccess = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kShareMode = FILE_SHARE_READ | FILE_SHARE_WRITE;

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

bool readAt(HANDLE handle, std::uint8_t* buffer, std::uint32_t sector) {
  if (handle == INVALID_HANDLE_VALUE || !seekTo(handle, sector)) return false;
  DWORD read = 0;
  return ReadFile(handle, buffer, mbr::kSectorSize, &read, nullptr) && read == mbr::kSectorSize;
}

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
    if (diskNumber >= paths_.size()) return kInvalidHandle;
    path = paths_[diskNumber];
  } else {
    // Past this a name would wrap round to a real drive's digit again.
    if (diskNumber > 0xFFu - '0') return kInvalidHandle;
    path = physicalDriveName(diskNumber);
  }
  return fromHandle(
      openPath(path.c_str(), mode == OpenMode::ReadOnly ? GENERIC_READ : kDiskAccess));
}

bool Win32DiskSystem::readSector(DiskHandle handle, std::uint8_t* buffer, std::uint32_t sector) {
  return readAt(toHandle(handle), buffer, sector);
}

bool Win32DiskSystem::writeSector(DiskHandle handle, const std::uint8_t* buffer,
                                  std::uint32_t sector) {
  const HANDLE h = toHandle(handle);
  if (h == INVALID_HANDLE_VALUE || !seekTo(h, sector)) return false;
  DWORD written = 0;
  if (!WriteFile(h, buffer, mbr::kSectorSize, &written, nullptr) || written != mbr::kSectorSize) {
    return false;
  }
  return FlushFileBuffers(h) != 0;
}

void Win32DiskSystem::close(DiskHandle handle) {
  if (toHandle(handle) != INVALID_HANDLE_VALUE) CloseHandle(toHandle(handle));
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
