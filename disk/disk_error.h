#pragma once
// The words for a disk error: the device or image file and the operating
// system's reason, with what to do about a permission error.

#include "base/catalog.h"
#include "disk/disk_device.h"

namespace vornboot {

/// Composes `error` from the catalogue into `out` ("" for DiskError::None):
/// "PATH: REASON", with "(run VornBoot32 as root)" or "(… as Administrator)"
/// after a permission error, and the list or device texts when there was no
/// disk to open.
void describeDiskError(const DiskError& error, char (&out)[kMessageBufferSize]);

}  // namespace vornboot
