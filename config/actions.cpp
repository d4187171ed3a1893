#include "config/actions.h"

#include <algorithm>

#include "config/key_table.h"

namespace vornboot {

namespace {
constexpr std::uint32_t kHighestDisk = 15;
constexpr std::uint32_t kHighestPartition = mbr::kSlotCount - 1;
constexpr std::uint32_t kHighestTypeId = 0xFF;
}  // namespace

bool StatementActions::mapPair(unsigned line, std::uint32_t originalId, std::uint32_t hiddenId) {
  if (originalId > kHighestTypeId || hiddenId > kHighestTypeId) {
    return diagnostics_.error<msgPartitionIdExceedsFF>(line);
  }
  if (originalId == hiddenId) return diagnostics_.warning<msgHiddenSameAsOriginal>(line);
  // A map holds at most 128 pairs (every ID once), so a scan is cheap.
  for (const TypeMapping& m : config_.typeMap) {
    if (originalId == m.originalId || originalId == m.hiddenId || hiddenId == m.originalId ||
        hiddenId == m.hiddenId) {
      return diagnostics_.error<msgDuplicatedPartitionId>(line);
    }
  }
  const auto original = std::uint8_t(originalId);
  config_.typeMap.push_back({original, std::uint8_t(hiddenId), FixedText(knownTypeName(original))});
  return true;
}

void StatementActions::entryHeader(const char* name) {
  if (const BootEntry* previous = config_.currentEntry()) {
    otherPasswords_.insert(std::string(previous->password.c_str()));
  }
  config_.entries.emplace_back().name.set(name);
}

bool StatementActions::entryEnd(unsigned line) {
  const BootEntry* entry = config_.currentEntry();
  if (!entry) return false;
  // Every entry before this one has ended, with at most one of them without a
  // password; this entry would be the second.
  if (entry->password.empty() && endedWithoutPassword_ > 0) {
    return diagnostics_.error<msgPasswordNotUnique>(line, entry->name.c_str());
  }
  if (!entry->findPlan(0))
    return diagnostics_.error<msgDiskZeroNotDefined>(line, entry->name.c_str());
  if (entry->password.empty()) ++endedWithoutPassword_;
  return true;
}

bool StatementActions::compilePassword(const char* text, char* out, std::size_t& length,
                                       char& bad) {
  bool bracket = false;
  length = 0;
  for (const char* p = text; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c == '(') {
      bracket = true;
    } else if (c == ')') {
      bracket = false;
    } else if (bracket) {
      out[length++] = static_cast<char>(c);
    } else {
      int code = scanCodeOf(c);
      if (code < 0) {
        bad = static_cast<char>(c);
        out[length] = '\0';
        return false;
      }
      out[length++] = static_cast<char>(code);
    }
  }
  out[length] = '\0';
  return true;
}

bool StatementActions::password(unsigned line, const char* text) {
  BootEntry* entry = config_.currentEntry();
  if (!entry) return false;
  char compiled[FixedText::kSize * 2];
  std::size_t length = 0;
  char bad = 0;
  if (!compilePassword(text, compiled, length, bad)) {
    return diagnostics_.error<msgUnknownCharacter>(line, bad);
  }
  if (otherPasswords_.count(std::string(compiled, length))) {
    return diagnostics_.error<msgPasswordNotUnique>(line, entry->name.c_str());
  }
  entry->password.set(compiled, length);
  return true;
}

bool StatementActions::diskHeader(unsigned line, std::uint32_t diskNumber) {
  BootEntry* entry = config_.currentEntry();
  if (!entry) return false;
  if (entry->findPlan(diskNumber)) return diagnostics_.error<msgDiskRedefinition>(line, diskNumber);
  if (diskNumber > kHighestDisk) return diagnostics_.error<msgNonExistentDisk>(line);
  currentPlan_ = &entry->diskPlans[diskNumber];
  currentDisk_ = diskNumber;
  // A disk that is not there now is kept: it may be there at boot time.
  if (!config_.physicalDisk(diskNumber)) return diagnostics_.warning<msgNonExistentDisk>(line);
  return true;
}

bool StatementActions::diskEnd(unsigned line) {
  const BootEntry* entry = config_.currentEntry();
  const EntryDisk* plan = std::exchange(currentPlan_, nullptr);
  if (!entry || !plan) return false;
  if (currentDisk_ != 0) return true;
  const auto& states = plan->partitionState;
  if (std::find(states.begin(), states.end(), Active) != states.end()) return true;
  return diagnostics_.error<msgNoActivePartition>(line, entry->name.c_str());
}

bool StatementActions::partitionState(unsigned line, std::uint32_t partition,
                                      PartitionState state) {
  if (!currentPlan_) return false;
  if (partition > kHighestPartition) return diagnostics_.error<msgPartitionNumberExceeds3>(line);
  if (currentPlan_->partitionState[partition] != Unspecified) {
    return diagnostics_.error<msgPartitionRedefinition>(line, partition);
  }
  currentPlan_->partitionState[partition] = state;
  return true;
}

void StatementActions::displayText(DisplayText which, const char* text) {
  config_.display.setText(which, text);
}

void StatementActions::noLogo() {
  config_.display.setNoLogo();
}

}  // namespace vornboot
