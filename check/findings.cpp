#include "check/findings.h"

#include <cstring>

namespace vornboot::check {

namespace {

constexpr std::uint8_t kActive = 0x80;
constexpr std::uint8_t kTypeGptProtective = 0xEE;
constexpr std::uint8_t kFirstDrive = 0x80;

/// The problem of a run that ended at `stop` instead of handing over.
void addStopProblem(EntryFindings& f, bench::Stop stop, std::uint8_t interrupt) {
  using bench::Stop;
  switch (stop) {
    case Stop::NotBootable:
      return addProblem<msgProblemNotBootable>(f, ProblemKind::NotBootable);
    case Stop::BootFailed:
      return addProblem<msgProblemBootFailed>(f, ProblemKind::BootFailed);
    case Stop::Halted:
      return addProblem<msgProblemHalted>(f, ProblemKind::Halted);
    case Stop::BudgetExhausted:
      return addProblem<msgProblemLoop>(f, ProblemKind::Loop, unsigned(kInstructionBudget));
    case Stop::CpuException:
      return addProblem<msgProblemCpuException>(f, ProblemKind::CpuException, unsigned(interrupt));
    case Stop::UnhandledInterrupt:
      return addProblem<msgProblemInterrupt>(f, ProblemKind::Interrupt, unsigned(interrupt));
    case Stop::Fault:
      return addProblem<msgProblemFault>(f, ProblemKind::Fault);
    case Stop::WaitingForKey:
      return addProblem<msgProblemRefused>(f, ProblemKind::Refused);
    case Stop::ChainLoaded:
      return;
  }
}

std::optional<Started> startedOf(const TrialSetup& setup, const Trial& t) {
  if (t.end != bench::Stop::ChainLoaded || !t.bootRead || t.bootRead->drive != kFirstDrive ||
      t.after.empty())
    return std::nullopt;
  Started s;
  s.lba = t.bootRead->lba;
  s.addressed = t.bootRead->addressed;
  s.read = t.bootRead->ok;
  const Sector& table = t.after[0];
  for (unsigned j = 0; j < mbr::kSlotCount; ++j) {
    const SlotState slot = slotState(table, j);
    if (s.activeSlot < 0 && slot.indicator == kActive) s.activeSlot = int(j);
    if (s.addressed && slot.type != mbr::kTypeEmpty && slot.first == s.lba &&
        (s.slot < 0 || slot.indicator == kActive))
      s.slot = int(j);
  }
  // A CHS address outside the geometry reads nothing: the partition is the
  // one the boot step took it from.
  if (!s.addressed) s.slot = s.activeSlot;
  const int described = s.slot >= 0 ? s.slot : s.activeSlot;
  if (described >= 0) s.state = slotState(table, unsigned(described));
  if (s.read) s.facts = analyseBootSector(t.loaded.data());
  if (setup.chsStep && s.activeSlot >= 0)
    s.chs = chsAddress(slotState(table, unsigned(s.activeSlot)).startChs, setup.disks[0].geometry);
  return s;
}

void addBootSectorProblems(EntryFindings& f, const Started& s) {
  if (!s.addressed || !s.read) return addProblem<msgProblemNotRead>(f, ProblemKind::NotRead);
  if (s.slot < 0) addProblem<msgProblemNotPartitionStart>(f, ProblemKind::NotPartitionStart, s.lba);
  if (s.facts.empty) {
    addProblem<msgProblemEmpty>(f, ProblemKind::Empty);
  } else if (!s.facts.signed_) {
    addProblem<msgProblemUnsigned>(f, ProblemKind::Unsigned);
  }
  if (s.slot >= 0 && s.state.type == kTypeGptProtective)
    addProblem<msgProblemGpt>(f, ProblemKind::Gpt);
  if (s.slot >= 0 && s.facts.fileSystem != FileSystem::None &&
      s.facts.hiddenSectors != s.state.first)
    addProblem<msgProblemHiddenSectors>(f, ProblemKind::HiddenSectors,
                                        fileSystemName(s.facts.fileSystem), s.facts.hiddenSectors,
                                        s.state.first);
}

void addChsProblems(EntryFindings& f, const Started& s) {
  if (!s.chs || s.activeSlot < 0) return;
  const ChsAddress& c = *s.chs;
  const unsigned slot = unsigned(s.activeSlot);
  const std::uint32_t first = slotState(f.trial.after[0], slot).first;
  if (!c.inGeometry) {
    addProblem<msgProblemChsOutside>(f, ProblemKind::ChsOutside, slot, c.cylinder, c.head,
                                     c.sector);
  } else if (c.lba != first) {
    addProblem<msgProblemChsMismatch>(f, ProblemKind::ChsMismatch, slot, c.cylinder, c.head,
                                      c.sector, c.lba, first);
  }
}

}  // namespace

SlotState slotState(const Sector& sector, unsigned slot) {
  const std::uint8_t* e = mbr::slot(sector.data(), slot);
  SlotState s;
  s.indicator = e[mbr::kBootIndicator];
  s.type = e[mbr::kTypeId];
  s.first = mbr::read32(e + mbr::kFirstSector);
  s.count = mbr::read32(e + mbr::kSectorCount);
  std::memcpy(s.startChs, e + mbr::kStartChs, 3);
  return s;
}

ChsAddress chsAddress(const std::uint8_t chs[3], const bench::Geometry& g) {
  ChsAddress a;
  a.head = chs[0];
  a.sector = chs[1] & 0x3F;
  a.cylinder = unsigned(chs[2]) | unsigned(chs[1] & 0xC0) << 2;
  a.inGeometry =
      a.sector >= 1 && a.sector <= g.sectors && a.head < g.heads && a.cylinder < g.cylinders;
  if (a.inGeometry)
    a.lba = (std::uint32_t(a.cylinder) * g.heads + a.head) * g.sectors + a.sector - 1;
  return a;
}

const char* problemKindName(ProblemKind kind) {
  switch (kind) {
    case ProblemKind::NotBootable:
      return "not_bootable";
    case ProblemKind::BootFailed:
      return "int18";
    case ProblemKind::Halted:
      return "halted";
    case ProblemKind::Loop:
      return "loop";
    case ProblemKind::CpuException:
      return "cpu_exception";
    case ProblemKind::Interrupt:
      return "unserved_interrupt";
    case ProblemKind::Fault:
      return "fault";
    case ProblemKind::NoPrompt:
      return "no_prompt";
    case ProblemKind::Refused:
      return "password_refused";
    case ProblemKind::Interrupted:
      return "interrupted";
    case ProblemKind::NotRead:
      return "boot_sector_not_read";
    case ProblemKind::NotPartitionStart:
      return "not_a_partition_start";
    case ProblemKind::Empty:
      return "empty_boot_sector";
    case ProblemKind::Unsigned:
      return "unsigned_boot_sector";
    case ProblemKind::Gpt:
      return "gpt_protective";
    case ProblemKind::HiddenSectors:
      return "hidden_sectors";
    case ProblemKind::ChsMismatch:
      return "chs_mismatch";
    case ProblemKind::ChsOutside:
      return "chs_outside_geometry";
    case ProblemKind::MissingDisk:
      return "missing_disk";
  }
  return "?";
}

EntryFindings assess(const TrialSetup& setup, const std::string& name, std::size_t passwordKeys,
                     const Trial& trial) {
  EntryFindings f;
  f.name = name;
  f.passwordKeys = passwordKeys;
  f.trial = trial;
  for (unsigned k = 0; k < trial.after.size() && k < setup.disks.size(); ++k) {
    for (unsigned j = 0; j < mbr::kSlotCount; ++j) {
      const SlotState before = slotState(setup.disks[k].sector0, j);
      const SlotState after = slotState(trial.after[k], j);
      if (before.indicator != after.indicator || before.type != after.type)
        f.changes.push_back({k, j, before, after});
    }
  }

  if (trial.atStart == bench::Stop::ChainLoaded) {
    addProblem<msgProblemNoPrompt>(f, ProblemKind::NoPrompt);
  } else if (trial.atStart != bench::Stop::WaitingForKey || trial.typed) {
    addStopProblem(f, trial.end, trial.interrupt);
  }
  f.started = startedOf(setup, trial);
  if (f.started) {
    addBootSectorProblems(f, *f.started);
    addChsProblems(f, *f.started);
  }
  // A disk that is not there fails the boot program's read of its table.
  for (unsigned k = unsigned(setup.disks.size()); k < setup.configuredDisks; ++k) {
    for (const bench::DiskCall& c : trial.calls) {
      if (c.drive == kFirstDrive + k) {
        addProblem<msgProblemMissingDisk>(f, ProblemKind::MissingDisk, k);
        break;
      }
    }
  }
  return f;
}

TypeDescription describeType(std::uint8_t type, const std::vector<TypeMapping>& map) {
  for (const TypeMapping& m : map) {
    if (type == m.originalId) return {knownTypeName(m.originalId), false};
    if (type == m.hiddenId) return {knownTypeName(m.originalId), true};
  }
  for (const KnownPartitionType& k : KnownPartitionTypes) {
    if (type == k.originalId) return {k.name, false};
    if (type == k.hiddenId) return {k.name, true};
  }
  return {nullptr, false};
}

}  // namespace vornboot::check
