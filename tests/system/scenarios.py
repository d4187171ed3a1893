"""Boot scenarios: each builds its disks, installs with VornBoot32, boots them
under SeaBIOS, types, and checks the screen and the partition tables."""

import os
import re
import struct
import subprocess

from disks import (Partition, make_disk, marker_disk, marker_sector, read_sector,
                   read_table, write_sector, patch_table, format_fat, put_partition_file,
                   with_fat_parameters, tool)
from harness import BootFailure, Machine, expect

SCENARIOS = []

BANNER = "VornBoot 2.0"
# Screen lines are compared without trailing blanks.
PROMPT = "Enter password:"
MARKER_LINE = re.compile(
    r"VBMARK (?P<label>\S*) disk=(?P<disk>\d) part=(?P<part>\d) dl=(?P<dl>[0-9A-F]{2}) "
    r"si=(?P<si>[0-9A-F]{4}) type=(?P<type>[0-9A-F?]{2})")

STANDARD_MAP = "map { {0x07, 0x17} {0x0B, 0x1B} {0x83, 0x93} }\n"


def scenario(*variants):
    """Registers a scenario once per boot step: "ext" (extended read, the
    default) and "chs" (installed with -x); "none" for those that need no
    VornBoot32 at all."""
    def register(function):
        for variant in variants or ("ext",):
            SCENARIOS.append((f"{function.__name__}[{variant}]", function, variant))
        return function
    return register


class Context:
    """What a scenario gets: its own directory, the marker program, the
    program under test and the boot step to install."""

    def __init__(self, workdir, exe, variant, marker, far_loader):
        self.workdir = workdir
        self.exe = exe
        self.variant = variant
        self.marker = marker
        self.far_loader = far_loader
        self.screenshots = []

    def path(self, name):
        return os.path.join(self.workdir, name)

    def vornboot(self, disks, *args, config=None, expect_status=0):
        """Runs VornBoot32 on the images; `config` text is written to a file
        and its name appended to the arguments."""
        arguments = list(args)
        if config is not None:
            config_path = self.path("config.txt")
            with open(config_path, "w") as f:
                f.write(config)
            # Relative, as on Windows, where a leading slash makes an option.
            arguments.append(os.path.basename(config_path))
        env = dict(os.environ, VORNBOOT_DISKS=":".join(d.path for d in disks))
        result = subprocess.run([self.exe] + arguments, env=env, capture_output=True,
                                text=True, timeout=30, cwd=self.workdir)
        if result.returncode != expect_status:
            raise BootFailure(f"VornBoot32 {' '.join(arguments)} ended with "
                              f"{result.returncode}\nstdout: {result.stdout}\n"
                              f"stderr: {result.stderr}")
        return result

    def install(self, disks, config):
        flags = ["-x"] if self.variant == "chs" else []
        result = self.vornboot(disks, *flags, config=config)
        expect("VornBoot has been successfully installed" in result.stdout,
               "install did not report success:\n" + result.stdout + result.stderr)
        sector = read_sector(disks[0].path, 0)
        expect(sector[444:446] == b"BM", "no installed marker after install")
        return sector

    def uninstall(self, disks):
        result = self.vornboot(disks, "-u")
        expect("VornBoot has been successfully uninstalled" in result.stdout,
               "uninstall did not report success:\n" + result.stdout + result.stderr)

    def machine(self, disks, name="vm"):
        return Machine(self.workdir, disks, name)

    def screenshot(self, vm, name):
        path = self.path(name + ".png")
        vm.screenshot(path)
        self.screenshots.append(path)
        return path


def booted(text):
    """The marker line on the screen, as a dict; fails when there is none."""
    found = MARKER_LINE.search(text)
    if not found:
        raise BootFailure("no marker line on the screen:\n" + text)
    return found.groupdict()


def wait_booted(vm, label, timeout=10):
    text = vm.wait_for(lambda t: MARKER_LINE.search(t) is not None, timeout,
                       f"a started boot sector (expected {label})")
    mark = booted(text)
    expect(mark["label"] == label, f"started {mark['label']}, expected {label}", vm)
    return mark, text


def lines_from(text, first):
    """The screen lines from the first one that starts with `first` on."""
    lines = text.split("\n")
    for i, line in enumerate(lines):
        if line.startswith(first):
            return lines[i:]
    raise BootFailure(f"no line starting with {first!r}:\n{text}")


def check_entry_list(vm, text, names):
    """The banner, an empty line, the names, an empty line, the prompt."""
    lines = lines_from(text, BANNER)
    expect(lines[:len(names) + 4] == [BANNER, ""] + names + ["", PROMPT],
           f"entry list {lines[:len(names) + 4]}", vm)


