#include "check/trial.h"

#include "config/key_table.h"

namespace vornboot::check {

EmulatedPc::EmulatedPc(const std::vector<EmulatedDisk>& disks, const Sector& bootSector) {
  pc_.setBudget(kInstructionBudget);
  for (const EmulatedDisk& d : disks)
    pc_.disks().add(bench::DiskImage(d.source, d.sectors, d.geometry));
  if (pc_.disks().size() > 0) pc_.disks()[0].setSector(0, bootSector.data());
}

bench::Stop EmulatedPc::boot() {
  trial_.atStart = trial_.end = pc_.boot();
  return trial_.end;
}

bench::Stop EmulatedPc::type(const std::vector<bench::Key>& keys) {
  trial_.typed = true;
  for (const bench::Key& k : keys) pc_.keyboard().press(k);
  return trial_.end = pc_.resume();
}

Trial EmulatedPc::result() {
  Trial t = trial_;
  t.screen = pc_.screen().usedLines();
  for (std::size_t k = 0; k < pc_.disks().size(); ++k) {
    Sector s{};
    pc_.disks()[k].read(0, s.data());
    t.after.push_back(s);
  }
  const std::vector<bench::DiskCall>& calls = pc_.disks().calls();
  t.calls = calls;
  for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
    if (it->function == 0x03) break;
    if (it->function == 0x02 || it->function == 0x42) {
      t.bootRead = *it;
      break;
    }
  }
  const std::vector<std::uint8_t> loaded = pc_.memory(bench::Pc::kBootAddress, mbr::kSectorSize);
  std::copy(loaded.begin(), loaded.end(), t.loaded.begin());
  t.interrupt = pc_.machine().lastInterrupt();
  return t;
}

Trial tryBoot(const std::vector<EmulatedDisk>& disks, const Sector& bootSector,
              const std::vector<bench::Key>& keys) {
  EmulatedPc pc(disks, bootSector);
  if (pc.boot() == bench::Stop::WaitingForKey) pc.type(keys);
  return pc.result();
}

std::vector<bench::Key> passwordKeys(const char* scanCodes) {
  std::vector<bench::Key> keys;
  for (const char* p = scanCodes; *p; ++p) {
    const std::uint8_t scan = std::uint8_t(*p);
    const int c = characterOf(scan);
    keys.push_back({scan, std::uint8_t(c < 0 ? 0 : c)});
  }
  keys.push_back(bench::kEnter);
  return keys;
}

}  // namespace vornboot::check
