#pragma once
// The image compiler: turns a checked configuration into the 512-byte boot
// sector that the installer writes over sector 0 of disk 0.

#include <cstdint>

#include "base/diagnostics.h"
#include "config/model.h"

namespace vornboot {

/// Compiles `config` into `image`: the resident program with its patch slots
/// filled, the texts, the type-map table and the entry records in the
/// variable area, and disk 0's signature, partition table and boot signature.
/// With `useExtensions` false the CHS boot step stays in place (option -x).
///
/// It lays the sector out first and checks it, in order: entries present
/// (441), map present (440), no pair with the GPT type 0xEE (446), more than
/// eight entries (warning 443, the rest are left out); then per compiled entry: a password holding
/// the Enter code 0x1C (445), the fit of name, line end, password end and disk bytes (444), an
/// empty or extended partition made active on disk 0 (435, 436); last the fit of the whole list
/// (444). The first error is reported to `diagnostics` in the file-level form and ends the
/// compilation with false, with nothing written to `image`. Only a layout that passed every check
/// is written.
///
/// Needs disk 0 in the inventory: without it the result is false, with no
/// message and nothing written to `image`.
bool CompileImage(const BootConfig& config, std::uint8_t image[512], const Diagnostics& diagnostics,
                  bool useExtensions);

}  // namespace vornboot
