#pragma once
// The disks of the inventory as the emulated PC's BIOS sees them: each one a
// copy-on-write view whose sectors come from the disk layer. Sector 0 is the
// copy the inventory took (so the boot program starts from what the compiler
// saw); any other sector is read from the disk once, when the boot program
// first asks for it, and kept for the rest of the run. Nothing is written.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "bench/disks.h"
#include "disk/physical_disk.h"

namespace vornboot::check {

class InventorySource : public bench::SectorSource {
 public:
  /// `disk` must outlive the source.
  explicit InventorySource(const PhysicalDisk& disk) : disk_(disk) {}
  bool read(std::uint32_t lba, std::uint8_t* out) override;

 private:
  const PhysicalDisk& disk_;
  std::map<std::uint32_t, std::optional<Sector>> read_;  // nullopt: the read failed
};

/// One disk of the emulated PC: its source, size and CHS geometry.
struct EmulatedDisk {
  std::shared_ptr<bench::SectorSource> source;
  std::uint32_t sectors = 0;  ///< the size in sectors, at most 2^32 - 1
  bool sizeKnown = true;
  bench::Geometry geometry;
  Sector sector0{};  ///< sector 0 before the boot
};

/// The emulated disks of `inventory`, disk 0 first: the BIOS geometry for
/// the size of each (a disk of unknown size is taken as the largest), or
/// the geometry that `pinned` gives for its number.
std::vector<EmulatedDisk> emulatedDisks(const std::vector<PhysicalDisk>& inventory,
                                        const std::map<unsigned, bench::Geometry>& pinned);

}  // namespace vornboot::check
