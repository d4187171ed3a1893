#include "bench/bios.h"

#include <ostream>

namespace vornboot::bench {

namespace {

constexpr unsigned kCarry = 0;
constexpr unsigned kZero = 6;
constexpr std::uint32_t kCursorColumn = 0x450;
constexpr std::uint32_t kHardDiskCount = 0x475;
constexpr std::uint8_t kShownPage = 0;

class MachineMemory : public MemoryAccess {
 public:
  explicit MachineMemory(Machine& m) : m_(m) {}
  bool read(std::uint32_t address, void* out, std::uint32_t size) override {
    return m_.read(address, out, size);
  }
  bool write(std::uint32_t address, const void* data, std::uint32_t size) override {
    return m_.write(address, data, size);
  }

 private:
  Machine& m_;
};

}  // namespace

const char* biosModeName(BiosMode mode) {
  switch (mode) {
    case BiosMode::Normal:
      return "Normal";
    case BiosMode::Hostile:
      return "Hostile";
  }
  return "?";
}

std::ostream& operator<<(std::ostream& out, BiosMode mode) {
  return out << biosModeName(mode);
}

Bios::Bios(Machine& machine, Screen& screen, Keyboard& keyboard, DiskSet& disks, BiosMode mode,
           std::uint64_t seed)
    : machine_(machine),
      screen_(screen),
      keyboard_(keyboard),
      disks_(disks),
      mode_(mode),
      junk_(seed) {
  machine_.setInterruptHandler([this](std::uint8_t n, Stop& reason) { return serve(n, reason); });
}

void Bios::initialiseDataArea() {
  std::uint8_t count = std::uint8_t(disks_.size());
  machine_.write(kHardDiskCount, &count, 1);
  syncCursor();
}

void Bios::syncCursor() {
  std::uint8_t cursor[2] = {std::uint8_t(screen_.cursorColumn()),
                            std::uint8_t(screen_.cursorRow())};
  machine_.write(kCursorColumn, cursor, 2);
}

Machine::Outcome Bios::serve(std::uint8_t n, Stop& reason) {
  switch (n) {
    case 0x10:
      video();
      return Machine::Outcome::Continue;
    case 0x13:
      disk();
      return Machine::Outcome::Continue;
    case 0x16:
      return keyboardService(reason);
    case 0x18:
      reason = Stop::BootFailed;
      return Machine::Outcome::Stop;
    default:
      reason = Stop::UnhandledInterrupt;
      return Machine::Outcome::Stop;
  }
}

void Bios::junkRegister(Reg reg, std::uint16_t bytes) {
  machine_.set(reg, junk_.changed(machine_.get(reg), bytes));
}

void Bios::video() {
  std::uint16_t ax = machine_.get(Reg::AX);
  std::uint8_t function = std::uint8_t(ax >> 8);
  switch (function) {
    case 0x0E:
      if (machine_.get(Reg::BX) >> 8 == kShownPage) screen_.put(std::uint8_t(ax));
      break;
    case 0x02: {
      std::uint16_t dx = machine_.get(Reg::DX);
      screen_.setCursor(dx >> 8, dx & 0xFF);
      break;
    }
    case 0x03:
      machine_.set(Reg::DX, std::uint16_t(screen_.cursorRow() << 8 | screen_.cursorColumn()));
      machine_.set(Reg::CX, 0x0607);
      break;
    case 0x0F:
      machine_.set(Reg::AX, 0x5003);
      machine_.set(Reg::BX, 0);
      break;
    default:
      break;
  }
  syncCursor();
  if (mode_ == BiosMode::Hostile) junkVideoRegisters(function);
}

void Bios::junkVideoRegisters(std::uint8_t function) {
  bool cursorResult = function == 0x03;  // CX and DX
  bool modeResult = function == 0x0F;    // AX and BH
  if (!modeResult) junkRegister(Reg::AX);
  junkRegister(Reg::BX, modeResult ? 0x00FF : 0xFFFF);
  if (!cursorResult) {
    junkRegister(Reg::CX);
    junkRegister(Reg::DX);
  }
  junkRegister(Reg::DI);
  junkRegister(Reg::BP);
}

void Bios::disk() {
  DiskRegisters r{machine_.get(Reg::AX), machine_.get(Reg::BX), machine_.get(Reg::CX),
                  machine_.get(Reg::DX), machine_.get(Reg::SI), machine_.get(Reg::DI),
                  machine_.get(Reg::DS), machine_.get(Reg::ES), false};
  std::uint8_t function = std::uint8_t(r.ax >> 8);
  MachineMemory memory(machine_);
  disks_.serve(r, memory);
  machine_.set(Reg::AX, r.ax);
  machine_.set(Reg::BX, r.bx);
  machine_.set(Reg::CX, r.cx);
  machine_.set(Reg::DX, r.dx);
  machine_.setFlag(kCarry, r.carry);
  if (mode_ == BiosMode::Hostile) junkDiskOutputs(function, !r.carry);
}

void Bios::junkDiskOutputs(std::uint8_t function, bool ok) {
  // AL is a sector count or undefined; after a failure AH is some error
  // status, which a caller may only tell from 0.
  junkRegister(Reg::AX, 0x00FF);
  if (!ok) {
    std::uint16_t ax = machine_.get(Reg::AX);
    machine_.set(Reg::AX,
                 std::uint16_t(junk_.changedNonZero(std::uint8_t(ax >> 8)) << 8 | (ax & 0xFF)));
  }
  switch (function) {
    case 0x08:  // drive type (BL) and diskette parameter table (ES:DI)
      junkRegister(Reg::BX, 0x00FF);
      junkRegister(Reg::ES);
      junkRegister(Reg::DI);
      if (!ok) {
        junkRegister(Reg::CX);
        junkRegister(Reg::DX);
      }
      break;
    case 0x41:  // DH: the version of the extensions, on some BIOSes
      junkRegister(Reg::DX, 0xFF00);
      if (!ok) {
        junkRegister(Reg::BX);
        junkRegister(Reg::CX);
      }
      break;
    default:
      break;
  }
}

Machine::Outcome Bios::keyboardService(Stop& reason) {
  std::uint8_t function = std::uint8_t(machine_.get(Reg::AX) >> 8);
  switch (function) {
    case 0x00:
    case 0x10:
      if (keyboard_.empty()) {
        reason = Stop::WaitingForKey;
        return Machine::Outcome::RetryAndStop;
      } else {
        Key k = keyboard_.take();
        machine_.set(Reg::AX, std::uint16_t(k.scan << 8 | k.ascii));
      }
      return Machine::Outcome::Continue;
    case 0x01:
    case 0x11:
      machine_.setFlag(kZero, keyboard_.empty());
      if (!keyboard_.empty())
        machine_.set(Reg::AX, std::uint16_t(keyboard_.peek().scan << 8 | keyboard_.peek().ascii));
      return Machine::Outcome::Continue;
    default:
      return Machine::Outcome::Continue;
  }
}

}  // namespace vornboot::bench
