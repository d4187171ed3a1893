#pragma once
// The test BIOS: the PC services a boot program calls, served from the host
// when the machine executes `int n`.
//
//   INT 10h  AH=0Eh teletype into the screen; AH=02h/03h set/get cursor;
//            AH=0Fh video mode 3 (80 x 25 text); other functions do nothing
//   INT 13h  the disk services of DiskSet
//   INT 16h  AH=00h/10h take a key (an empty queue stops the machine before
//            the `int`, so the run can go on once keys are queued);
//            AH=01h/11h look at the next key (ZF set when there is none)
//   INT 18h  stops the machine: no bootable disk
// Any other interrupt stops the machine as unhandled.

#include <cstdint>

#include "tests/bench/disks.h"
#include "tests/bench/keyboard.h"
#include "tests/bench/machine.h"
#include "tests/bench/screen.h"

namespace vornboot::bench {

class Bios {
 public:
  /// Serves `machine`'s interrupts from now on; all four must outlive it.
  Bios(Machine& machine, Screen& screen, Keyboard& keyboard, DiskSet& disks);
  Bios(const Bios&) = delete;
  Bios& operator=(const Bios&) = delete;

  /// Writes the BIOS data area a boot program may look at (hard disk count,
  /// cursor position).
  void initialiseDataArea();

 private:
  Machine::Outcome serve(std::uint8_t n, Stop& reason);
  void video();
  void disk();
  Machine::Outcome keyboardService(Stop& reason);
  void syncCursor();

  Machine& machine_;
  Screen& screen_;
  Keyboard& keyboard_;
  DiskSet& disks_;
};

}  // namespace vornboot::bench
