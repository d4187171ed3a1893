#pragma once
// Test fixture for the image tests: an in-memory machine with an inventory,
// a model built directly, and a compiler run whose diagnostics are captured.

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "config/model.h"
#include "image/compiler.h"
#include "tests/support/captured_stream.h"
#include "tests/support/memory_disks.h"

namespace vornboot::testing {

/// A machine whose disks have the given sectors 0, and one BootConfig over it.
class Machine {
 public:
  explicit Machine(const std::vector<std::vector<std::uint8_t>>& sectors) {
    for (const auto& s : sectors) system.addDisk(s.data());
    config = std::make_unique<BootConfig>(system);
  }
  // The configuration's disks point at `system`.
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  /// Appends an entry; `password` holds scan codes.
  BootEntry& addEntry(const std::string& name, const std::string& password = "") {
    BootEntry& entry = config->entries.emplace_back();
    entry.name.set(name.c_str(), name.size());
    entry.password.set(password.c_str(), password.size());
    return entry;
  }
  /// Gives `entry` a plan for disk `disk` with the four partition states.
  void addPlan(BootEntry& entry, std::uint32_t disk, std::array<PartitionState, 4> states) {
    entry.diskPlans[disk].partitionState = states;
  }
  void addMapping(std::uint8_t original, std::uint8_t hidden) {
    config->typeMap.push_back({original, hidden, FixedText()});
  }

  /// Runs the compiler into `image` (exactly 512 heap bytes, so that an overrun
  /// is caught by the address sanitizer); `diagnostics` gets what it printed.
  bool compile(bool useExtensions = true) {
    CapturedStream stream;
    image.assign(512, 0xEE);
    bool ok =
        CompileImage(*config, image.data(), Diagnostics("boot.cfg", stream.file()), useExtensions);
    diagnostics = stream.text();
    return ok;
  }

  std::uint16_t word(unsigned offset) const {
    return static_cast<std::uint16_t>(image[offset] | image[offset + 1] << 8);
  }

  MemoryDiskSystem system;  // outlives the configuration, which closes its handles
  std::unique_ptr<BootConfig> config;
  std::vector<std::uint8_t> image;
  std::string diagnostics;
};

/// A disk 0 with a signature and two partitions: NTFS active, FAT32.
inline std::vector<std::uint8_t> standardDiskZero() {
  return makeSector0(0xA1B2C3D4, {{0x80, 0x07, 63, 1000}, {0x00, 0x0B, 2000, 1000}});
}

/// The worked example of the sector format: two disks, the map {0x07, 0x17}
/// {0x0B, 0x1B} and one entry "Win" without password whose disk 0 plan makes
/// partition 0 active and whose disk 1 plan disables partition 0.
namespace worked_example {

/// The sectors 0 of its two disks.
inline std::vector<std::vector<std::uint8_t>> disks() {
  return {standardDiskZero(), makeSector0(0x11111111, {{0x80, 0x07, 63, 500}})};
}
inline constexpr const char* kText =
    "map { {0x07, 0x17} {0x0B, 0x1B} }\n"
    "entry \"Win\" {\n"
    "  disk 0 { active 0 }\n"
    "  disk 1 { disable 0 }\n"
    "}\n";
/// The same configuration, built directly.
inline void build(Machine& m) {
  m.addMapping(0x07, 0x17);
  m.addMapping(0x0B, 0x1B);
  BootEntry& win = m.addEntry("Win");
  m.addPlan(win, 0, {Active, Unspecified, Unspecified, Unspecified});
  m.addPlan(win, 1, {Disable, Unspecified, Unspecified, Unspecified});
}
/// Image bytes 328..341: the map, the record and the list end.
inline const std::vector<std::uint8_t> kData = {0x07, 0x17, 0x0B, 0x1B, 0x57, 0x69, 0x6E,
                                                0x0D, 0x0A, 0x00, 0x1C, 0x01, 0x10, 0x00};
inline constexpr unsigned kDataAt = 328;
inline constexpr std::uint16_t kFirstRecordAddress = 0x074C;

}  // namespace worked_example

}  // namespace vornboot::testing
