#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "base/sector_format.h"
#include "check/save_copy.h"

namespace vornboot::check {

SaveResult saveSectorCopy(const char* path, const std::uint8_t* sector) {
  // O_EXCL: a disk, a block device, a link or an earlier copy is never opened.
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return errno == EEXIST ? SaveResult::Exists : SaveResult::Failed;
  const bool written = ::write(fd, sector, mbr::kSectorSize) == ssize_t(mbr::kSectorSize);
  const bool synced = written && fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  if (written && synced && closed) return SaveResult::Saved;
  ::unlink(path);
  return SaveResult::Failed;
}

}  // namespace vornboot::check
