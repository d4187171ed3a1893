#pragma once
// A whole test PC: processor and memory, the test BIOS, the screen, the
// scripted keyboard and the hard disks. It boots like a PC BIOS does (sector
// 0 of drive 0x80 to 0000:7C00, entered with DL = 0x80, or with junk in DL
// and every other register but CS:IP in the hostile mode of its BIOS) and runs
// until one of the stops of Machine; a test inspects the screen, the disks
// and the registers, queues keys and runs on.
//
//   Pc pc;                          // or Pc pc(BiosMode::Hostile, seed);
//   pc.disks().add(image);
//   pc.boot();                      // Stop::WaitingForKey at the prompt
//   pc.keyboard().type("secret\r");
//   pc.resume();                    // Stop::ChainLoaded
//   pc.machine().chainLoadState().dl();

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "bench/bios.h"
#include "bench/disks.h"
#include "bench/keyboard.h"
#include "bench/machine.h"
#include "bench/screen.h"

namespace vornboot::bench {

/// Where the BIOS enters the boot sector: both address linear 0x7C00.
enum class EntryPoint { Zero7C00, Segment07C0 };

class Pc {
 public:
  static constexpr std::uint32_t kBootAddress = 0x7C00;

  /// A PC whose BIOS works in `mode`; `seed` fixes the junk of the hostile
  /// mode, so that a test meets the same registers every time it runs.
  explicit Pc(BiosMode mode = BiosMode::Normal, std::uint64_t seed = 1);
  Pc(const Pc&) = delete;
  Pc& operator=(const Pc&) = delete;

  /// False when the emulator could not be started (see machine().error()).
  bool ready() const { return machine_.ready(); }

  Machine& machine() { return machine_; }
  Screen& screen() { return screen_; }
  Keyboard& keyboard() { return keyboard_; }
  DiskSet& disks() { return disks_; }
  BiosMode biosMode() const { return bios_.mode(); }

  /// Instructions one run may execute before it stops with BudgetExhausted.
  void setBudget(std::uint64_t instructions) { budget_ = instructions; }
  /// Whether the boot sector is entered with arbitrary values in the
  /// registers it should not rely on (the default), or with zeros. In the
  /// hostile mode every register but CS:IP is junk either way.
  void setScrambledEntry(bool on) { scrambled_ = on; }
  /// The DL of the entry, in either mode, instead of 0x80 (normal) or junk
  /// (hostile).
  void setEntryDrive(std::uint8_t drive) { entryDrive_ = drive; }

  /// Loads sector 0 of drive 0x80 at 0000:7C00 and runs it from there with
  /// DL = 0x80 (normal mode). NotBootable when there is no such disk or its
  /// sector 0 does not end in 0x55 0xAA. Reaching 0000:7C00 again later is
  /// ChainLoaded.
  Stop boot(EntryPoint entry = EntryPoint::Zero7C00);
  /// Runs on from where the last run stopped.
  Stop resume();
  /// Queues the keys of `text` and runs on; Fault, with nothing queued, when
  /// a character of `text` has no key.
  Stop type(std::string_view text);
  Stop lastStop() const { return last_; }

  /// A copy of guest memory.
  std::vector<std::uint8_t> memory(std::uint32_t address, std::uint32_t size) const;

 private:
  Machine machine_;
  Screen screen_;
  Keyboard keyboard_;
  DiskSet disks_;
  Bios bios_;
  std::uint64_t budget_ = 5'000'000;
  bool scrambled_ = true;
  std::optional<std::uint8_t> entryDrive_;
  Stop last_ = Stop::Halted;
};

}  // namespace vornboot::bench
