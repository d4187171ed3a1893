#pragma once
// What the driver needs of the host: the platform check, the disks and
// text-mode files. platform_posix.cpp and platform_win32.cpp provide the real
// ones; tests provide fakes.

#include <cstddef>
#include <memory>

#include "config/input_stream.h"
#include "disk/disk_device.h"

namespace vornboot {

/// A file being written in text mode (line feeds become the platform's line end).
class OutputFile {
 public:
  /// Destroyed without a successful close(), a file written beside its
  /// target leaves the target as it was.
  virtual ~OutputFile() = default;
  /// False when not every byte could be written.
  virtual bool write(const char* data, std::size_t size) = 0;
  /// Flushes and closes, and puts a file written beside its target in the
  /// target's place; false when any of that failed (the target is then as it
  /// was). Called once.
  virtual bool close() = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;
  /// True on an NT-family system (every POSIX host counts as one).
  virtual bool isNtFamily() = 0;
  /// True when an argument that begins with '/' is an option (Windows); false
  /// where it begins an absolute file name (POSIX).
  virtual bool slashOptions() = 0;
  /// The disks; nothing is opened until the inventory asks.
  virtual DiskSystem& disks() = 0;
  /// Opens a file for reading in text mode; null when it cannot be opened.
  virtual std::unique_ptr<InputStream> openForReading(const char* name) = 0;
  /// Opens `name` for writing in text mode; null on failure. A regular file,
  /// or a new one, is written to a temporary file in the same folder, which
  /// close() renames over it, so that a failed write leaves the old file as it
  /// was; a character device or a pipe (/dev/stdout) is written directly.
  /// With `ownerOnly` the file is readable by its owner alone (it holds
  /// passwords); otherwise an existing file keeps its mode.
  virtual std::unique_ptr<OutputFile> createForWriting(const char* name, bool ownerOnly) = 0;
  /// True when `name` names a block device (on Windows: any \\.\ device
  /// path), which the build mode never writes.
  virtual bool namesBlockDevice(const char* name) = 0;
};

/// The host's platform (POSIX or Win32, chosen at build time).
std::unique_ptr<Platform> makeHostPlatform();

}  // namespace vornboot
