#pragma once
// What one entry's trial means for the user: the slots whose boot indicator
// or type changed, the partition started and its boot sector, and every
// problem found, in the order the report gives them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/catalog.h"
#include "check/boot_sector.h"
#include "check/disk_view.h"
#include "check/trial.h"
#include "config/model.h"

namespace vornboot::check {

/// One slot of a partition table.
struct SlotState {
  std::uint8_t indicator = 0;
  std::uint8_t type = 0;
  std::uint32_t first = 0;
  std::uint32_t count = 0;
  std::uint8_t startChs[3] = {};
};
SlotState slotState(const Sector& sector, unsigned slot);

struct SlotChange {
  unsigned disk, slot;
  SlotState before, after;
};

/// A CHS address as a slot holds it, and its sector under a geometry.
struct ChsAddress {
  unsigned cylinder = 0, head = 0, sector = 0;
  bool inGeometry = false;  ///< the geometry has such a sector
  std::uint32_t lba = 0;    ///< its block number, when in the geometry
};
ChsAddress chsAddress(const std::uint8_t chs[3], const bench::Geometry& geometry);

/// The partition boot sector that the boot step loaded and started.
struct Started {
  std::uint32_t lba = 0;  ///< the sector read (0 when not addressed)
  bool addressed = true;  ///< the CHS address was a sector of the geometry
  bool read = false;      ///< the read succeeded
  int slot = -1;  ///< the slot of disk 0 that starts at `lba` (unaddressed: the active one), or -1
  int activeSlot = -1;            ///< the active slot of disk 0 after the rewriting, or -1
  SlotState state;                ///< of `slot` (or of `activeSlot` when `slot` is -1)
  BootSectorFacts facts;          ///< of the loaded sector, when read
  std::optional<ChsAddress> chs;  ///< the CHS start of the active slot (CHS boot step)
};

enum class ProblemKind {
  NotBootable,
  BootFailed,
  Halted,
  Loop,
  CpuException,
  Interrupt,
  Fault,
  NoPrompt,
  Refused,
  Interrupted,
  NotRead,
  NotPartitionStart,
  Empty,
  Unsigned,
  Gpt,
  HiddenSectors,
  ChsMismatch,
  ChsOutside,
  MissingDisk,
};
/// The name the JSON report gives a kind ("not_bootable", ...).
const char* problemKindName(ProblemKind kind);

struct Problem {
  ProblemKind kind;
  std::string text;  ///< from the catalogue
};

struct EntryFindings {
  std::string name;
  std::size_t passwordKeys = 0;  ///< keys typed before Enter
  Trial trial;
  std::vector<SlotChange> changes;
  std::optional<Started> started;  ///< none when the boot step was not reached
  std::vector<Problem> problems;
  bool boots() const { return problems.empty(); }
};

/// What all trials of a run share.
struct TrialSetup {
  std::vector<EmulatedDisk> disks;    ///< the emulated BIOS's disks, disk 0 first
  Sector bootSector{};                ///< the sector under test
  bool chsStep = false;               ///< its boot step is the CHS read
  std::uint32_t configuredDisks = 0;  ///< the disk count N of the boot sector
};

/// The findings of `trial`, the boot of the entry `name` with a password of
/// `passwordKeys` keys.
EntryFindings assess(const TrialSetup& setup, const std::string& name, std::size_t passwordKeys,
                     const Trial& trial);

/// Appends a problem with the catalogue text `id` composed with `args`.
template <MessageId id, typename... Args>
void addProblem(EntryFindings& f, ProblemKind kind, Args... args) {
  char text[kMessageBufferSize];
  composeMessage<id>(text, args...);
  f.problems.push_back({kind, text});
}

/// A type ID as the report names it: the known name of its pair (the
/// configuration's map first, then the known types), and whether it is the
/// hidden one of the pair. A null name is an unknown type.
struct TypeDescription {
  const char* name;
  bool hidden;
};
TypeDescription describeType(std::uint8_t type, const std::vector<TypeMapping>& map);

}  // namespace vornboot::check