def check_table(path, expected, what):
    """`expected`: per slot (boot indicator, type ID), or None to skip."""
    table = read_table(path)
    for slot, want in enumerate(expected):
        if want is None:
            continue
        got = table[slot][:2]
        if got != want:
            raise BootFailure(f"{what} slot {slot}: indicator/type "
                              f"{got[0]:#04x}/{got[1]:#04x}, expected "
                              f"{want[0]:#04x}/{want[1]:#04x}; table {table}")


# -- common disks ------------------------------------------------------------

def two_disks(ctx):
    d0 = marker_disk(ctx.path("disk0.img"), ctx.marker, 0, [
        Partition(2048, 16384, 0x07, active=True),
        Partition(18432, 16384, 0x0B),
        Partition(34816, 8192, 0x83),
        None])
    d1 = marker_disk(ctx.path("disk1.img"), ctx.marker, 1, [
        Partition(2048, 8192, 0x17, active=True),
        Partition(10240, 8192, 0x83)], size_mb=16, signature=0x56420001)
    return [d0, d1]


WIN_LIN = STANDARD_MAP + """\
entry "Win" { password "win" disk 0 { active 0 disable 1 } disk 1 { disable 0 } }
entry "Lin" { password "lin" disk 0 { active 2 disable 0 disable 1 } }
"""


def check_win(disks):
    check_table(disks[0].path, [(0x80, 0x07), (0, 0x1B), (0, 0x83), (0, 0)], "disk 0")
    check_table(disks[1].path, [(0, 0x17), (0, 0x83), (0, 0), (0, 0)], "disk 1")


def check_lin(disks):
    check_table(disks[0].path, [(0, 0x17), (0, 0x1B), (0x80, 0x83), (0, 0)], "disk 0")
    check_table(disks[1].path, [(0, 0x07), (0, 0x83), (0, 0), (0, 0)], "disk 1")


def check_unchanged_except_table(before, after, what):
    expect(before[:446] == after[:446] and before[510:] == after[510:],
           f"{what}: bytes outside the partition table changed")
    for slot in range(4):
        a = before[446 + 16 * slot:462 + 16 * slot]
        b = after[446 + 16 * slot:462 + 16 * slot]
        expect(a[1:4] == b[1:4] and a[5:] == b[5:],
               f"{what}: slot {slot} changed beyond indicator and type")


# -- harness self-check (no VornBoot32) -----------------------------------------

@scenario("none")
def harness_marker_as_mbr(ctx):
    """The marker as disk 0's master boot record: drive numbering, screen
    reading and screenshots work before any boot manager exists."""
    disks = two_disks(ctx)
    d2 = marker_disk(ctx.path("disk2.img"), ctx.marker, 2,
                     [Partition(2048, 4096, 0x0C)], size_mb=8)
    disks.append(d2)
    mbr = marker_sector(ctx.marker, "MBR", 2, 0)
    write_sector(disks[0].path, 0, mbr[:446] + read_sector(disks[0].path, 0)[446:])
    with ctx.machine(disks) as vm:
        mark, _ = wait_booted(vm, "MBR")
        ctx.screenshot(vm, "marker")
    expect(mark["dl"] == "80" and mark["type"] == "0C",
           f"BIOS drive 0x82 should hold type 0C, got {mark}")


# -- resident boot program ----------------------------------------------------

@scenario("ext", "chs")
def boot_screen_and_right_password(ctx):
    disks = two_disks(ctx)
    ctx.install(disks, WIN_LIN)
    with ctx.machine(disks) as vm:
        text = vm.wait_for(PROMPT)
        lines = lines_from(text, BANNER)
        expect(lines[:6] == [BANNER, "", "Win", "Lin", "", PROMPT],
               f"boot screen lines {lines[:6]}", vm)
        column, row = vm.cursor()
        expect(column == len(PROMPT) + 1 and text.split("\n")[row] == PROMPT,
               f"cursor at {column},{row}", vm)
        vm.type("lin\n")
        mark, text = wait_booted(vm, "D0P2")
        lines = lines_from(text, PROMPT)
        expect(lines[0] == PROMPT + " OK" and lines[1] == "" and lines[2].startswith("VBMARK"),
               f"lines after the password {lines[:3]}", vm)
    expect(mark["dl"] == "80" and mark["type"] == "83", f"marker {mark}")
    check_lin(disks)


