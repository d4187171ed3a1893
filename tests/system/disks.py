"""Raw disk images for the boot tests.

Partition tables are written with sfdisk; the CHS fields are then set for the
geometry that the test pins in QEMU (16 heads, 63 sectors per track), because
sfdisk assumes 255 heads, which an IDE disk cannot have. Where a disk's
controller takes no pinned geometry (USB, NVMe), `set_chs` rewrites them for
the geometry that the BIOS reports. Partition boot sectors are the marker
program with its label, disk and slot patched in.
"""

import os
import shutil
import struct
import subprocess

from harness import Disk

SECTOR = 512
HEADS = 16
TRANSLATED_HEADS = 255
TRACK = 63
TABLE = 446

MARKER_LABEL = 428
MARKER_DISK = 436
MARKER_PART = 437
FAT_PARAMETERS = range(3, 90)


def tool(name):
    """A program by name; sfdisk and mkfs.fat live in sbin, which an ordinary
    user's PATH may lack."""
    return shutil.which(name) or shutil.which(name, path="/usr/sbin:/sbin") or name


class Partition:
    """A table slot. `boot` is the 512-byte sector to put at its first sector
    (or None to leave it as it is); `indicator` overrides the boot indicator."""

    def __init__(self, start, size, type_id, active=False, boot=None, indicator=None):
        self.start = start
        self.size = size
        self.type_id = type_id
        self.active = active
        self.boot = boot
        self.indicator = indicator


def chs_bytes(lba, cylinders, heads=HEADS, sectors=TRACK):
    """The three CHS bytes of an entry for `lba`; beyond the addressable
    range the conventional maximum (cylinder 1023, head 254, sector 63)."""
    cylinder, rest = divmod(lba, heads * sectors)
    if cylinder >= min(cylinders, 1024):
        return bytes([0xFE, 0xFF, 0xFF])
    head, sector = divmod(rest, sectors)
    sector += 1
    return bytes([head, sector | ((cylinder >> 2) & 0xC0), cylinder & 0xFF])


def marker_sector(marker, label, disk, part):
    """The marker program patched to tell `label`, its disk and its slot."""
    sector = bytearray(marker)
    name = label.encode()[:7]
    sector[MARKER_LABEL:MARKER_LABEL + 8] = name + bytes(8 - len(name))
    sector[MARKER_DISK] = disk
    sector[MARKER_PART] = part
    return bytes(sector)


def read_sector(path, lba):
    with open(path, "rb") as f:
        f.seek(lba * SECTOR)
        return f.read(SECTOR)


def write_sector(path, lba, data):
    assert len(data) == SECTOR
    with open(path, "r+b") as f:
        f.seek(lba * SECTOR)
        f.write(data)


def read_table(path):
    """The four slots of sector 0 as (boot indicator, type ID, start, size)."""
    sector = read_sector(path, 0)
    slots = []
    for slot in range(4):
        entry = sector[TABLE + 16 * slot:TABLE + 16 * (slot + 1)]
        start, size = struct.unpack_from("<II", entry, 8)
        slots.append((entry[0], entry[4], start, size))
    return slots


def set_chs(path, geometry):
    """Rewrites the CHS fields of every used slot of sector 0 for `geometry`
    (cylinders, heads, sectors), from the slots' start and size."""
    cylinders, heads, sectors = geometry
    sector = bytearray(read_sector(path, 0))
    for slot, (_, type_id, start, size) in enumerate(read_table(path)):
        if type_id == 0 and size == 0:
            continue
        entry = TABLE + 16 * slot
        sector[entry + 1:entry + 4] = chs_bytes(start, cylinders, heads, sectors)
        sector[entry + 5:entry + 8] = chs_bytes(start + size - 1, cylinders, heads, sectors)
    write_sector(path, 0, bytes(sector))


def patch_table(path, slot, indicator=None, type_id=None):
    sector = bytearray(read_sector(path, 0))
    entry = TABLE + 16 * slot
    if indicator is not None:
        sector[entry] = indicator
    if type_id is not None:
        sector[entry + 4] = type_id
    write_sector(path, 0, bytes(sector))


