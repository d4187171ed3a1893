#include "disk/image_mode.h"

#include "base/sector_format.h"

namespace vornboot {

std::vector<std::string> imageModePaths(const char* list, char separator) {
  std::vector<std::string> paths;
  std::string current;
  for (const char* p = list; p && *p; ++p) {
    if (*p == separator) {
      if (!current.empty()) paths.push_back(current);
      current.clear();
    } else {
      current += *p;
    }
  }
  if (!current.empty()) paths.push_back(current);
  if (paths.size() > kImageModeMaxDisks) paths.resize(kImageModeMaxDisks);
  return paths;
}

DriveLayout layoutOfSector0(const std::uint8_t* sector0) {
  return DriveLayout{mbr::signature(sector0), mbr::usedSlotCount(sector0)};
}

}  // namespace vornboot