@scenario("ext", "chs")
def wrong_password_then_right(ctx):
    disks = two_disks(ctx)
    ctx.install(disks, WIN_LIN)
    with ctx.machine(disks) as vm:
        vm.wait_for(PROMPT)
        vm.type("\n")  # no entry without password: wrong
        vm.wait_for(lambda t: t.count(PROMPT) == 2, what="prompt number 2")
        vm.type("wi\n")  # a prefix is not the password
        text = vm.wait_for(lambda t: t.count(PROMPT) == 3, what="prompt number 3")
        lines = lines_from(text, PROMPT)
        expect(lines[:3] == [PROMPT + " WRONG!", PROMPT + " WRONG!", PROMPT],
               f"lines after wrong passwords {lines[:3]}", vm)
        column, row = vm.cursor()
        expect(column == len(PROMPT) + 1, f"cursor column {column}", vm)
        vm.type("wins\n")  # a longer text neither
        vm.wait_for(lambda t: t.count(PROMPT) == 4, what="prompt number 4")
        vm.type("win\n")
        mark, text = wait_booted(vm, "D0P0")
        expect(PROMPT + " OK" in text, "no OK after the right password", vm)
    expect(mark["type"] == "07", f"marker {mark}")
    check_win(disks)


@scenario("ext", "chs")
def capitals_are_accepted(ctx):
    disks = two_disks(ctx)
    ctx.install(disks, WIN_LIN)
    with ctx.machine(disks) as vm:
        vm.wait_for(PROMPT)
        vm.type("WiN\n")
        wait_booted(vm, "D0P0")
    check_win(disks)


@scenario("ext", "chs")
def backspace_is_a_key(ctx):
    disks = two_disks(ctx)
    ctx.install(disks, WIN_LIN)
    with ctx.machine(disks) as vm:
        vm.wait_for(PROMPT)
        vm.type("lin\b\n")  # right password, then Backspace: wrong
        vm.wait_for(lambda t: t.count(PROMPT) == 2 and "WRONG!" in t,
                    what="WRONG! and a second prompt")
        vm.type("lix\bn\n")  # no editing either
        vm.wait_for(lambda t: t.count(PROMPT) == 3, what="prompt number 3")
        vm.type("lin\n")
        wait_booted(vm, "D0P2")
    check_lin(disks)


@scenario("ext", "chs")
def enter_alone_chooses_entry_without_password(ctx):
    disks = two_disks(ctx)
    config = STANDARD_MAP + """\
entry "Win" { password "win" disk 0 { active 0 } }
entry "Maintenance" { disk 0 { active 1 disable 0 } disk 1 { disable 1 } }
entry "Lin" { password "lin" disk 0 { active 2 } }
"""
    ctx.install(disks, config)
    with ctx.machine(disks) as vm:
        text = vm.wait_for(PROMPT)
        expect(lines_from(text, "Win")[:3] == ["Win", "Maintenance", "Lin"],
               "entry names", vm)
        vm.type("\n")
        mark, _ = wait_booted(vm, "D0P1")
    expect(mark["type"] == "0B", f"marker {mark}")
    check_table(disks[0].path, [(0, 0x17), (0x80, 0x0B), (0, 0x83), (0, 0)], "disk 0")
    check_table(disks[1].path, [(0, 0x07), (0, 0x93), (0, 0), (0, 0)], "disk 1")


def record_passwords(sector):
    """(offset of the password, its length) of every entry record."""
    first = struct.unpack_from("<H", sector, 34)[0] - 0x600
    disks = sector[37]
    records, at = [], first
    while sector[at] != 0:
        at = sector.index(b"\r\n\0", at) + 3
        end = sector.index(0x1C, at)
        records.append((at, end - at))
        at = end + 1 + disks
    return records


@scenario("ext", "chs")
def first_matching_entry_wins(ctx):
    """Two records with the same scan codes (an image the compiler would
    refuse to make, patched here): the first one in order is chosen."""
    disks = two_disks(ctx)
    config = STANDARD_MAP + """\
entry "First" { password "abc" disk 0 { active 1 } }
entry "Second" { password "xyz" disk 0 { active 2 } }
"""
    sector = bytearray(ctx.install(disks, config))
    (first_at, first_len), (second_at, second_len) = record_passwords(sector)
    expect(first_len == second_len == 3, "password lengths")
    sector[second_at:second_at + 3] = sector[first_at:first_at + 3]
    write_sector(disks[0].path, 0, bytes(sector))
    with ctx.machine(disks) as vm:
        vm.wait_for(PROMPT)
        vm.type("xyz\n")  # no longer anybody's password
        vm.wait_for(lambda t: t.count(PROMPT) == 2, what="prompt number 2")
        vm.type("abc\n")
        wait_booted(vm, "D0P1")


def three_disks(ctx):
    d0 = marker_disk(ctx.path("disk0.img"), ctx.marker, 0, [
        Partition(2048, 8192, 0x07, active=True),
        Partition(10240, 8192, 0x1B),
        Partition(18432, 8192, 0x83),
        Partition(26624, 8192, 0x06)])
    d1 = marker_disk(ctx.path("disk1.img"), ctx.marker, 1, [
        Partition(2048, 4096, 0x17, active=True),
        Partition(6144, 4096, 0x0B),
        Partition(10240, 4096, 0x83),
        Partition(14336, 4096, 0x1B)], size_mb=16, signature=0x56420001)
    d2 = marker_disk(ctx.path("disk2.img"), ctx.marker, 2, [
        Partition(2048, 2048, 0x07),
        Partition(4096, 2048, 0x0B),
        Partition(6144, 2048, 0x93),
        Partition(8192, 2048, 0x06, active=True)], size_mb=8, signature=0x56420002)
    return [d0, d1, d2]


