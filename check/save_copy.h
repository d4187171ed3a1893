#pragma once
// The copy of disk 0's sector 0 that -s saves before anything else.

#include <cstdint>

namespace vornboot::check {

enum class SaveResult {
  Saved,
  Exists,  ///< the file is there already (a disk, a device, an earlier copy): not touched
  Failed,  ///< it could not be created or written (nothing is left of it)
};

/// Writes the 512 bytes of `sector` to a new file `path`, readable by its
/// owner alone (an installed boot manager holds the passwords), and flushes
/// it to the disk. Never opens a file that exists.
SaveResult saveSectorCopy(const char* path, const std::uint8_t* sector);

}  // namespace vornboot::check
