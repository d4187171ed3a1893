#include "check/report.h"

#include "check/json.h"

namespace vornboot::check {

namespace {

template <MessageId id, typename... Args>
std::string text(Args... args) {
  char buffer[kMessageBufferSize];
  composeMessage<id>(buffer, args...);
  return buffer;
}

/// Prints a catalogue text and a line end, without trailing blanks.
template <MessageId id, typename... Args>
void line(std::FILE* out, Args... args) {
  std::string s = text<id>(args...);
  s.erase(s.find_last_not_of(' ') + 1);
  std::fprintf(out, "%s\n", s.c_str());
}

std::string typeName(std::uint8_t type, const std::vector<TypeMapping>& map) {
  const TypeDescription d = describeType(type, map);
  return d.name ? d.name : text<msgWordUnknown>();
}

std::string slotText(const SlotState& s, const std::vector<TypeMapping>& map) {
  const std::string state = s.indicator == 0x80   ? text<msgWordActive>()
                            : s.indicator == 0x00 ? text<msgWordInactive>()
                                                  : text<msgCheckIndicator>(unsigned(s.indicator));
  const std::string visibility =
      describeType(s.type, map).hidden ? text<msgWordHidden>() : text<msgWordVisible>();
  return text<msgCheckSlotState>(state.c_str(), unsigned(s.type), typeName(s.type, map).c_str(),
                                 visibility.c_str());
}

const char* jsonStopName(bench::Stop stop) {
  using bench::Stop;
  switch (stop) {
    case Stop::Halted:
      return "halted";
    case Stop::WaitingForKey:
      return "waiting_for_key";
    case Stop::BootFailed:
      return "int18";
    case Stop::ChainLoaded:
      return "chain_loaded";
    case Stop::BudgetExhausted:
      return "loop";
    case Stop::CpuException:
      return "cpu_exception";
    case Stop::UnhandledInterrupt:
      return "unserved_interrupt";
    case Stop::Fault:
      return "fault";
    case Stop::NotBootable:
      return "not_bootable";
  }
  return "?";
}

void printStarted(const Report& r, const Started& s, std::FILE* out) {
  if (s.slot >= 0) {
    line<msgCheckStarted>(out, unsigned(s.slot), unsigned(s.state.type),
                          typeName(s.state.type, r.typeMap).c_str(), s.state.first, s.state.count);
  } else if (s.addressed) {
    line<msgCheckStartedSector>(out, s.lba);
  }
  if (!s.addressed || !s.read) {
    line<msgCheckBootSectorNotRead>(out);
  } else {
    const std::string signature = s.facts.signed_ ? text<msgWordPresent>() : text<msgWordMissing>();
    line<msgCheckBootSector>(out, signature.c_str());
    if (s.facts.fileSystem != FileSystem::None)
      line<msgCheckHiddenSectors>(out, fileSystemName(s.facts.fileSystem), s.facts.hiddenSectors,
                                  s.state.first);
  }
  if (s.chs) {
    if (s.chs->inGeometry) {
      line<msgCheckChs>(out, s.chs->cylinder, s.chs->head, s.chs->sector, s.chs->lba);
    } else {
      line<msgCheckChsOutside>(out, s.chs->cylinder, s.chs->head, s.chs->sector);
    }
  }
}

void jsonSlot(JsonWriter& w, const SlotState& s) {
  w.key("indicator");
  w.number(s.indicator);
  w.key("type");
  w.number(s.type);
}

void jsonStarted(JsonWriter& w, const Started& s) {
  w.beginObject();
  w.key("disk");
  w.number(0);
  w.key("slot");
  s.slot >= 0 ? w.number(unsigned(s.slot)) : w.null();
  w.key("active_slot");
  s.activeSlot >= 0 ? w.number(unsigned(s.activeSlot)) : w.null();
  w.key("lba");
  s.addressed ? w.number(s.lba) : w.null();
  w.key("sectors");
  s.slot >= 0 ? w.number(s.state.count) : w.null();
  w.key("type");
  s.slot >= 0 ? w.number(s.state.type) : w.null();
  const bool read = s.addressed && s.read;
  w.key("read");
  w.boolean(read);
  w.key("signed");
  w.boolean(read && s.facts.signed_);
  w.key("empty");
  w.boolean(read && s.facts.empty);
  w.key("file_system");
  read&& s.facts.fileSystem != FileSystem::None ? w.string(fileSystemName(s.facts.fileSystem))
                                                : w.null();
  w.key("hidden_sectors");
  read&& s.facts.fileSystem != FileSystem::None ? w.number(s.facts.hiddenSectors) : w.null();
  w.key("chs");
  if (s.chs) {
    w.beginObject();
    w.key("cylinder");
    w.number(s.chs->cylinder);
    w.key("head");
    w.number(s.chs->head);
    w.key("sector");
    w.number(s.chs->sector);
    w.key("lba");
    s.chs->inGeometry ? w.number(s.chs->lba) : w.null();
    w.endObject();
  } else {
    w.null();
  }
  w.endObject();
}

void jsonEntry(JsonWriter& w, const EntryFindings& e) {
  w.beginObject();
  w.key("name");
  w.string(e.name);
  w.key("password_keys");
  w.number(e.passwordKeys);
  w.key("boots");
  w.boolean(e.boots());
  w.key("stop");
  w.string(jsonStopName(e.trial.end));
  w.key("screen");
  w.beginArray();
  for (const std::string& l : e.trial.screen) w.string(l);
  w.endArray();
  w.key("started");
  e.started ? jsonStarted(w, *e.started) : w.null();
  w.key("tables");
  w.beginArray();
  for (std::size_t k = 0; k < e.trial.after.size(); ++k) {
    w.beginObject();
    w.key("disk");
    w.number(k);
    w.key("slots");
    w.beginArray();
    for (unsigned j = 0; j < mbr::kSlotCount; ++j) {
      const SlotState s = slotState(e.trial.after[k], j);
      w.beginObject();
      w.key("slot");
      w.number(j);
      w.key("active");
      w.boolean(s.indicator != 0);
      jsonSlot(w, s);
      w.key("lba");
      w.number(s.first);
      w.key("sectors");
      w.number(s.count);
      w.endObject();
    }
    w.endArray();
    w.endObject();
  }
  w.endArray();
  w.key("changes");
  w.beginArray();
  for (const SlotChange& c : e.changes) {
    w.beginObject();
    w.key("disk");
    w.number(c.disk);
    w.key("slot");
    w.number(c.slot);
    w.key("before");
    w.beginObject();
    jsonSlot(w, c.before);
    w.endObject();
    w.key("after");
    w.beginObject();
    jsonSlot(w, c.after);
    w.endObject();
    w.endObject();
  }
  w.endArray();
  w.key("problems");
  w.beginArray();
  for (const Problem& p : e.problems) w.string(p.text);
  w.endArray();
  w.key("problem_kinds");
  w.beginArray();
  for (const Problem& p : e.problems) w.string(problemKindName(p.kind));
  w.endArray();
  w.endObject();
}

}  // namespace

bool Report::boots() const {
  if (entries.empty()) return false;
  for (const EntryFindings& e : entries)
    if (!e.boots()) return false;
  return true;
}

std::vector<unsigned> Report::missingDisks() const {
  std::vector<unsigned> missing;
  for (unsigned k = unsigned(setup.disks.size()); k < setup.configuredDisks; ++k)
    missing.push_back(k);
  return missing;
}

void printReportHead(const Report& r, std::FILE* out) {
  if (r.source.empty()) {
    line<msgCheckTitleInstalled>(out);
  } else {
    line<msgCheckTitleFile>(out, r.source.c_str());
  }
  if (r.setup.chsStep) {
    line<msgCheckStepChs>(out);
  } else {
    line<msgCheckStepExtended>(out);
  }
  for (std::size_t k = 0; k < r.setup.disks.size(); ++k) {
    const EmulatedDisk& d = r.setup.disks[k];
    const bench::Geometry& g = d.geometry;
    if (d.sizeKnown) {
      line<msgCheckDisk>(out, unsigned(k), d.sectors, unsigned(g.cylinders), unsigned(g.heads),
                         unsigned(g.sectors));
    } else {
      line<msgCheckDiskSizeUnknown>(out, unsigned(k), unsigned(g.cylinders), unsigned(g.heads),
                                    unsigned(g.sectors));
    }
  }
  for (unsigned k : r.missingDisks()) line<msgCheckDiskMissing>(out, k);
  for (const std::string& name : r.leftOut) line<msgCheckLeftOut>(out, name.c_str());
}

void printEntry(const Report& r, const EntryFindings& e, std::FILE* out) {
  line<msgCheckEntry>(out, e.name.c_str());
  line<msgCheckScreen>(out);
  for (const std::string& l : e.trial.screen) line<msgCheckScreenLine>(out, l.c_str());
  if (e.trial.typed) {
    if (e.passwordKeys == 0) {
      line<msgCheckTypedEnter>(out);
    } else {
      line<msgCheckTyped>(out, unsigned(e.passwordKeys));
    }
  }
  for (const SlotChange& c : e.changes) {
    line<msgCheckSlotChange>(out, c.disk, c.slot, slotText(c.before, r.typeMap).c_str(),
                             slotText(c.after, r.typeMap).c_str());
  }
  if (e.changes.empty()) line<msgCheckNoChange>(out);
  if (e.started) {
    printStarted(r, *e.started, out);
  } else {
    line<msgCheckStartedNothing>(out);
  }
  for (const Problem& p : e.problems) line<msgCheckProblem>(out, p.text.c_str());
}

void printSummary(const Report& r, std::FILE* out) {
  line<msgCheckSummary>(out);
  unsigned booting = 0;
  for (const EntryFindings& e : r.entries) {
    std::fputs(text<msgCheckSummaryEntry>(e.name.c_str()).c_str(), out);
    if (e.boots()) {
      ++booting;
      std::fputs(text<msgWordBoots>().c_str(), out);
    }
    for (std::size_t i = 0; i < e.problems.size(); ++i)
      std::fprintf(out, "%s%s", i ? "; " : "", e.problems[i].text.c_str());
    std::fputc('\n', out);
  }
  line<msgCheckTotal>(out, booting, unsigned(r.entries.size()));
}

void printTextReport(const Report& r, std::FILE* out) {
  printReportHead(r, out);
  for (const EntryFindings& e : r.entries) {
    std::fputc('\n', out);
    printEntry(r, e, out);
  }
  std::fputc('\n', out);
  printSummary(r, out);
}

void printSavedCopy(const SavedCopy& saved, std::FILE* out) {
  line<msgCheckSaved>(out, saved.file.c_str());
  switch (saved.code) {
    case SectorZeroCode::VornBoot:
      line<msgCheckHoldsVornBoot>(out);
      break;
    case SectorZeroCode::Standard:
      line<msgCheckHoldsStandard>(out);
      break;
    case SectorZeroCode::NoCode:
      line<msgCheckHoldsNoCode>(out);
      break;
    case SectorZeroCode::Other:
      line<msgCheckHoldsOther>(out);
      break;
  }
  if (!saved.signed_) line<msgCheckUnsigned>(out);
}

std::string jsonReport(const Report& r) {
  std::string out;
  JsonWriter w(out);
  w.beginObject();
  w.key("source");
  r.source.empty() ? w.null() : w.string(r.source);
  w.key("installed");
  w.boolean(r.installed);
  w.key("boot_step");
  w.string(r.setup.chsStep ? "chs" : "extended");
  w.key("budget");
  w.number(kInstructionBudget);
  w.key("disks");
  w.beginArray();
  for (std::size_t k = 0; k < r.setup.disks.size(); ++k) {
    const EmulatedDisk& d = r.setup.disks[k];
    w.beginObject();
    w.key("disk");
    w.number(k);
    w.key("sectors");
    d.sizeKnown ? w.number(d.sectors) : w.null();
    w.key("geometry");
    w.beginObject();
    w.key("cylinders");
    w.number(d.geometry.cylinders);
    w.key("heads");
    w.number(d.geometry.heads);
    w.key("sectors");
    w.number(d.geometry.sectors);
    w.endObject();
    w.endObject();
  }
  w.endArray();
  w.key("configured_disks");
  w.number(r.setup.configuredDisks);
  w.key("missing_disks");
  w.beginArray();
  for (unsigned k : r.missingDisks()) w.number(k);
  w.endArray();
  w.key("saved");
  if (r.saved) {
    w.beginObject();
    w.key("file");
    w.string(r.saved->file);
    w.key("holds");
    w.string(sectorZeroCodeName(r.saved->code));
    w.key("signed");
    w.boolean(r.saved->signed_);
    w.endObject();
  } else {
    w.null();
  }
  w.key("left_out");
  w.beginArray();
  for (const std::string& name : r.leftOut) w.string(name);
  w.endArray();
  w.key("entries");
  w.beginArray();
  for (const EntryFindings& e : r.entries) jsonEntry(w, e);
  w.endArray();
  w.key("boots");
  w.boolean(r.boots());
  w.endObject();
  return out;
}

}  // namespace vornboot::check