THREE_DISK_CONFIG = STANDARD_MAP + """\
entry "All" { password "all" disk 0 { active 1 disable 0 enable 2 disable 3 }
              disk 1 { active 3 disable 2 } disk 2 { disable 0 disable 1 active 2 } }
entry "Zero" { password "zero" disk 0 { active 2 disable 1 } }
"""


@scenario("ext", "chs")
def three_disks_rewritten(ctx):
    disks = three_disks(ctx)
    installed = ctx.install(disks, THREE_DISK_CONFIG)
    before = [read_sector(d.path, 0) for d in disks]
    with ctx.machine(disks) as vm:
        check_entry_list(vm, vm.wait_for(PROMPT), ["All", "Zero"])
        vm.type("all\n")
        mark, _ = wait_booted(vm, "D0P1")
    expect(mark["type"] == "0B", f"marker {mark}")
    # Disk 0: hidden 0B made visible and active; 07 hidden; 06 not in the map.
    check_table(disks[0].path, [(0, 0x17), (0x80, 0x0B), (0, 0x83), (0, 0x06)], "disk 0")
    check_table(disks[1].path, [(0, 0x07), (0, 0x0B), (0, 0x93), (0x80, 0x0B)], "disk 1")
    check_table(disks[2].path, [(0, 0x17), (0, 0x1B), (0x80, 0x83), (0, 0x06)], "disk 2")
    expect(before[0] == installed, "disk 0 changed before the boot")
    for k, disk in enumerate(disks):
        check_unchanged_except_table(before[k], read_sector(disk.path, 0), f"disk {k}")


@scenario("ext", "chs")
def entry_naming_only_disk0(ctx):
    disks = three_disks(ctx)
    ctx.install(disks, THREE_DISK_CONFIG)
    with ctx.machine(disks) as vm:
        check_entry_list(vm, vm.wait_for(PROMPT), ["All", "Zero"])
        vm.type("zero\n")
        mark, _ = wait_booted(vm, "D0P2")
    expect(mark["type"] == "83", f"marker {mark}")
    check_table(disks[0].path, [(0, 0x07), (0, 0x1B), (0x80, 0x83), (0, 0x06)], "disk 0")
    # Disks not named: every slot inactive, every mapped type visible.
    check_table(disks[1].path, [(0, 0x07), (0, 0x0B), (0, 0x83), (0, 0x0B)], "disk 1")
    check_table(disks[2].path, [(0, 0x07), (0, 0x0B), (0, 0x83), (0, 0x06)], "disk 2")


@scenario("ext", "chs")
def hidden_and_visible_pairs(ctx):
    """Each slot type against each state: a hidden ID stays hidden when the
    entry disables it, becomes visible otherwise; an unmapped type never
    changes; a map whose pair has an odd-looking order still pairs right."""
    d0 = marker_disk(ctx.path("disk0.img"), ctx.marker, 0, [
        Partition(2048, 4096, 0x93),
        Partition(6144, 4096, 0x1B),
        Partition(10240, 4096, 0x42),
        Partition(14336, 4096, 0x0C, active=True)])
    config = """map { {0x0C, 0x1C} {0x83, 0x93} {0x0B, 0x1B} {0x42, 0x42} }
entry "A" { password "a" disk 0 { active 0 disable 1 disable 2 } }
entry "B" { password "b" disk 0 { active 2 disable 0 disable 3 } }
"""
    disks = [d0]
    ctx.install(disks, config)
    with ctx.machine(disks) as vm:
        vm.wait_for(PROMPT)
        vm.type("a\n")
        mark, _ = wait_booted(vm, "D0P0")
    expect(mark["type"] == "83", f"marker {mark}")
    check_table(d0.path, [(0x80, 0x83), (0, 0x1B), (0, 0x42), (0, 0x0C)], "after A")
    with ctx.machine(disks, "second") as vm:
        vm.wait_for(PROMPT)
        vm.type("b\n")
        wait_booted(vm, "D0P2")
    check_table(d0.path, [(0, 0x93), (0, 0x0B), (0x80, 0x42), (0, 0x1C)], "after B")


