#pragma once

#include "config/model.h"

namespace vornboot {

/// Fills a freshly made `config` from the boot manager installed in disk 0's
/// sector copy: disk count, no_logo, the four texts (absent when empty or the
/// default), the type map and the entries with one plan per disk 0..N-1.
/// Partitions neither active nor hidden come back Enable when the disk is in
/// the inventory and the slot is not empty.
///
/// Reads only bytes 0..439 of the copy, whatever they hold: a walk that would
/// pass 439 ends there, keeping what was read before (a text cut short is
/// dropped, and so are the map after it; a record cut short ends the entry
/// list). Entries are found through their own pointer, so they are read even
/// when the texts are cut short. Does nothing without disk 0.
void configureFromInstalledImage(BootConfig& config);

}  // namespace vornboot
