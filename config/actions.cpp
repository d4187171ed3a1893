#include "config/actions.h"

#include "config/key_table.h"
#include "driver/catalog.h"

namespace vornboot {

bool StatementActions::mapPair(std::uint32_t originalId, std::uint32_t hiddenId) {
  if (originalId > 0xFF || hiddenId > 0xFF) return session_.actionError(msgPartitionIdExceedsFF);
  if (originalId == hiddenId) return session_.actionWarning(msgHiddenSameAsOriginal);
  BootConfig& config = session_.config;
  // A map holds at most 128 pairs (every ID once), so a scan is cheap.
  for (std::size_t i = 0; i < config.typeMap.count(); ++i) {
    const TypeMapping& m = config.typeMap[i];
    if (originalId == m.originalId || originalId == m.hiddenId || hiddenId == m.originalId ||
        hiddenId == m.hiddenId) {
      return session_.actionError(msgDuplicatedPartitionId);
    }
  }
  const char* name = knownTypeName(std::uint8_t(originalId));
  config.typeMap.append(TypeMapping(std::uint8_t(originalId), std::uint8_t(hiddenId), name));
  return true;
}

bool StatementActions::entryHeader(const char* name) {
  BootConfig& config = session_.config;
  if (const BootEntry* previous = config.currentEntry()) {
    otherPasswords_.insert(std::string(previous->password.c_str()));
  }
  BootEntry entry;
  entry.name.set(name);
  config.entries.append(entry);
  return true;
}

bool StatementActions::entryEnd() {
  const BootEntry* entry = session_.config.currentEntry();
  if (!entry) return false;
  if (entry->password.empty()) {
    // Every entry before this one has ended, with at most one of them
    // without a password; this entry would be the second.
    if (endedWithoutPassword_ > 0) {
      return session_.actionError(msgPasswordNotUnique, entry->name.c_str());
    }
  }
  if (!entry->findPlan(0)) return session_.actionError(msgDiskZeroNotDefined, entry->name.c_str());
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

bool StatementActions::password(const char* text) {
  BootEntry* entry = session_.config.currentEntry();
  if (!entry) return false;
  char compiled[FixedText::kSize * 2];
  std::size_t length = 0;
  char bad = 0;
  if (!compilePassword(text, compiled, length, bad)) {
    return session_.actionError(msgUnknownCharacter, static_cast<int>(bad));
  }
  if (otherPasswords_.count(std::string(compiled, length))) {
    return session_.actionError(msgPasswordNotUnique, entry->name.c_str());
  }
  entry->password.set(compiled, length);
  return true;
}

bool StatementActions::diskHeader(std::uint32_t diskNumber) {
  BootConfig& config = session_.config;
  if (diskNumber >= config.usedDiskCount) config.usedDiskCount = diskNumber + 1;
  BootEntry* entry = config.currentEntry();
  if (!entry) return false;
  if (entry->findPlan(diskNumber)) return session_.actionError(msgDiskRedefinition, diskNumber);
  if (diskNumber > 15) return session_.actionError(msgNonExistentDisk);
  if (diskNumber < config.disks.count()) {
    entry->diskPlans.append(EntryDisk(&config.disks[diskNumber], diskNumber));
    return true;
  }
  entry->diskPlans.append(EntryDisk(nullptr, diskNumber));
  return session_.actionWarning(msgNonExistentDisk);
}

bool StatementActions::diskEnd() {
  BootConfig& config = session_.config;
  const BootEntry* entry = config.currentEntry();
  const EntryDisk* plan = config.currentPlan();
  if (!entry || !plan) return false;
  if (plan->planDiskNumber() != 0) return true;
  for (std::uint32_t state : plan->partitionState) {
    if (state == Active) return true;
  }
  return session_.actionError(msgNoActivePartition, entry->name.c_str());
}

bool StatementActions::partitionState(std::uint32_t partition, PartitionState state) {
  EntryDisk* plan = session_.config.currentPlan();
  if (!plan) return false;
  if (partition > 3) return session_.actionError(msgPartitionNumberExceeds3);
  if (plan->partitionState[partition] != Unspecified) {
    return session_.actionError(msgPartitionRedefinition, partition);
  }
  plan->partitionState[partition] = state;
  return true;
}

bool StatementActions::displayText(DisplayText which, const char* text) {
  DisplaySettings& display = session_.config.display;
  switch (which) {
    case DisplayText::PasswordPrompt:
      DisplaySettings::setText(display.passwordPrompt, text);
      break;
    case DisplayText::PasswordWrong:
      DisplaySettings::setText(display.passwordWrong, text);
      break;
    case DisplayText::PasswordOk:
      DisplaySettings::setText(display.passwordOk, text);
      break;
    case DisplayText::DiskError:
      DisplaySettings::setText(display.diskError, text);
      break;
  }
  return true;
}

bool StatementActions::noLogo() {
  session_.config.display.setNoLogo();
  return true;
}

}  // namespace vornboot