@scenario("ext", "chs")
def partition_beyond_chs_range(ctx):
    """Disk 0 pinned at 20 cylinders (20160 sectors): slot 1 starts beyond.
    The extended read boots it; the CHS step cannot address it, shows the
    disk error and re-enters the boot manager still in the buffer."""
    d0 = marker_disk(ctx.path("disk0.img"), ctx.marker, 0, [
        Partition(2048, 8192, 0x07, active=True),
        Partition(40960, 8192, 0x83)], size_mb=64, cylinders=20)
    disks = [d0]
    config = STANDARD_MAP + 'entry "Far" { password "far" disk 0 { active 1 } }\n'
    ctx.install(disks, config)
    with ctx.machine(disks) as vm:
        vm.wait_for(PROMPT)
        vm.type("far\n")
        if ctx.variant == "ext":
            mark, _ = wait_booted(vm, "D0P1")
            expect(mark["type"] == "83", f"marker {mark}")
        else:
            text = vm.wait_for(lambda t: "Disk IO Error" in t and t.count(PROMPT) == 2,
                               what="Disk IO Error and the prompt again")
            expect(text.count(BANNER) == 2, "boot manager did not start again", vm)
    check_table(d0.path, [(0, 0x07), (0x80, 0x83), (0, 0), (0, 0)], "disk 0")


@scenario("ext", "chs")
def no_logo(ctx):
    disks = two_disks(ctx)
    ctx.install(disks, WIN_LIN + "set { no_logo }\n")
    with ctx.machine(disks) as vm:
        text = vm.wait_for(PROMPT)
        expect(BANNER not in text, "banner shown with no_logo", vm)
        lines = lines_from(text, "Booting from Hard Disk")
        expect(lines[1:5] == ["Win", "Lin", "", PROMPT], f"lines {lines[:5]}", vm)
        vm.type("win\n")
        wait_booted(vm, "D0P0")
    check_win(disks)


@scenario("ext", "chs")
def custom_texts_and_missing_disk(ctx):
    """Custom texts; the configuration names a third disk that the machine
    does not have: its disk-error text, and the other disks still change."""
    disks = three_disks(ctx)
    config = THREE_DISK_CONFIG + """set {
    password_prompt "Key please> "
    password_wrong "Nope, again\\r\\n"
    password_ok " ... fine\\r\\n"
    disk_error "Broken disk!\\r\\n"
}
"""
    ctx.install(disks, config)
    present = disks[:2]
    with ctx.machine(present) as vm:
        vm.wait_for("Key please>")
        vm.type("nope\n")
        text = vm.wait_for("Nope, again")
        expect(lines_from(text, "Key please> Nope, again")[1] == "Key please>",
               "prompt after the wrong text", vm)
        vm.type("zero\n")
        mark, text = wait_booted(vm, "D0P2")
        lines = lines_from(text, "Key please>  ... fine")
        expect(lines[1] == "Broken disk!" and lines[2].startswith("VBMARK"),
               f"lines after the password {lines[:3]}", vm)
    check_table(disks[0].path, [(0, 0x07), (0, 0x1B), (0x80, 0x83), (0, 0x06)], "disk 0")
    check_table(disks[1].path, [(0, 0x07), (0, 0x0B), (0, 0x83), (0, 0x0B)], "disk 1")


@scenario("ext", "chs")
def syslinux_chain_load(ctx):
    """A real third-party partition boot loader: SYSLINUX in a FAT16
    partition of disk 0 must show its own banner."""
    part = Partition(2048, 32768, 0x06)
    d0 = marker_disk(ctx.path("disk0.img"), ctx.marker, 0, [
        Partition(2048, 32768, 0x06), Partition(34816, 8192, 0x83, active=True)])
    part_path = format_fat(d0.path, part, fat_bits=16)
    subprocess.run([tool("syslinux"), "--install", part_path], check=True,
                   capture_output=True, timeout=60)
    put_partition_file(d0.path, part, part_path)
    disks = [d0]
    config = """map { {0x06, 0x16} {0x83, 0x93} }
entry "Syslinux" { password "" disk 0 { active 0 disable 1 } }
entry "Marker" { password "m" disk 0 { active 1 } }
"""
    ctx.install(disks, config)
    with ctx.machine(disks) as vm:
        vm.wait_for(PROMPT)
        vm.type("\n")
        # Its banner, then its prompt: ldlinux.sys was read from the FAT.
        vm.wait_for(lambda t: re.search(r"^SYSLINUX \d.*\n(.*\n)*boot:", t, re.M),
                    what="the SYSLINUX banner and its boot: prompt")
        ctx.screenshot(vm, "syslinux")
    check_table(d0.path, [(0x80, 0x06), (0, 0x93), (0, 0), (0, 0)], "disk 0")


# -- standard master boot program (after uninstall) ---------------------------

def uninstalled_disk(ctx, partitions, config=None, **options):
    d0 = marker_disk(ctx.path("disk0.img"), ctx.marker, 0, partitions, **options)
    disks = [d0]
    before = read_sector(d0.path, 0)
    active = next(k for k, p in enumerate(partitions) if p is not None and p.active)
    config = config or STANDARD_MAP + (
        f'entry "Only" {{ password "x" disk 0 {{ active {active} }} }}\n')
    ctx.install(disks, config)
    ctx.uninstall(disks)
    after = read_sector(d0.path, 0)
    expect(after[440:444] == before[440:444] and after[444:446] == b"\0\0"
           and after[446:] == before[446:], "uninstall did not keep signature and table")
    return disks