def make_disk(path, partitions, size_mb=32, signature=0x5642_0000, cylinders=None,
              translated=False):
    """Creates an image with the given slots (a list of four, None = empty).
    `cylinders` pins a smaller geometry than the image, so that later sectors
    lie beyond the CHS range. With `translated` the disk keeps QEMU's own
    physical geometry and the BIOS is told to use LBA translation (255 heads,
    63 sectors), for which the CHS fields are written: a large disk as PCs
    see it. Returns the `Disk` to give to the machine."""
    total = size_mb * 1024 * 1024 // SECTOR
    if cylinders is None:
        cylinders = min(total // (HEADS * TRACK), 1024)
    with open(path, "wb") as f:
        f.truncate(total * SECTOR)
    name = os.path.basename(path)
    lines = ["label: dos", f"label-id: 0x{signature:08x}", "unit: sectors"]
    for slot, part in enumerate(partitions):
        if part is None:
            continue
        line = f"{name}{slot + 1} : start={part.start}, size={part.size}, type={part.type_id:x}"
        if part.active:
            line += ", bootable"
        lines.append(line)
    subprocess.run([tool("sfdisk"), "--quiet", "--no-reread", "--no-tell-kernel", path],
                   input="\n".join(lines) + "\n", text=True, check=True,
                   stdout=subprocess.DEVNULL, cwd=os.path.dirname(path) or ".")
    for slot, part in enumerate(partitions):
        if part is not None and part.indicator is not None:
            patch_table(path, slot, indicator=part.indicator)
    if translated:
        set_chs(path, (1024, TRANSLATED_HEADS, TRACK))
    else:
        set_chs(path, (cylinders, HEADS, TRACK))
    for part in partitions:
        if part is not None and part.boot is not None:
            write_sector(path, part.start, part.boot)
    if translated:
        return Disk(path, options="bios-chs-trans=lba")
    return Disk(path, (cylinders, HEADS, TRACK))


def marker_disk(path, marker, disk_number, partitions, **options):
    """Like `make_disk`, and every slot without a boot sector of its own gets
    the marker labelled "D<disk>P<slot>"."""
    for slot, part in enumerate(partitions):
        if part is not None and part.boot is None:
            part.boot = marker_sector(marker, f"D{disk_number}P{slot}", disk_number, slot)
    return make_disk(path, partitions, **options)


def demo_disks(directory, marker):
    """The demo's two disks (examples/demo.conf is written for them): disk 0
    with Windows (NTFS), a rescue system (FAT32) and Linux, disk 1 with
    Windows and Linux data. Every slot starts the marker with its own label."""
    def part(start, size, type_id, label, disk, slot, active=False):
        return Partition(start, size, type_id, active=active,
                         boot=marker_sector(marker, label, disk, slot))

    return [
        make_disk(os.path.join(directory, "disk0.img"), [
            part(2048, 16384, 0x07, "WINDOWS", 0, 0, active=True),
            part(18432, 16384, 0x0B, "RESCUE", 0, 1),
            part(34816, 30720, 0x83, "LINUX", 0, 2),
            None], size_mb=32, signature=0x0DE0B007),
        make_disk(os.path.join(directory, "disk1.img"), [
            part(2048, 12288, 0x07, "WINDATA", 1, 0),
            part(14336, 18432, 0x83, "LINDATA", 1, 1)], size_mb=16, signature=0x0DE0B001),
    ]


def format_fat(disk_path, part, fat_bits=32, label="VORNTEST"):
    """Makes a FAT file system in the partition (mkfs.fat on a separate file,
    copied into place). Returns the path of the partition file, kept for
    tools that work on it before `put_partition_file` copies it back."""
    part_path = f"{disk_path}.p{part.start}"
    with open(part_path, "wb") as f:
        f.truncate(part.size * SECTOR)
    subprocess.run([tool("mkfs.fat"), "-F", str(fat_bits), "-h", str(part.start), "-n", label,
                    part_path], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return part_path


def put_partition_file(disk_path, part, part_path):
    with open(part_path, "rb") as src, open(disk_path, "r+b") as dst:
        dst.seek(part.start * SECTOR)
        while True:
            chunk = src.read(1 << 20)
            if not chunk:
                break
            dst.write(chunk)
    os.remove(part_path)


def with_fat_parameters(marker, fat_sector):
    """The marker program carrying a FAT boot sector's parameter block."""
    sector = bytearray(marker)
    for i in FAT_PARAMETERS:
        sector[i] = fat_sector[i]
    return bytes(sector)
