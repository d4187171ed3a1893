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
#include "tests/support/memory_disks.h"

namespace vornboot::testing {

/// Everything written to a temporary stream, as a string.
class CapturedStream {
 public:
  CapturedStream() : file_(std::tmpfile()) {}
  ~CapturedStream() { std::fclose(file_); }
  CapturedStream(const CapturedStream&) = delete;
  CapturedStream& operator=(const CapturedStream&) = delete;

  std::FILE* file() { return file_; }
  std::string text() {
    std::fflush(file_);
    std::string out;
    std::rewind(file_);
    for (int c; (c = std::fgetc(file_)) != EOF;) out.push_back(static_cast<char>(c));
    return out;
  }

 private:
  std::FILE* file_;
};

/// A machine whose disks have the given sectors 0, and one BootConfig over it.
class Machine {
 public:
  explicit Machine(std::initializer_list<std::vector<std::uint8_t>> sectors) {
    for (const auto& s : sectors) system.addDisk(s.data());
    config = std::make_unique<BootConfig>(system);
    config->sourceName.set("boot.cfg");
  }

  /// Appends an entry; `password` holds scan codes.
  BootEntry& addEntry(const std::string& name, const std::string& password = "") {
    BootEntry prototype;
    prototype.name.set(name.c_str(), name.size());
    prototype.password.set(password.c_str(), password.size());
    return config->entries.append(prototype);
  }
  /// Appends a plan for disk `disk` with the four partition states.
  void addPlan(BootEntry& entry, std::uint32_t disk, std::array<std::uint32_t, 4> states) {
    PhysicalDisk* physical = disk < config->disks.count() ? &config->disks[disk] : nullptr;
    EntryDisk plan(physical, disk);
    std::copy(states.begin(), states.end(), plan.partitionState);
    entry.diskPlans.append(plan);
    config->usedDiskCount = std::max(config->usedDiskCount, disk + 1);
  }
  void addMapping(std::uint8_t original, std::uint8_t hidden) {
    config->typeMap.append(TypeMapping(original, hidden, ""));
  }

  /// Runs the compiler into `image` (exactly 512 heap bytes, so that an overrun
  /// is caught by the address sanitizer); `diagnostics` gets what it printed.
  bool compile(bool useExtensions = true) {
    CapturedStream stream;
    image.assign(512, 0xEE);
    bool ok = CompileImage(*config, image.data(), stream.file(), useExtensions);
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

}  // namespace vornboot::testing