@scenario()
def standard_boots_active_partition(ctx):
    disks = uninstalled_disk(ctx, [
        Partition(2048, 8192, 0x07), Partition(10240, 8192, 0x0B),
        Partition(18432, 8192, 0x83, active=True)])
    with ctx.machine(disks) as vm:
        mark, _ = wait_booted(vm, "D0P2")
    expect(mark["dl"] == "80" and mark["si"] == "07DE", f"hand-over registers {mark}")


@scenario()
def standard_boots_again_after_resident_boot(ctx):
    """Boot once with the manager (it makes slot 1 active and hides slot 0),
    uninstall, boot again: the standard program starts what was last booted."""
    disks = two_disks(ctx)
    ctx.variant = "ext"
    ctx.install(disks, WIN_LIN.replace("active 2 disable 0 disable 1", "active 1 disable 0"))
    with ctx.machine(disks) as vm:
        vm.wait_for(PROMPT)
        vm.type("lin\n")
        wait_booted(vm, "D0P1")
    ctx.uninstall(disks)
    check_table(disks[0].path, [(0, 0x17), (0x80, 0x0B), (0, 0x83), (0, 0)], "disk 0")
    with ctx.machine(disks, "after") as vm:
        mark, _ = wait_booted(vm, "D0P1")
    expect(mark["si"] == "07CE" and mark["type"] == "0B", f"marker {mark}")


def standard_message(ctx, patches, message, partitions=None):
    disks = uninstalled_disk(ctx, partitions or [
        Partition(2048, 8192, 0x07, active=True), Partition(10240, 8192, 0x0B),
        Partition(18432, 8192, 0x83)])
    for slot, indicator in patches:
        patch_table(disks[0].path, slot, indicator=indicator)
    with ctx.machine(disks) as vm:
        text = vm.wait_for(message)
        expect("VBMARK" not in text, "something was started", vm)


@scenario()
def standard_two_active(ctx):
    standard_message(ctx, [(2, 0x80)], "Invalid partition table")


@scenario()
def standard_bad_indicator_before_active(ctx):
    standard_message(ctx, [(0, 0x01), (1, 0x80)], "Invalid partition table")


@scenario()
def standard_no_active_calls_int18(ctx):
    standard_message(ctx, [(0, 0x00)], "No bootable device")


@scenario()
def standard_missing_signature(ctx):
    parts = [Partition(2048, 8192, 0x07, active=True), Partition(10240, 8192, 0x0B)]
    parts[0].boot = bytes(512)
    standard_message(ctx, [], "Error loading operating system", parts)


@scenario()
def standard_fat32_backup_boot_sector(ctx):
    """Type 0x0C, first sector without signature, a good boot sector at
    partition sector 6 (FAT32's backup): that one is started."""
    part = Partition(2048, 80000, 0x0C, active=True)
    d0 = make_disk(ctx.path("disk0.img"), [part], size_mb=48)
    part_path = format_fat(d0.path, part, fat_bits=32)
    put_partition_file(d0.path, part, part_path)
    fat = read_sector(d0.path, part.start)
    expect(read_sector(d0.path, part.start + 6)[:90] == fat[:90], "no FAT32 backup sector")
    backup = with_fat_parameters(marker_sector(ctx.marker, "BACKUP", 0, 0), fat)
    write_sector(d0.path, part.start + 6, backup)
    write_sector(d0.path, part.start, fat[:510] + b"\0\0")
    disks = [d0]
    ctx.install(disks, 'map { {0x0C, 0x1C} }\nentry "Fat" { password "" disk 0 { active 0 } }\n')
    ctx.uninstall(disks)
    with ctx.machine(disks) as vm:
        mark, _ = wait_booted(vm, "BACKUP")
    expect(mark["si"] == "07BE", f"marker {mark}")
    # The partition table on the disk is left as it was.
    check_table(d0.path, [(0x80, 0x0C), (0, 0), (0, 0), (0, 0)], "disk 0")
    expect(read_table(d0.path)[0][2] == part.start, "start sector changed on disk")


@scenario()
def standard_fat32_backup_missing_too(ctx):
    parts = [Partition(2048, 8192, 0x0B, active=True)]
    parts[0].boot = bytes(512)
    disks_message = "Missing operating system"
    standard_message(ctx, [], disks_message, parts)


@scenario()
def standard_beyond_chs_range(ctx):
    disks = uninstalled_disk(ctx, [
        Partition(2048, 8192, 0x07), Partition(40960, 8192, 0x83, active=True)],
        size_mb=64, cylinders=20)
    with ctx.machine(disks) as vm:
        mark, _ = wait_booted(vm, "D0P1")
    expect(mark["si"] == "07CE", f"marker {mark}")


