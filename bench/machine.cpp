#include "bench/machine.h"

#include <unicorn/unicorn.h>

#include <ostream>

namespace vornboot::bench {

namespace {

int unicornRegister(Reg reg) {
  switch (reg) {
    case Reg::AX:
      return UC_X86_REG_AX;
    case Reg::BX:
      return UC_X86_REG_BX;
    case Reg::CX:
      return UC_X86_REG_CX;
    case Reg::DX:
      return UC_X86_REG_DX;
    case Reg::SI:
      return UC_X86_REG_SI;
    case Reg::DI:
      return UC_X86_REG_DI;
    case Reg::BP:
      return UC_X86_REG_BP;
    case Reg::SP:
      return UC_X86_REG_SP;
    case Reg::IP:
      return UC_X86_REG_IP;
    case Reg::CS:
      return UC_X86_REG_CS;
    case Reg::DS:
      return UC_X86_REG_DS;
    case Reg::ES:
      return UC_X86_REG_ES;
    case Reg::SS:
      return UC_X86_REG_SS;
    case Reg::Flags:
      return UC_X86_REG_EFLAGS;
  }
  return UC_X86_REG_INVALID;
}

bool isRepeatingInstruction(const Machine& m, std::uint32_t address) {
  // A string instruction under REP, or LOOP, runs at one address many times
  // without being an endless loop; prefixes may come in any order.
  for (std::uint32_t i = 0; i < 4; ++i) {
    std::uint8_t b = m.byte(address + i);
    if (b == 0xF2 || b == 0xF3 || b == 0xE0 || b == 0xE1 || b == 0xE2) return true;
    bool segmentPrefix = b == 0x26 || b == 0x2E || b == 0x36 || b == 0x3E || b == 0x64 || b == 0x65;
    if (!segmentPrefix) return false;
  }
  return false;
}

}  // namespace

const char* stopName(Stop stop) {
  switch (stop) {
    case Stop::Halted:
      return "halted";
    case Stop::WaitingForKey:
      return "waiting for a key";
    case Stop::BootFailed:
      return "INT 18h (boot failed)";
    case Stop::ChainLoaded:
      return "chain-loaded to 0000:7C00";
    case Stop::BudgetExhausted:
      return "instruction budget exhausted";
    case Stop::CpuException:
      return "CPU exception";
    case Stop::UnhandledInterrupt:
      return "unhandled interrupt";
    case Stop::Fault:
      return "fault";
    case Stop::NotBootable:
      return "boot disk not bootable";
  }
  return "?";
}

std::ostream& operator<<(std::ostream& out, Stop stop) {
  return out << stopName(stop);
}

Machine::Machine() {
  uc_engine* uc = nullptr;
  uc_err err = uc_open(UC_ARCH_X86, UC_MODE_16, &uc);
  if (err != UC_ERR_OK) {
    error_ = uc_strerror(err);
    return;
  }
  err = uc_mem_map(uc, 0, kMemorySize, UC_PROT_ALL);
  uc_hook code = 0, intr = 0;
  if (err == UC_ERR_OK)
    err =
        uc_hook_add(uc, &code, UC_HOOK_CODE, reinterpret_cast<void*>(&Machine::onCode), this, 1, 0);
  if (err == UC_ERR_OK)
    err = uc_hook_add(uc, &intr, UC_HOOK_INTR, reinterpret_cast<void*>(&Machine::onInterrupt), this,
                      1, 0);
  if (err != UC_ERR_OK) {
    error_ = uc_strerror(err);
    uc_close(uc);
    return;
  }
  uc_ = uc;
}

Machine::~Machine() {
  if (uc_) uc_close(uc_);
}

std::uint16_t Machine::get(Reg reg) const {
  std::uint64_t value = 0;
  if (uc_) uc_reg_read(uc_, unicornRegister(reg), &value);
  return std::uint16_t(value);
}

void Machine::set(Reg reg, std::uint16_t value) {
  std::uint64_t wide = value;
  if (reg == Reg::Flags) wide |= get(Reg::Flags) & ~std::uint64_t(0xFFFF);
  if (uc_) uc_reg_write(uc_, unicornRegister(reg), &wide);
}

RegisterState Machine::registers() const {
  RegisterState r;
  r.ax = get(Reg::AX);
  r.bx = get(Reg::BX);
  r.cx = get(Reg::CX);
  r.dx = get(Reg::DX);
  r.si = get(Reg::SI);
  r.di = get(Reg::DI);
  r.bp = get(Reg::BP);
  r.sp = get(Reg::SP);
  r.ip = get(Reg::IP);
  r.cs = get(Reg::CS);
  r.ds = get(Reg::DS);
  r.es = get(Reg::ES);
  r.ss = get(Reg::SS);
  r.flags = get(Reg::Flags);
  return r;
}

void Machine::setFlag(unsigned bit, bool on) {
  std::uint16_t flags = get(Reg::Flags);
  flags = on ? std::uint16_t(flags | (1u << bit)) : std::uint16_t(flags & ~(1u << bit));
  set(Reg::Flags, flags);
}

bool Machine::read(std::uint32_t address, void* out, std::uint32_t size) const {
  if (!uc_ || address > kMemorySize || size > kMemorySize - address) return false;
  return uc_mem_read(uc_, address, out, size) == UC_ERR_OK;
}

bool Machine::write(std::uint32_t address, const void* data, std::uint32_t size) {
  if (!uc_ || address > kMemorySize || size > kMemorySize - address) return false;
  if (uc_mem_write(uc_, address, data, size) != UC_ERR_OK) return false;
  // Code already translated from this range would otherwise run again.
  uc_ctl_remove_cache(uc_, std::uint64_t(address), std::uint64_t(address) + size);
  return true;
}

std::uint8_t Machine::byte(std::uint32_t address) const {
  std::uint8_t b = 0;
  read(address, &b, 1);
  return b;
}

std::uint16_t Machine::word(std::uint32_t address) const {
  return std::uint16_t(byte(address) | byte(address + 1) << 8);
}

void Machine::requestStop(Stop reason) {
  if (stopRequested_) return;
  stopRequested_ = true;
  stopReason_ = reason;
  uc_emu_stop(uc_);
}

Stop Machine::run(std::uint64_t budget) {
  if (!uc_) return Stop::Fault;
  stopRequested_ = false;
  firstInstruction_ = true;
  lastAddress_ = ~std::uint64_t(0);
  budgetEnd_ = executed_ + budget;
  std::uint64_t begin = (std::uint64_t(get(Reg::CS)) << 4) + get(Reg::IP);
  uc_err err = uc_emu_start(uc_, begin, ~std::uint64_t(0), 0, 0);
  if (stopRequested_) return stopReason_;
  if (err != UC_ERR_OK) {
    error_ = uc_strerror(err);
    return Stop::Fault;
  }
  // Unicorn ends a run at `hlt` without calling any hook.
  return Stop::Halted;
}

void Machine::onCode(uc_struct*, std::uint64_t address, std::uint32_t, void* self) {
  Machine& m = *static_cast<Machine*>(self);
  if (m.stopRequested_) return;
  bool first = m.firstInstruction_;
  m.firstInstruction_ = false;
  if (m.executed_ >= m.budgetEnd_) {
    m.requestStop(Stop::BudgetExhausted);
    return;
  }
  if (!first && m.watched_ != 0 && address == m.watched_) {
    m.chainLoad_ = m.registers();
    m.requestStop(Stop::ChainLoaded);
    return;
  }
  if (address == m.lastAddress_ && !isRepeatingInstruction(m, std::uint32_t(address))) {
    m.requestStop(Stop::Halted);
    return;
  }
  m.lastAddress_ = address;
  ++m.executed_;
}

void Machine::onInterrupt(uc_struct*, std::uint32_t intno, void* self) {
  Machine& m = *static_cast<Machine*>(self);
  std::uint8_t n = std::uint8_t(intno);
  m.lastInterrupt_ = n;
  std::uint32_t cs = std::uint32_t(m.get(Reg::CS)) << 4;
  std::uint16_t ip = m.get(Reg::IP);
  // A software interrupt arrives with IP past its `CD nn`; an exception with
  // IP at the faulting instruction.
  bool software =
      m.byte(cs + std::uint16_t(ip - 2)) == 0xCD && m.byte(cs + std::uint16_t(ip - 1)) == n;
  if (!software) {
    m.requestStop(Stop::CpuException);
    return;
  }
  if (!m.handler_) {
    m.requestStop(Stop::UnhandledInterrupt);
    return;
  }
  Stop reason = Stop::UnhandledInterrupt;
  switch (m.handler_(n, reason)) {
    case Outcome::Continue:
      return;
    case Outcome::Stop:
      m.requestStop(reason);
      return;
    case Outcome::RetryAndStop:
      m.set(Reg::IP, std::uint16_t(ip - 2));
      m.requestStop(reason);
      return;
  }
}

}  // namespace vornboot::bench

// Unicorn 2.0.1 loses a page bitmap when it invalidates translated code;
// leak checking of builds with sanitizers would otherwise fail every test
// that loads a sector over code. LeakSanitizer asks for this by name.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
  return "leak:libunicorn.so\n";
}
