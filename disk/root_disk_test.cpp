#include "disk/root_disk.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace vornboot {
namespace {

using testing::TempFolder;

// A fake /sys and /dev: two SATA disks, an NVMe disk, an md RAID1 over sda1
// and sdb1, device-mapper devices for LVM on a partition, LVM on the RAID and
// LUKS on NVMe, and one mapping that names itself as its slave.
class FakeHost {
 public:
  FakeHost() {
    disk("pci/block/sda", {"sda1", "sda2", "sda3"});
    disk("pci/block/sdb", {"sdb1"});
    disk("pci/block/nvme0n1", {"nvme0n1p1", "nvme0n1p2", "nvme0n1p3"});
    mapped("md0", {"pci/block/sda/sda1", "pci/block/sdb/sdb1"});
    mapped("dm-0", {"pci/block/sda/sda3"});
    mapped("dm-1", {"virtual/block/md0"});
    mapped("dm-2", {"pci/block/nvme0n1/nvme0n1p3"});
    mapped("dm-9", {"virtual/block/dm-9"});
    number("8:0", "pci/block/sda");
    number("8:2", "pci/block/sda/sda2");
    number("8:16", "pci/block/sdb");
    number("259:2", "pci/block/nvme0n1/nvme0n1p2");
    number("9:0", "virtual/block/md0");
    number("253:0", "virtual/block/dm-0");
    number("253:1", "virtual/block/dm-1");
    number("253:9", "virtual/block/dm-9");
    for (const char* node : {"sda2", "sdb1", "nvme0n1p2", "dm-2"})
      t.write(std::string("dev/") + node, "");
    t.link("dev/mapper/cryptroot", t.path("dev/dm-2"));
  }

  HostTree tree(bool withMountTable) const {
    return {t.path("sys"), t.path("dev"), t.path(withMountTable ? "mountinfo" : "none")};
  }
  void mountTable(const std::string& text) const { t.write("mountinfo", text); }
  std::string device(const std::string& at) const { return t.path("sys/devices/" + at); }

 private:
  void disk(const std::string& at, std::vector<std::string> partitions) {
    t.write("sys/devices/" + at + "/size", "1000");
    t.link("sys/class/block/" + name(at), device(at));
    for (const std::string& p : partitions) {
      t.write("sys/devices/" + at + "/" + p + "/partition", "1");
      t.link("sys/class/block/" + p, device(at + "/" + p));
    }
  }
  void mapped(const std::string& n, std::vector<std::string> slaves) {
    const std::string at = "virtual/block/" + n;
    t.write("sys/devices/" + at + "/size", "1000");
    t.link("sys/class/block/" + n, device(at));
    for (const std::string& s : slaves)
      t.link("sys/devices/" + at + "/slaves/" + name(s), device(s));
  }
  void number(const std::string& majorMinor, const std::string& at) {
    t.link("sys/dev/block/" + majorMinor, device(at));
  }
  static std::string name(const std::string& at) { return at.substr(at.rfind('/') + 1); }

  TempFolder t;
};

TEST(RootDisk, FollowsPartitionsSlavesAndTheMountTableDownToAWholeDisk) {
  const std::string otherMounts =
      "21 1 0:20 / /proc rw - proc proc rw\n"
      "40 29 8:16 / /mnt/my\\040disk rw,relatime shared:5 master:1 - ext4 /dev/sdb1 rw\n";
  const struct {
    const char* why;
    unsigned major, minor;
    const char* mountTable;  // null: none
    const char* disk;
  } cases[] = {
      {"a partition of a disk", 8, 2, nullptr, "/dev/sda"},
      {"a file system on the whole disk", 8, 16, nullptr, "/dev/sdb"},
      {"an NVMe partition", 259, 2, nullptr, "/dev/nvme0n1"},
      {"LVM on a partition", 253, 0, nullptr, "/dev/sda"},
      {"md RAID1: the first of its disks in name order", 9, 0, nullptr, "/dev/sda"},
      {"LVM on md RAID", 253, 1, nullptr, "/dev/sda"},
      {"btrfs: st_dev is anonymous, the mount table names the source", 0, 45,
       "29 1 0:45 / / rw,relatime shared:1 - btrfs /dev/nvme0n1p2 rw,subvol=/@\n", "/dev/nvme0n1"},
      {"btrfs on LUKS, named through /dev/mapper", 0, 45,
       "29 1 0:45 / / rw shared:1 - btrfs /dev/mapper/cryptroot rw\n", "/dev/nvme0n1"},
      {"the last mount of / counts", 0, 45,
       "25 1 0:45 / / rw - btrfs /dev/sdb1 rw\n30 25 0:46 / / rw - btrfs /dev/sda2 rw\n",
       "/dev/sda"},
      {"an overlay root (a container) is on no disk", 0, 45,
       "29 1 0:45 / / rw - overlay overlay rw,lowerdir=/a\n", ""},
      {"a mapping that is its own slave ends", 253, 9, nullptr, ""},
      {"an unknown device number and no mount table", 7, 99, nullptr, ""},
  };
  FakeHost host;
  for (const auto& c : cases) {
    if (c.mountTable) host.mountTable(otherMounts + c.mountTable);
    EXPECT_EQ(rootDiskPath(host.tree(c.mountTable != nullptr), c.major, c.minor), c.disk) << c.why;
  }
  EXPECT_EQ(wholeDisksUnder(host.device("virtual/block/dm-1")),
            (std::vector<std::string>{"sda", "sdb"}));
}

}  // namespace
}  // namespace vornboot
