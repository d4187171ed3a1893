#include "disk/disk_error.h"

namespace vornboot {

void describeDiskError(const DiskError& error, char (&out)[kMessageBufferSize]) {
  const char* path = error.path.c_str();
  const char* reason = error.reason.c_str();
  switch (error.kind) {
    case DiskError::None:
      out[0] = '\0';
      return;
    case DiskError::NotListed:
      return composeMessage<msgDiskNotListed>(out);
    case DiskError::NoDevices:
      return composeMessage<msgNoDiskDevices>(out);
    case DiskError::Short:
      return composeMessage<msgDiskShortTransfer>(out, path, error.transferred);
    case DiskError::Mismatch:
      return composeMessage<msgDiskReadBackDiffers>(out, path);
    case DiskError::System:
      break;
  }
  switch (error.remedy) {
    case DiskError::RunAsRoot:
      return composeMessage<msgDiskSystemErrorRunAsRoot>(out, path, reason);
    case DiskError::RunAsAdministrator:
      return composeMessage<msgDiskSystemErrorRunAsAdministrator>(out, path, reason);
    case DiskError::NoRemedy:
      break;
  }
  composeMessage<msgDiskSystemError>(out, path, reason);
}

}  // namespace vornboot
