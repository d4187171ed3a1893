#pragma once
// One boot of the emulated PC: the boot sector under test on disk 0 (written
// into disk 0's view, so it never reaches the disk), the other disks as they
// are, a password typed at the prompt, and what the boot program did until
// it handed over to a partition's boot sector or stopped.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bench/pc.h"
#include "check/disk_view.h"

namespace vornboot::check {

/// Instructions one run of the emulated PC may execute: the boot program
/// needs a few thousand from the BIOS's jump to its prompt and from Enter
/// to the hand-over; a run that uses them all is a loop that waits for nothing.
inline constexpr std::uint64_t kInstructionBudget = 1'000'000;

/// What a boot came to.
struct Trial {
  bench::Stop atStart = bench::Stop::Halted;  ///< the stop before any key
  bench::Stop end = bench::Stop::Halted;      ///< the last stop
  bool typed = false;                         ///< keys were typed at a prompt
  std::vector<std::string> screen;            ///< the screen's used lines at the end
  std::vector<Sector> after;                  ///< sector 0 of every disk at the end
  /// The boot step's read: the last disk read, when it came after the last
  /// write (the boot program writes every table back before it reads the
  /// partition's boot sector).
  std::optional<bench::DiskCall> bootRead;
  std::vector<bench::DiskCall> calls;  ///< every INT 13h call, in order
  Sector loaded{};                     ///< the 512 bytes at 0000:7C00 at the end
  std::uint8_t interrupt = 0;          ///< the number of an unhandled interrupt or exception
};

/// The emulated PC of one trial, run step by step (the interactive mode
/// types key by key).
class EmulatedPc {
 public:
  /// `disks` (disk 0 first) with `bootSector` as disk 0's sector 0.
  EmulatedPc(const std::vector<EmulatedDisk>& disks, const Sector& bootSector);

  bool ready() const { return pc_.ready(); }
  /// Starts the boot sector: normally Stop::WaitingForKey at the prompt.
  bench::Stop boot();
  /// Types `keys` and runs on; a run that waits for a key again stops there.
  bench::Stop type(const std::vector<bench::Key>& keys);
  /// Everything the boot program has printed so far.
  const std::string& transcript() { return pc_.screen().transcript(); }
  Trial result();

 private:
  bench::Pc pc_;
  Trial trial_;
};

/// A whole trial: boots, types `keys` and Enter at the prompt, runs on.
Trial tryBoot(const std::vector<EmulatedDisk>& disks, const Sector& bootSector,
              const std::vector<bench::Key>& keys);

/// The keys of a password held as scan codes: each code with the character
/// its key types (or none), and Enter at the end.
std::vector<bench::Key> passwordKeys(const char* scanCodes);

}  // namespace vornboot::check
