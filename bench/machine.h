#pragma once
// A 16-bit real-mode PC processor with 1 MiB of memory, run by Unicorn.
//
// The machine knows nothing of the BIOS: every `int n` goes to the interrupt
// handler that the owner installs, which serves it from the host and says
// whether the guest goes on. A run ends at one of a few observable stops
// (halt, a watched address reached, the instruction budget used up, a CPU
// exception, a fault); a stop before an instruction can be resumed with
// another run, which then starts with that instruction.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

struct uc_struct;

namespace vornboot::bench {

enum class Reg { AX, BX, CX, DX, SI, DI, BP, SP, IP, CS, DS, ES, SS, Flags };

/// Why a run ended.
enum class Stop {
  Halted,           ///< `hlt`, or a jump to itself (the endless loop of an error stop)
  WaitingForKey,    ///< a keyboard read found the key queue empty
  BootFailed,       ///< INT 18h: the BIOS's "no bootable disk"
  ChainLoaded,      ///< the watched address (0000:7C00) was reached again
  BudgetExhausted,  ///< the run's instruction budget is used up
  CpuException,     ///< a processor exception (divide error, ...)
  UnhandledInterrupt,
  Fault,        ///< an invalid instruction or memory outside 1 MiB
  NotBootable,  ///< the boot disk is missing, unreadable or unsigned
};
const char* stopName(Stop stop);
std::ostream& operator<<(std::ostream& out, Stop stop);

/// The registers at one moment, as a test wants to compare them.
struct RegisterState {
  std::uint16_t ax = 0, bx = 0, cx = 0, dx = 0, si = 0, di = 0, bp = 0, sp = 0;
  std::uint16_t ip = 0, cs = 0, ds = 0, es = 0, ss = 0, flags = 0;
  std::uint8_t dl() const { return std::uint8_t(dx); }
  std::uint32_t linearIp() const { return (std::uint32_t(cs) << 4) + ip; }
};

class Machine {
 public:
  static constexpr std::uint32_t kMemorySize = 0x100000;

  /// What an interrupt handler wants after serving `int n`.
  enum class Outcome {
    Continue,      ///< go on after the `int` instruction
    Stop,          ///< end the run after it, with the handler's stop reason
    RetryAndStop,  ///< end the run before it: the next run executes it again
  };
  /// Serves `int n`; for Stop and RetryAndStop it sets `reason`.
  using InterruptHandler = std::function<Outcome(std::uint8_t n, Stop& reason)>;

  Machine();
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  /// False when Unicorn could not be opened; nothing else works then.
  bool ready() const { return uc_ != nullptr; }
  std::string error() const { return error_; }

  void setInterruptHandler(InterruptHandler handler) { handler_ = std::move(handler); }
  /// Stops a run before it executes the instruction at linear `address`
  /// (except as the run's very first instruction). 0 watches nothing.
  void watch(std::uint32_t address) { watched_ = address; }

  std::uint16_t get(Reg reg) const;
  void set(Reg reg, std::uint16_t value);
  RegisterState registers() const;
  std::uint8_t getDl() const { return std::uint8_t(get(Reg::DX)); }
  /// Sets or clears one flag bit (0 = carry, 6 = zero) as the guest sees it.
  void setFlag(unsigned bit, bool on);

  /// Copies guest memory; false when the range leaves the first 1 MiB.
  bool read(std::uint32_t address, void* out, std::uint32_t size) const;
  /// Writes guest memory and throws away code translated from that range.
  bool write(std::uint32_t address, const void* data, std::uint32_t size);
  std::uint8_t byte(std::uint32_t address) const;
  std::uint16_t word(std::uint32_t address) const;

  /// Runs from CS:IP for at most `budget` instructions.
  Stop run(std::uint64_t budget);
  /// Instructions executed since the machine was made.
  std::uint64_t instructions() const { return executed_; }
  /// The interrupt number of the last CpuException or UnhandledInterrupt stop.
  std::uint8_t lastInterrupt() const { return lastInterrupt_; }
  /// The register state at the last ChainLoaded stop.
  const RegisterState& chainLoadState() const { return chainLoad_; }

 private:
  static void onCode(uc_struct* uc, std::uint64_t address, std::uint32_t size, void* self);
  static void onInterrupt(uc_struct* uc, std::uint32_t intno, void* self);
  void requestStop(Stop reason);

  uc_struct* uc_ = nullptr;
  std::string error_;
  InterruptHandler handler_;
  std::uint32_t watched_ = 0;

  // State of the current run.
  std::uint64_t executed_ = 0;
  std::uint64_t budgetEnd_ = 0;
  bool firstInstruction_ = false;
  bool stopRequested_ = false;
  Stop stopReason_ = Stop::Halted;
  std::uint64_t previousAddress_ = ~std::uint64_t(0);
  std::uint64_t lastAddress_ = ~std::uint64_t(0);
  std::uint8_t lastInterrupt_ = 0;
  RegisterState chainLoad_;
};

}  // namespace vornboot::bench
