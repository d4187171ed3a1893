#include "bench/pc.h"

namespace vornboot::bench {

namespace {

// The flags a BIOS may leave at the entry either way: the status flags,
// interrupts and direction (never the trap flag); bit 1 is always set.
constexpr std::uint16_t kEntryFlagsJunk = 0x0ED5;
constexpr std::uint16_t kFlagsFixed = 0x0002;

}  // namespace

Pc::Pc(BiosMode mode, std::uint64_t seed)
    : bios_(machine_, screen_, keyboard_, disks_, mode, seed) {}

Stop Pc::boot(EntryPoint entry) {
  const DiskImage* d = disks_.drive(0x80);
  DiskImage::SectorBytes first{};
  if (!d || !d->read(0, first.data()) || first[510] != 0x55 || first[511] != 0xAA)
    return last_ = Stop::NotBootable;
  machine_.write(kBootAddress, first.data(), DiskImage::kSectorSize);
  bios_.initialiseDataArea();

  // A BIOS promises nothing but DL and the entry address; odd values in the
  // rest (direction flag set included) expose a program that relies on them.
  const std::uint16_t scrambled[] = {0x1234, 0xBEEF, 0x0042, 0xA5A5, 0x5A5A, 0x7777,
                                     0x1357, 0x9000, 0x0FF0, 0x2468, 0x0602};
  const std::uint16_t zero[] = {0, 0, 0, 0, 0, 0, 0, 0, 0x7C00, 0, 0x0202};
  const std::uint16_t* v = scrambled_ ? scrambled : zero;
  machine_.set(Reg::AX, v[0]);
  machine_.set(Reg::BX, v[1]);
  machine_.set(Reg::CX, v[2]);
  machine_.set(Reg::SI, v[3]);
  machine_.set(Reg::DI, v[4]);
  machine_.set(Reg::BP, v[5]);
  machine_.set(Reg::DS, v[6]);
  machine_.set(Reg::SS, v[7]);
  machine_.set(Reg::SP, v[8]);
  machine_.set(Reg::ES, v[9]);
  machine_.set(Reg::Flags, v[10]);
  machine_.set(Reg::DX, 0x0080);
  if (bios_.mode() == BiosMode::Hostile) {
    // Nothing is promised but CS:IP: some BIOSes pass DL = 0, or leave
    // interrupts disabled.
    for (Reg r : {Reg::AX, Reg::BX, Reg::CX, Reg::DX, Reg::SI, Reg::DI, Reg::BP, Reg::SP, Reg::DS,
                  Reg::ES, Reg::SS})
      machine_.set(r, bios_.junk().word());
    machine_.set(Reg::Flags, std::uint16_t((bios_.junk().word() & kEntryFlagsJunk) | kFlagsFixed));
  }
  if (entryDrive_)
    machine_.set(Reg::DX, std::uint16_t((machine_.get(Reg::DX) & 0xFF00) | *entryDrive_));
  if (entry == EntryPoint::Zero7C00) {
    machine_.set(Reg::CS, 0);
    machine_.set(Reg::IP, kBootAddress);
  } else {
    machine_.set(Reg::CS, kBootAddress >> 4);
    machine_.set(Reg::IP, 0);
  }
  machine_.watch(kBootAddress);
  return resume();
}

Stop Pc::resume() {
  return last_ = machine_.run(budget_);
}

Stop Pc::type(std::string_view text) {
  if (!keyboard_.type(text)) return last_ = Stop::Fault;
  return resume();
}

std::vector<std::uint8_t> Pc::memory(std::uint32_t address, std::uint32_t size) const {
  std::vector<std::uint8_t> out(size, 0);
  machine_.read(address, out.data(), size);
  return out;
}

}  // namespace vornboot::bench