@scenario()
def standard_unreadable_boot_sector(ctx):
    """The active partition lies beyond the end of the disk: every read
    fails (five tries), and type 0x07 has no backup sector."""
    parts = [Partition(2048, 8192, 0x07), Partition(10240, 8192, 0x83, active=True)]
    disks = uninstalled_disk(ctx, parts)
    sector = bytearray(read_sector(disks[0].path, 0))
    struct.pack_into("<I", sector, 446 + 16 + 8, 200000)  # past the 32 MiB image
    sector[446 + 16 + 4] = 0x07
    write_sector(disks[0].path, 0, bytes(sector))
    with ctx.machine(disks) as vm:
        text = vm.wait_for("Error loading operating system")
        expect("VBMARK" not in text, "something was started", vm)


@scenario("ext", "chs")
def resident_without_active_partition_on_disk0(ctx):
    """An image the compiler never makes: the chosen entry's disk 0 byte has
    no active bit (patched here). The boot manager then gives up through
    INT 18h instead of starting some stale sector."""
    disks = two_disks(ctx)
    sector = bytearray(ctx.install(disks, WIN_LIN))
    (win_at, win_len), _ = record_passwords(sector)
    disk0_byte = win_at + win_len + 1 + sector[37] - 1
    expect(sector[disk0_byte] == 0x12, f"disk 0 byte of Win {sector[disk0_byte]:#04x}")
    sector[disk0_byte] = 0x02  # partition 1 still hidden, nothing active
    write_sector(disks[0].path, 0, bytes(sector))
    with ctx.machine(disks) as vm:
        vm.wait_for(PROMPT)
        vm.type("win\n")
        text = vm.wait_for("No bootable device")
        expect("VBMARK" not in text, "something was started", vm)
    check_table(disks[0].path, [(0, 0x07), (0, 0x1B), (0, 0x83), (0, 0)], "disk 0")


@scenario("ext", "chs")
def read_back_and_install_again(ctx):
    """The configuration read back with -bp installs to the same sector, and
    that sector boots as the first did."""
    disks = two_disks(ctx)
    first = ctx.install(disks, WIN_LIN + 'set { password_ok "fine\\r\\n" }\n')
    result = ctx.vornboot(disks, "-bp", "back.txt")
    expect('Current configuration stored into file "back.txt"' in result.stdout,
           "read back did not report the file:\n" + result.stdout + result.stderr)
    with open(ctx.path("back.txt")) as f:
        back = f.read()
    expect('entry "Win"' in back and 'password "lin"' in back, "read back:\n" + back)
    again = ctx.install(disks, back)
    expect(again == first, "the sector installed from the read-back file differs")
    with ctx.machine(disks) as vm:
        vm.wait_for(PROMPT)
        vm.type("win\n")
        _, text = wait_booted(vm, "D0P0")
        expect(PROMPT + " fine" in text, "custom text lost in the round trip", vm)
    check_win(disks)


@scenario("ext", "chs")
def eight_entries_last_chosen(ctx):
    """Eight entries, the most an image holds: the mismatch mask uses every
    bit, and the eighth entry can still be chosen."""
    disks = two_disks(ctx)
    names = [f"Entry{k}" for k in range(8)]
    config = STANDARD_MAP + "".join(
        f'entry "{name}" {{ password "{chr(ord("a") + k)}{k}" disk 0 {{ active {k % 3} }} }}\n'
        for k, name in enumerate(names))
    ctx.install(disks, config)
    with ctx.machine(disks) as vm:
        check_entry_list(vm, vm.wait_for(PROMPT), names)
        vm.type("h6\n")  # the eighth letter with the seventh's digit: nobody's
        vm.wait_for(lambda t: t.count(PROMPT) == 2, what="prompt number 2")
        vm.type("h7\n")
        wait_booted(vm, "D0P1")
    check_table(disks[0].path, [(0, 0x07), (0x80, 0x0B), (0, 0x83), (0, 0)], "disk 0")


