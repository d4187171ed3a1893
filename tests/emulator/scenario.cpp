#include "tests/emulator/scenario.h"

#include <cstdio>
#include <cstring>

#include "base/sector_format.h"
#include "boot/templates.h"
#include "config/parser.h"
#include "image/compiler.h"
#include "tests/support/captured_stream.h"
#include "tests/support/memory_disks.h"
#include "tests/support/string_input.h"

namespace vornboot::emulator {

namespace {

constexpr char kTag[] = "PBS ";

}  // namespace

void chsBytes(std::uint32_t lba, const bench::Geometry& g, std::uint8_t out[3]) {
  std::uint32_t perCylinder = std::uint32_t(g.heads) * g.sectors;
  std::uint32_t cylinder = lba / perCylinder;
  std::uint32_t head = lba % perCylinder / g.sectors;
  std::uint32_t sector = lba % g.sectors + 1;
  if (cylinder > 1023) {
    cylinder = 1023;
    head = 254;
    sector = 63;
  }
  out[0] = std::uint8_t(head);
  out[1] = std::uint8_t(sector | (cylinder >> 2 & 0xC0));
  out[2] = std::uint8_t(cylinder);
}

Sector partitionSector(std::uint32_t signature, const std::vector<Partition>& partitions,
                       const bench::Geometry& g) {
  Sector s(512, 0);
  mbr::write32(&s[mbr::kDiskSignature], signature);
  for (std::size_t j = 0; j < partitions.size() && j < 4; ++j) {
    const Partition& p = partitions[j];
    std::uint8_t* e = &s[mbr::kPartitionTable + mbr::kSlotSize * j];
    e[mbr::kBootIndicator] = p.bootIndicator;
    chsBytes(p.first, g, e + mbr::kStartChs);
    e[mbr::kTypeId] = p.type;
    chsBytes(p.first + (p.count ? p.count - 1 : 0), g, e + mbr::kEndChs);
    mbr::write32(e + mbr::kFirstSector, p.first);
    mbr::write32(e + mbr::kSectorCount, p.count);
  }
  s[510] = 0x55;
  s[511] = 0xAA;
  return s;
}

Sector taggedBootSector(unsigned disk, unsigned slot, unsigned offset) {
  Sector s(512, 0);
  s[0] = 0xF4;  // hlt, should anything run it
  std::string tag = kTag;
  tag += std::to_string(disk);
  tag += ':';
  tag += std::to_string(slot);
  if (offset) {
    tag += '+';
    tag += std::to_string(offset);
  }
  std::memcpy(&s[1], tag.c_str(), tag.size() + 1);
  s[510] = 0x55;
  s[511] = 0xAA;
  return s;
}

std::string tagOf(const Sector& sector) {
  if (sector.size() < 64 || std::memcmp(&sector[1], kTag, sizeof kTag - 1) != 0) return {};
  return std::string(reinterpret_cast<const char*>(&sector[1 + sizeof kTag - 1]));
}

bench::DiskImage diskWith(const Sector& sector0, unsigned disk, std::uint32_t sectors,
                          const bench::Geometry& g) {
  bench::DiskImage d(sectors, g);
  d.setSector(0, sector0.data());
  for (unsigned j = 0; j < 4; ++j) {
    const std::uint8_t* e = mbr::slot(sector0.data(), j);
    std::uint32_t first = mbr::read32(e + mbr::kFirstSector);
    if (e[mbr::kTypeId] != 0 && first != 0) d.setSector(first, taggedBootSector(disk, j).data());
  }
  return d;
}

Compiled compileResident(const std::string& text, const std::vector<Sector>& sector0s,
                         bool useExtensions, const std::function<void(BootConfig&)>& adjust) {
  Compiled result;
  testing::MemoryDiskSystem system;
  for (const Sector& s : sector0s) system.addDisk(s.data());
  BootConfig config(system);
  testing::StringInput input(text);
  testing::CapturedStream messages;
  const Diagnostics diagnostics("boot.conf", messages.file());
  std::uint8_t image[512] = {};
  result.ok = parseConfiguration(config, input, diagnostics) == kParseAccepted;
  if (result.ok && adjust) adjust(config);
  if (result.ok) result.ok = CompileImage(config, image, diagnostics, useExtensions);
  result.messages = messages.text();
  if (result.ok) result.image.assign(image, image + 512);
  return result;
}

Sector standardSector(const Sector& sector0) {
  Sector s(sector0);
  std::memcpy(s.data(), boot::kStandardTemplate, mbr::kDiskSignature);
  std::memcpy(&s[444], &boot::kStandardTemplate[444], 2);
  return s;
}

Sector loadedSector(bench::Pc& pc) {
  return pc.memory(bench::Pc::kBootAddress, 512);
}

}  // namespace vornboot::emulator
