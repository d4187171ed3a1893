#pragma once
// The test BIOS: the PC services a boot program calls, served from the host
// when the machine executes `int n`.
//
//   INT 10h  AH=0Eh teletype into the screen (only page 0, BH = 0, is shown;
//            text for another page is lost); AH=02h/03h set/get cursor;
//            AH=0Fh video mode 3 (80 x 25 text); other functions do nothing
//   INT 13h  the disk services of DiskSet
//   INT 16h  AH=00h/10h take a key (an empty queue stops the machine before
//            the `int`, so the run can go on once keys are queued);
//            AH=01h/11h look at the next key (ZF set when there is none)
//   INT 18h  stops the machine: no bootable disk
// Any other interrupt stops the machine as unhandled.
//
// Real BIOSes differ in what they leave in the registers; the hostile mode
// leaves the worst that the services' documentation allows, so that a
// program passes only if it relies on nothing else.

#include <cstdint>
#include <iosfwd>

#include "bench/disks.h"
#include "bench/junk.h"
#include "bench/keyboard.h"
#include "bench/machine.h"
#include "bench/screen.h"

namespace vornboot::bench {

enum class BiosMode {
  /// Every service changes its results and nothing else.
  Normal,
  /// After doing its work, every INT 10h overwrites AX, BX, CX, DX, DI and BP
  /// with junk (all but the results of AH=03h and 0Fh). INT 13h also fills
  /// with junk the outputs it documents that carry nothing for the caller:
  /// AL always and AH after a failure; for AH=08h BL and ES:DI, and CX and
  /// DX when it fails; for AH=41h DH, and BX and CX when it fails. INT 16h
  /// changes only its results, as in Normal. SI, SP, the segment registers
  /// (ES:DI of AH=08h aside) and the flags stay as in Normal. Pc enters the
  /// boot sector with junk in every register but CS:IP, DL included.
  Hostile,
};
const char* biosModeName(BiosMode mode);
std::ostream& operator<<(std::ostream& out, BiosMode mode);

class Bios {
 public:
  /// Serves `machine`'s interrupts from now on; all four must outlive it.
  /// `seed` fixes the junk of the hostile mode.
  Bios(Machine& machine, Screen& screen, Keyboard& keyboard, DiskSet& disks,
       BiosMode mode = BiosMode::Normal, std::uint64_t seed = 1);
  Bios(const Bios&) = delete;
  Bios& operator=(const Bios&) = delete;

  BiosMode mode() const { return mode_; }
  /// The junk pattern of this BIOS (the hostile entry state draws on it).
  Junk& junk() { return junk_; }

  /// Writes the BIOS data area a boot program may look at (hard disk count,
  /// cursor position).
  void initialiseDataArea();

 private:
  Machine::Outcome serve(std::uint8_t n, Stop& reason);
  void video();
  void disk();
  Machine::Outcome keyboardService(Stop& reason);
  void syncCursor();
  void junkVideoRegisters(std::uint8_t function);
  void junkDiskOutputs(std::uint8_t function, bool ok);
  /// Replaces the bytes `bytes` (0x00FF, 0xFF00 or 0xFFFF) of `reg` with junk.
  void junkRegister(Reg reg, std::uint16_t bytes = 0xFFFF);

  Machine& machine_;
  Screen& screen_;
  Keyboard& keyboard_;
  DiskSet& disks_;
  BiosMode mode_;
  Junk junk_;
};

}  // namespace vornboot::bench
