#pragma once
// The boot programs as byte blocks, assembled from boot/*.asm at build time.

#include <cstdint>

namespace vornboot::boot {

/// The resident boot program: sector bytes 0..445 with the CHS boot step,
/// the banner, the default texts, zeros up to 443 and "BM" at 444.
extern const std::uint8_t kResidentTemplate[446];
/// The extended-read boot step that replaces bytes 227..246.
extern const std::uint8_t kExtendedReadStep[20];
/// The standard master boot program: sector bytes 0..445.
extern const std::uint8_t kStandardTemplate[446];

}  // namespace vornboot::boot