@scenario("ext", "chs")
def compiled_data_up_to_byte_439(ctx):
    """A configuration whose entry list ends exactly at offset 439, the last
    byte before the disk signature: the last entry is still read whole."""
    disks = two_disks(ctx)
    # Texts 280..327, map 328..333, "First" 334..347 (5 + 3 + 3 + 1 + 2 disk
    # bytes), the long entry 348..438 (82 + 3 + 3 + 1 + 2), the end at 439.
    head = STANDARD_MAP + 'entry "First" { password "abc" disk 0 { active 1 } }\n'
    name = "Last" + "-" * 78
    config = head + f'entry "{name}" {{ password "xyz" disk 0 {{ active 2 }} disk 1 {{ disable 1 }} }}\n'
    sector = ctx.install(disks, config)
    last_at, last_len = record_passwords(sector)[-1]
    end = last_at + last_len + 1 + sector[37]
    expect(end == 439 and sector[439] == 0, f"entry list ends at {end}, not 439")
    with ctx.machine(disks) as vm:
        text = vm.wait_for(PROMPT)
        expect(name[:80] in text, "long name not shown", vm)
        vm.type("xyz\n")
        wait_booted(vm, "D0P2")
    check_table(disks[0].path, [(0, 0x07), (0, 0x0B), (0x80, 0x83), (0, 0)], "disk 0")
    check_table(disks[1].path, [(0, 0x07), (0, 0x93), (0, 0), (0, 0)], "disk 1")


@scenario("ext", "chs")
def large_disk_translated_geometry(ctx):
    """A 4 GiB disk that the BIOS addresses through LBA translation (255
    heads): the booted partition lies at cylinder 311, whose upper two bits
    travel in the sector byte."""
    lba = 5_000_000
    d0 = marker_disk(ctx.path("disk0.img"), ctx.marker, 0, [
        Partition(2048, 16384, 0x07, active=True),
        Partition(lba, 65536, 0x83)], size_mb=4096, translated=True)
    disks = [d0]
    ctx.install(disks, STANDARD_MAP + 'entry "Big" { password "big" disk 0 { active 1 } }\n')
    with ctx.machine(disks) as vm:
        vm.wait_for(PROMPT)
        vm.type("big\n")
        wait_booted(vm, "D0P1")
    check_table(d0.path, [(0, 0x07), (0x80, 0x83), (0, 0), (0, 0)], "disk 0")


@scenario()
def standard_large_disk_translated_geometry(ctx):
    lba = 5_000_000
    disks = uninstalled_disk(ctx, [
        Partition(2048, 16384, 0x07), Partition(lba, 65536, 0x83, active=True)],
        size_mb=4096, translated=True)
    with ctx.machine(disks) as vm:
        mark, _ = wait_booted(vm, "D0P1")
    expect(mark["si"] == "07CE", f"marker {mark}")


@scenario()
def standard_entered_as_07c0_0000(ctx):
    """Disk 1 carries the standard program; a loader on disk 0 enters it as
    07C0:0000. It must still relocate and start the active partition (whose
    boot indicator 0x80 names drive 0x80: disk 0, laid out alike)."""
    def layout():
        return [Partition(2048, 8192, 0x07), Partition(10240, 8192, 0x83, active=True)]
    d0 = marker_disk(ctx.path("disk0.img"), ctx.marker, 0, layout())
    d1 = marker_disk(ctx.path("disk1.img"), ctx.marker, 1, layout(), signature=0x56420001)
    ctx.install([d1], STANDARD_MAP + 'entry "One" { password "" disk 0 { active 1 } }\n')
    ctx.uninstall([d1])
    write_sector(d0.path, 0, ctx.far_loader + read_sector(d0.path, 0)[440:])
    with ctx.machine([d0, d1]) as vm:
        mark, _ = wait_booted(vm, "D0P1")
    expect(mark["si"] == "07CE" and mark["dl"] == "80", f"marker {mark}")


@scenario("ext", "chs")
def sixteen_disks(ctx):
    """The most disks a configuration holds: drives 0x80 to 0x8F (four IDE,
    twelve SCSI disks) are all rewritten. VornBoot32 itself sees only disks
    0 to 9 and warns that disk 15 does not exist; the boot program still
    serves it."""
    disks = []
    for k in range(16):
        visible = 0x07 if k % 2 else 0x0B
        parts = [Partition(2048, 2048, visible | 0x10, active=True), Partition(4096, 2048, visible)]
        disks.append(marker_disk(ctx.path(f"disk{k}.img"), ctx.marker, k, parts, size_mb=4,
                                 signature=0x56420000 + k))
    plans = " ".join(f"disk {k} {{ active 0 disable 1 }}" if k == 15 else
                     f"disk {k} {{ active 1 }}" for k in (0, 15))
    config = STANDARD_MAP + f'entry "Far" {{ password "far" {plans} }}\n'
    ctx.install(disks, config)
    with ctx.machine(disks) as vm:
        vm.wait_for(PROMPT)
        vm.type("far\n")
        mark, _ = wait_booted(vm, "D0P1")
    expect(mark["type"] == "0B", f"marker {mark}")
    for k, disk in enumerate(disks):
        visible = 0x07 if k % 2 else 0x0B
        if k == 0:
            want = [(0, visible), (0x80, visible)]
        elif k == 15:
            want = [(0x80, visible), (0, visible | 0x10)]
        else:
            want = [(0, visible), (0, visible)]
        check_table(disk.path, want + [(0, 0), (0, 0)], f"disk {k}")
