#pragma once

#include "config/model.h"

namespace vornboot {

/// Fills a freshly made `config` from the partition tables of its disks: a
/// type map covering every type found (known types with their known hidden
/// pair, others with the type OR 0x10 as hidden ID) and one entry "Original"
/// without password that plans every partition as it is now (active ones
/// Active, the others Enable or Disable by their type). Slots after the first
/// empty slot of a table are not looked at. Never fails.
void configureFromPartitionTables(BootConfig& config);

}  // namespace vornboot
