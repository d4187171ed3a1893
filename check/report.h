#pragma once
// The report of a run, as text for people and as one JSON document for
// scripts. The text is made of catalogue texts; the JSON keys and values are
// fixed (see the README and the manual page for the schema).

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "check/boot_sector.h"
#include "check/findings.h"

namespace vornboot::check {

/// What -s saved.
struct SavedCopy {
  std::string file;
  SectorZeroCode code;
  bool signed_;
};

struct Report {
  std::string source;      ///< the configuration file, or empty: the installed boot manager
  bool installed = false;  ///< VornBoot is on disk 0 now
  TrialSetup setup;
  std::vector<TypeMapping> typeMap;  ///< to name the types
  std::optional<SavedCopy> saved;
  std::vector<EntryFindings> entries;
  std::vector<std::string> leftOut;  ///< entries past the eighth, not in the boot sector
  /// True when there is something to try and every entry boots.
  bool boots() const;
  /// The disks the configuration names that the emulated BIOS lacks.
  std::vector<unsigned> missingDisks() const;
};

/// The title, the boot step and the disks.
void printReportHead(const Report& report, std::FILE* out);
/// One entry's block: screen, keys, changes, started partition, boot sector, problems.
void printEntry(const Report& report, const EntryFindings& entry, std::FILE* out);
/// The summary: one line per entry and the count of those that boot.
void printSummary(const Report& report, std::FILE* out);
/// The whole text report: head, every entry, the summary.
void printTextReport(const Report& report, std::FILE* out);

/// What -s saved: where, and what the sector holds.
void printSavedCopy(const SavedCopy& saved, std::FILE* out);

/// The JSON document of the report, with a line end.
std::string jsonReport(const Report& report);

}  // namespace vornboot::check
