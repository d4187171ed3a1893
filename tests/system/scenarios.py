"""Boot scenarios: each builds its disks, installs with VornBoot32, boots them
under a BIOS, types, and checks the screen and the partition tables.

A scenario is registered once per boot step ("ext": extended read, the
default install; "chs": installed with -x; "none": needs no VornBoot32) and
per kind of machine it runs on (a name in harness.KINDS, or "bochs"). Most
boots through the password prompt are rows of the `DIALOGUES` table, the
boots of the standard program rows of `STANDARD_BOOTS`.
"""

import json
import os
import re
import struct
import subprocess
from dataclasses import dataclass
from typing import Callable, Optional, Sequence

from bochs import BochsMachine
from disks import (Partition, demo_disks, make_disk, marker_disk, marker_sector, read_sector,
                   read_table, write_sector, patch_table, format_fat, put_partition_file,
                   set_chs, with_fat_parameters, tool)
from harness import KINDS, BootFailure, Machine, expect

SCENARIOS = []

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BANNER = "VornBoot 2.0"
# Screen lines are compared without trailing blanks.
PROMPT = "Enter password:"
MARKER_LINE = re.compile(
    r"VBMARK (?P<label>\S*) disk=(?P<disk>\d) part=(?P<part>\d) dl=(?P<dl>[0-9A-F]{2}) "
    r"si=(?P<si>[0-9A-F]{4}) type=(?P<type>[0-9A-F?]{2})")
DRIVE_LINE = re.compile(r"VBDRIVE dl=(?P<dl>[0-9A-F]{2}) cx=(?P<cx>[0-9A-F?]{4}) "
                        r"dx=(?P<dx>[0-9A-F?]{4}) sig=(?P<sig>[0-9A-F?]{8})")
DRIVES_END = re.compile(r"VBDRIVES n=(?P<count>[0-9A-F]{2})")

STANDARD_MAP = "map { {0x07, 0x17} {0x0B, 0x1B} {0x83, 0x93} }\n"

STEPS = ("ext", "chs")
# Every booting scenario runs on these machines; the demo on all, USB and
# NVMe disk 0 included.
QEMU_MACHINES = ("pc", "q35", "isapc", "486")
MACHINES = QEMU_MACHINES + ("bochs",)
DEMO_MACHINES = MACHINES + ("xhci", "ehci", "nvme")
# The Bochs BIOS answers INT 18h with a panic that ends Bochs, so the
# scenarios that end in INT 18h run under SeaBIOS only.
INT18_MACHINES = QEMU_MACHINES


@dataclass
class Case:
    """One registered scenario: `function(ctx, **params)` for one boot step
    on one kind of machine."""
    name: str
    function: Callable
    step: str
    machine: str
    params: dict

    @property
    def needs_exe(self):
        return self.step != "none"


def scenario(steps=("ext",), machines=MACHINES, name=None, **params):
    """Registers a scenario once per boot step and machine, as
    NAME[STEP] on the pc machine and NAME[STEP,MACHINE] on the others."""
    def register(function):
        base = name or function.__name__
        for step in steps:
            for machine in machines:
                label = step if machine == "pc" else f"{step},{machine}"
                SCENARIOS.append(Case(f"{base}[{label}]", function, step, machine, params))
        return function
    return register


class Context:
    """What a scenario gets: its own directory, the test programs, the
    program under test, the boot step to install and the kind of machine."""

    def __init__(self, workdir, exe, step, machine, marker, far_loader, drives, checker=None):
        self.workdir = workdir
        self.exe = exe
        self.checker = checker
        self.step = step
        self.machine_kind = machine
        self.marker = marker
        self.far_loader = far_loader
        self.drives_program = drives
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
        flags = ["-x"] if self.step == "chs" else []
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

    def predict(self, disks, typed):
        """What VornBootCheck says typing `typed` and Enter does to the boot
        manager installed on `disks` (run before the machine boots them):
        the report of the first entry whose password is those keys, as the
        boot program chooses; None without VornBootCheck."""
        if not self.checker:
            return None
        sector = read_sector(disks[0].path, 0)
        codes = bytes(SCAN_CODES[c] for c in typed.lower())
        chosen = [k for k, (at, length) in enumerate(record_passwords(sector))
                  if sector[at:at + length] == codes]
        expect(chosen, f"no entry of the installed sector has the keys of {typed!r}")
        arguments = [self.checker, "--json"] + (["-x"] if self.step == "chs" else [])
        for k, disk in enumerate(disks):
            if disk.geometry:
                arguments += ["--geometry", "%d=%d/%d/%d" % ((k,) + tuple(disk.geometry))]
        env = dict(os.environ, VORNBOOT_DISKS=":".join(d.path for d in disks))
        result = subprocess.run(arguments, env=env, capture_output=True, text=True, timeout=60,
                                cwd=self.workdir, stdin=subprocess.DEVNULL)
        expect(result.returncode in (0, 1),
               f"VornBootCheck ended with {result.returncode}:\n{result.stdout}{result.stderr}")
        entries = json.loads(result.stdout)["entries"]
        expect(chosen[0] < len(entries), f"VornBootCheck reports {len(entries)} entries")
        return entries[chosen[0]]

    def compare(self, prediction, disks, mark):
        """Fails where the boot differed from `prediction`: the partition
        started (`mark`, None when nothing was) and every slot of every disk
        that VornBootCheck's PC had."""
        if prediction is None:
            return
        started = prediction["started"]
        what = f"VornBootCheck predicted for entry {prediction['name']!r}"
        if mark is None:
            expect(started is None, f"{what} a start of slot {started and started['slot']}, "
                   "the machine started nothing")
        else:
            expect(started is not None and mark["disk"] == "0"
                   and started["slot"] == int(mark["part"]),
                   f"{what} {started}, the machine started disk {mark['disk']} slot "
                   f"{mark['part']}")
        for table in prediction["tables"]:
            k = table["disk"]
            want = [(s["indicator"], s["type"], s["lba"], s["sectors"]) for s in table["slots"]]
            got = read_table(disks[k].path)
            expect(got == want, f"{what} disk {k}'s table {want}, the machine left {got}")

    def machine(self, disks, name="vm"):
        if self.machine_kind == "bochs":
            return BochsMachine(self.workdir, disks, name)
        return Machine(self.workdir, disks, name, self.machine_kind)

    def screenshot(self, vm, name):
        path = self.path(name + ".png")
        vm.screenshot(path)
        self.screenshots.append(path)
        return path

    def drives(self, disks, name="drives"):
        """Boots the drive report (drives.asm) as disk 0's master boot code,
        sector 0 restored afterwards. Checks that the BIOS numbered the disks
        from 0x80 in the order given (by their disk signatures) and returns
        the geometry (cylinders, heads, sectors) it reports for each."""
        original = read_sector(disks[0].path, 0)
        write_sector(disks[0].path, 0, self.drives_program + original[440:])
        try:
            with self.machine(disks, name) as vm:
                text = vm.wait_for(lambda t: DRIVES_END.search(t) is not None, 15,
                                   "the drive report (VBDRIVES)")
        finally:
            write_sector(disks[0].path, 0, original)
        count = int(DRIVES_END.search(text)["count"], 16)
        found = [m.groupdict() for m in DRIVE_LINE.finditer(text)]
        expect(count == len(disks) == len(found),
               f"the BIOS counts {count} disks and reports {len(found)}, "
               f"the machine has {len(disks)}:\n{text}")
        geometries = []
        for k, (disk, drive) in enumerate(zip(disks, found)):
            signature = struct.unpack_from("<I", read_sector(disk.path, 0), 440)[0]
            expect(drive["dl"] == f"{0x80 + k:02X}" and drive["sig"] == f"{signature:08X}",
                   f"disk {k} (signature {signature:08X}) is not drive {0x80 + k:02X}:\n{text}")
            expect("?" not in drive["cx"], f"no geometry for drive {drive['dl']}:\n{text}")
            cx, dx = int(drive["cx"], 16), int(drive["dx"], 16)
            # The reported maximum cylinder + 1: what the BIOS lets CHS reach.
            geometries.append((((cx & 0xC0) << 2 | cx >> 8) + 1, (dx >> 8) + 1, cx & 0x3F))
        return geometries

    def fit(self, disks):
        """Where the machine cannot pin a disk's geometry (USB, NVMe), sets
        the CHS fields of that disk's table for the geometry that the BIOS
        reports; returns the disks."""
        kind = KINDS.get(self.machine_kind)
        if kind is None or all(kind.pins(k) for k in range(len(disks))):
            return disks
        for k, geometry in enumerate(self.drives(disks, "fit")):
            if not kind.pins(k):
                set_chs(disks[k].path, geometry)
                disks[k].geometry = geometry
        return disks


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


def expect_mark(mark, wanted):
    """The marker's fields (dl, si, type) that a case names."""
    for field, value in (wanted or {}).items():
        expect(mark[field] == value, f"marker {field}={mark[field]}, expected {value}: {mark}")


def lines_from(text, first):
    """The screen lines from the first one that starts with `first` on."""
    lines = text.split("\n")
    for i, line in enumerate(lines):
        if line.startswith(first):
            return lines[i:]
    raise BootFailure(f"no line starting with {first!r}:\n{text}")


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


def check_tables(disks, tables):
    """`tables`: (disk number, expected slots) pairs for `check_table`."""
    for k, expected in tables:
        check_table(disks[k].path, expected, f"disk {k}")


def check_unchanged_except_table(before, after, what):
    expect(before[:446] == after[:446] and before[510:] == after[510:],
           f"{what}: bytes outside the partition table changed")
    for slot in range(4):
        a = before[446 + 16 * slot:462 + 16 * slot]
        b = after[446 + 16 * slot:462 + 16 * slot]
        expect(a[1:4] == b[1:4] and a[5:] == b[5:],
               f"{what}: slot {slot} changed beyond indicator and type")


# The scan codes of the keys that type these characters (either case).
SCAN_CODES = {c: code for row, first in (("1234567890-", 0x02), ("qwertyuiop[]", 0x10),
                                         ("asdfghjkl;'`", 0x1E), ("zxcvbnm,./", 0x2C))
              for code, c in enumerate(row, first)}
SCAN_CODES.update({" ": 0x39, "\\": 0x2B, "\b": 0x0E})


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


# -- disks and configurations ---------------------------------------------------

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


def sixteen_disks(ctx):
    """Drives 0x80 to 0x8F, slot 0 hidden and active, slot 1 visible."""
    disks = []
    for k in range(16):
        visible = 0x07 if k % 2 else 0x0B
        parts = [Partition(2048, 2048, visible | 0x10, active=True), Partition(4096, 2048, visible)]
        disks.append(marker_disk(ctx.path(f"disk{k}.img"), ctx.marker, k, parts, size_mb=4,
                                 signature=0x56420000 + k))
    return disks


def sixteen_tables():
    tables = []
    for k in range(16):
        visible = 0x07 if k % 2 else 0x0B
        if k == 0:
            want = [(0, visible), (0x80, visible)]
        elif k == 15:
            want = [(0x80, visible), (0, visible | 0x10)]
        else:
            want = [(0, visible), (0, visible)]
        tables.append((k, want + [(0, 0), (0, 0)]))
    return tables


# Layouts that the boot manager and the standard program both boot from.
def beyond_chs_layout():
    """Disk 0 pinned at 20 cylinders (20160 sectors): slot 1 starts beyond."""
    return ([Partition(2048, 8192, 0x07), Partition(40960, 8192, 0x83)],
            dict(size_mb=64, cylinders=20))


def large_translated_layout():
    """A 4 GiB disk that the BIOS addresses through LBA translation (255
    heads): slot 1 lies at cylinder 311, whose upper two bits travel in the
    sector byte."""
    return ([Partition(2048, 16384, 0x07), Partition(5_000_000, 65536, 0x83)],
            dict(size_mb=4096, translated=True))


def layout_disk(layout, active):
    def build(ctx):
        partitions, options = layout()
        partitions[active].active = True
        return [marker_disk(ctx.path("disk0.img"), ctx.marker, 0, partitions, **options)]
    return build


def bios_geometry_disk(ctx):
    disks = ctx.fit([marker_disk(ctx.path("disk0.img"), ctx.marker, 0, [
        Partition(2048, 16384, 0x07, active=True), Partition(1_500_000, 65536, 0x83)],
        size_mb=1024)])
    expect(disks[0].geometry[1] == 32, f"the BIOS geometry is {disks[0].geometry}, "
           "not one of 32 heads")
    return disks


def demo(ctx):
    """The demo's disks (scripts/demo.sh), fitted to the machine's BIOS."""
    return ctx.fit(demo_disks(ctx.workdir, ctx.marker))


def demo_config():
    with open(os.path.join(ROOT, "examples", "demo.conf")) as f:
        return f.read()


WIN_LIN = STANDARD_MAP + """\
entry "Win" { password "win" disk 0 { active 0 disable 1 } disk 1 { disable 0 } }
entry "Lin" { password "lin" disk 0 { active 2 disable 0 disable 1 } }
"""
WIN_TABLES = [(0, [(0x80, 0x07), (0, 0x1B), (0, 0x83), (0, 0)]),
              (1, [(0, 0x17), (0, 0x83), (0, 0), (0, 0)])]
LIN_TABLES = [(0, [(0, 0x17), (0, 0x1B), (0x80, 0x83), (0, 0)]),
              (1, [(0, 0x07), (0, 0x83), (0, 0), (0, 0)])]
WIN_LIN_SCREEN = (BANNER, ["", "Win", "Lin", "", PROMPT])

THREE_DISK_CONFIG = STANDARD_MAP + """\
entry "All" { password "all" disk 0 { active 1 disable 0 enable 2 disable 3 }
              disk 1 { active 3 disable 2 } disk 2 { disable 0 disable 1 active 2 } }
entry "Zero" { password "zero" disk 0 { active 2 disable 1 } }
"""
THREE_DISK_SCREEN = (BANNER, ["", "All", "Zero", "", PROMPT])

EIGHT_NAMES = [f"Entry{k}" for k in range(8)]
LONG_NAME = "Last" + "-" * 78


# -- what some cases do between install and boot --------------------------------

def same_scan_codes(ctx, disks):
    """Gives the second entry the first one's password: an image the
    compiler would refuse to make."""
    sector = bytearray(read_sector(disks[0].path, 0))
    (first_at, first_len), (second_at, second_len) = record_passwords(sector)
    expect(first_len == second_len == 3, "password lengths")
    sector[second_at:second_at + 3] = sector[first_at:first_at + 3]
    write_sector(disks[0].path, 0, bytes(sector))


def no_active_bit(ctx, disks):
    """Clears the active bit of Win's disk 0 byte: an image the compiler
    never makes (partition 1 still hidden, nothing active)."""
    sector = bytearray(read_sector(disks[0].path, 0))
    (win_at, win_len), _ = record_passwords(sector)
    disk0_byte = win_at + win_len + 1 + sector[37] - 1
    expect(sector[disk0_byte] == 0x12, f"disk 0 byte of Win {sector[disk0_byte]:#04x}")
    sector[disk0_byte] = 0x02
    write_sector(disks[0].path, 0, bytes(sector))


def read_back_and_install(ctx, disks):
    """The configuration read back with -bp installs to the same sector."""
    first = read_sector(disks[0].path, 0)
    result = ctx.vornboot(disks, "-bp", "back.txt")
    expect('Current configuration stored into file "back.txt"' in result.stdout,
           "read back did not report the file:\n" + result.stdout + result.stderr)
    with open(ctx.path("back.txt")) as f:
        back = f.read()
    expect('entry "Win"' in back and 'password "lin"' in back, "read back:\n" + back)
    again = ctx.install(disks, back)
    expect(again == first, "the sector installed from the read-back file differs")


def ends_at_byte_439(ctx, disks):
    # Texts 280..327, map 328..333, "First" 334..347 (5 + 3 + 3 + 1 + 2 disk
    # bytes), the long entry 348..438 (82 + 3 + 3 + 1 + 2), the end at 439.
    sector = read_sector(disks[0].path, 0)
    last_at, last_len = record_passwords(sector)[-1]
    end = last_at + last_len + 1 + sector[37]
    expect(end == 439 and sector[439] == 0, f"entry list ends at {end}, not 439")


# -- boots through the password prompt ------------------------------------------

@dataclass
class Dialogue:
    """One boot through the password prompt. The screen at the first prompt:
    `screen` is (start of a line, the lines after it), `shown` texts that
    must be there and `absent` ones that must not; the cursor stands after
    the prompt. Every text of `wrong` typed with Enter must give the
    wrong-password text and a new prompt; then `right` with Enter starts the
    marker `boots` (the lines `accepted` from the last prompt on, then the
    marker's line; its fields `mark`), or, with `boots` None, shows `ends`.
    Afterwards the partition `tables`, and on every disk nothing else of
    sector 0 changed. `prepare(ctx, disks)` runs between install and boot;
    the machine gets the first `present` disks only (all by default)."""

    name: str
    right: str
    boots: Optional[str]
    disks: Callable = two_disks
    config: str = WIN_LIN
    wrong: Sequence[str] = ()
    screen: Optional[tuple] = None
    shown: Sequence[str] = ()
    absent: Sequence[str] = ()
    prompt: str = PROMPT
    wrong_text: str = "WRONG!"
    accepted: Sequence[str] = (PROMPT + " OK", "")
    mark: Optional[dict] = None
    tables: Sequence[tuple] = ()
    ends: Optional[str] = None
    prepare: Optional[Callable] = None
    present: Optional[int] = None
    steps: Sequence[str] = STEPS
    machines: Sequence[str] = MACHINES


def check_prompt_cursor(vm, text, prompt):
    column, row = vm.cursor()
    rows = text.split("\n")
    expect(column == len(prompt) + 1 and row < len(rows) and rows[row] == prompt,
           f"cursor at {column},{row}, not after the prompt", vm)


def answer_prompt(vm, case):
    """Checks the first prompt's screen, types the wrong and then the right
    password; returns the marker (None when nothing is to start)."""
    text = vm.wait_for(case.prompt)
    if case.screen:
        first, after = case.screen
        lines = lines_from(text, first)[1:len(case.screen[1]) + 1]
        expect(lines == after, f"screen lines after {first!r}: {lines}", vm)
    for shown in case.shown:
        expect(shown in text, f"{shown!r} not shown", vm)
    for absent in case.absent:
        expect(absent not in text, f"{absent!r} shown", vm)
    check_prompt_cursor(vm, text, case.prompt)
    for k, attempt in enumerate(case.wrong, 1):
        vm.type(attempt + "\n")
        text = vm.wait_for(lambda t, n=k + 1: t.count(case.prompt) == n,
                           what=f"prompt number {k + 1} (after {attempt!r})")
        lines = [line for line in lines_from(text, case.prompt) if line]
        expect(lines == [f"{case.prompt} {case.wrong_text}"] * k + [case.prompt],
               f"lines after {k} wrong passwords: {lines}", vm)
        check_prompt_cursor(vm, text, case.prompt)
    vm.type(case.right + "\n")
    if case.boots is None:
        text = vm.wait_for(case.ends)
        expect("VBMARK" not in text, "something was started", vm)
        return None
    mark, text = wait_booted(vm, case.boots)
    lines = text.split("\n")
    last = max(i for i, line in enumerate(lines) if line.startswith(case.prompt))
    count = len(case.accepted)
    expect(lines[last:last + count] == list(case.accepted)
           and lines[last + count].startswith("VBMARK"),
           f"lines after the password {lines[last:last + count + 1]}", vm)
    expect_mark(mark, case.mark)
    return mark


def run_dialogue(ctx, case):
    disks = case.disks(ctx)
    installed = ctx.install(disks, case.config)
    if case.prepare:
        case.prepare(ctx, disks)
    before = [read_sector(d.path, 0) for d in disks]
    expect(case.prepare or before[0] == installed, "disk 0 changed before the boot")
    prediction = ctx.predict(disks[:case.present], case.right)
    with ctx.machine(disks[:case.present]) as vm:
        mark = answer_prompt(vm, case)
    check_tables(disks, case.tables)
    ctx.compare(prediction, disks, mark)
    for k, disk in enumerate(disks):
        check_unchanged_except_table(before[k], read_sector(disk.path, 0), f"disk {k}")


DIALOGUES = [
    Dialogue("boot_screen_and_right_password", "lin", "D0P2", screen=WIN_LIN_SCREEN,
             mark={"dl": "80", "type": "83"}, tables=LIN_TABLES),
    # No entry without password: Enter alone is wrong; so are a prefix of
    # the password and a longer text.
    Dialogue("wrong_password_then_right", "win", "D0P0", wrong=["", "wi", "wins"],
             mark={"type": "07"}, tables=WIN_TABLES),
    Dialogue("capitals_are_accepted", "WiN", "D0P0", tables=WIN_TABLES),
    # The right password, then Backspace: wrong; and no editing either.
    Dialogue("backspace_is_a_key", "lin", "D0P2", wrong=["lin\b", "lix\bn"],
             tables=LIN_TABLES),
    Dialogue("enter_alone_chooses_entry_without_password", "", "D0P1",
             config=STANDARD_MAP + """\
entry "Win" { password "win" disk 0 { active 0 } }
entry "Maintenance" { disk 0 { active 1 disable 0 } disk 1 { disable 1 } }
entry "Lin" { password "lin" disk 0 { active 2 } }
""", screen=(BANNER, ["", "Win", "Maintenance", "Lin", "", PROMPT]), mark={"type": "0B"},
             tables=[(0, [(0, 0x17), (0x80, 0x0B), (0, 0x83), (0, 0)]),
                     (1, [(0, 0x07), (0, 0x93), (0, 0), (0, 0)])]),
    # Two records with the same scan codes: the first one in order is chosen,
    # and the second one's own password is nobody's any more.
    Dialogue("first_matching_entry_wins", "abc", "D0P1", wrong=["xyz"],
             config=STANDARD_MAP + """\
entry "First" { password "abc" disk 0 { active 1 } }
entry "Second" { password "xyz" disk 0 { active 2 } }
""", prepare=same_scan_codes),
    # Disk 0: hidden 0B made visible and active; 07 hidden; 06 not in the map.
    Dialogue("three_disks_rewritten", "all", "D0P1", disks=three_disks,
             config=THREE_DISK_CONFIG, screen=THREE_DISK_SCREEN, mark={"type": "0B"},
             tables=[(0, [(0, 0x17), (0x80, 0x0B), (0, 0x83), (0, 0x06)]),
                     (1, [(0, 0x07), (0, 0x0B), (0, 0x93), (0x80, 0x0B)]),
                     (2, [(0, 0x17), (0, 0x1B), (0x80, 0x83), (0, 0x06)])]),
    # Disks not named: every slot inactive, every mapped type visible.
    Dialogue("entry_naming_only_disk0", "zero", "D0P2", disks=three_disks,
             config=THREE_DISK_CONFIG, screen=THREE_DISK_SCREEN, mark={"type": "83"},
             tables=[(0, [(0, 0x07), (0, 0x1B), (0x80, 0x83), (0, 0x06)]),
                     (1, [(0, 0x07), (0, 0x0B), (0, 0x83), (0, 0x0B)]),
                     (2, [(0, 0x07), (0, 0x0B), (0, 0x83), (0, 0x06)])]),
    Dialogue("no_logo", "win", "D0P0", config=WIN_LIN + "set { no_logo }\n",
             screen=("Booting from Hard Disk", ["Win", "Lin", "", PROMPT]), absent=[BANNER],
             tables=WIN_TABLES),
    # Custom texts; the configuration names a third disk that the machine
    # does not have: its disk-error text, and the other disks still change.
    Dialogue("custom_texts_and_missing_disk", "zero", "D0P2", disks=three_disks, present=2,
             config=THREE_DISK_CONFIG + """set {
    password_prompt "Key please> "
    password_wrong "Nope, again\\r\\n"
    password_ok " ... fine\\r\\n"
    disk_error "Broken disk!\\r\\n"
}
""", prompt="Key please>", wrong=["nope"], wrong_text="Nope, again",
             accepted=["Key please>  ... fine", "Broken disk!"],
             tables=[(0, [(0, 0x07), (0, 0x1B), (0x80, 0x83), (0, 0x06)]),
                     (1, [(0, 0x07), (0, 0x0B), (0, 0x83), (0, 0x0B)])]),
    # The chosen entry's disk 0 byte has no active bit: the boot manager
    # gives up through INT 18h instead of starting some stale sector.
    Dialogue("resident_without_active_partition_on_disk0", "win", None,
             ends="No bootable device", prepare=no_active_bit,
             tables=[(0, [(0, 0x07), (0, 0x1B), (0, 0x83), (0, 0)])], machines=INT18_MACHINES),
    # The sector installed from the read-back file boots as the first did.
    Dialogue("read_back_and_install_again", "win", "D0P0",
             config=WIN_LIN + 'set { password_ok "fine\\r\\n" }\n',
             prepare=read_back_and_install, accepted=[PROMPT + " fine"], tables=WIN_TABLES),
    # Eight entries, the most an image holds: the mismatch mask uses every
    # bit, and the eighth entry can still be chosen. "h6" is the eighth
    # letter with the seventh's digit: nobody's.
    Dialogue("eight_entries_last_chosen", "h7", "D0P1", wrong=["h6"],
             config=STANDARD_MAP + "".join(
                 f'entry "{name}" {{ password "{chr(ord("a") + k)}{k}" '
                 f'disk 0 {{ active {k % 3} }} }}\n' for k, name in enumerate(EIGHT_NAMES)),
             screen=(BANNER, [""] + EIGHT_NAMES + ["", PROMPT]),
             tables=[(0, [(0, 0x07), (0x80, 0x0B), (0, 0x83), (0, 0)])]),
    # The entry list ends exactly at offset 439, the last byte before the
    # disk signature: the last entry is still read whole.
    Dialogue("compiled_data_up_to_byte_439", "xyz", "D0P2",
             config=STANDARD_MAP + 'entry "First" { password "abc" disk 0 { active 1 } }\n'
             f'entry "{LONG_NAME}" {{ password "xyz" disk 0 {{ active 2 }} '
             'disk 1 { disable 1 } }\n', prepare=ends_at_byte_439, shown=[LONG_NAME[:80]],
             tables=[(0, [(0, 0x07), (0, 0x0B), (0x80, 0x83), (0, 0)]),
                     (1, [(0, 0x07), (0, 0x93), (0, 0), (0, 0)])]),
    Dialogue("large_disk_translated_geometry", "big", "D0P1",
             disks=layout_disk(large_translated_layout, 0),
             config=STANDARD_MAP + 'entry "Big" { password "big" disk 0 { active 1 } }\n',
             tables=[(0, [(0, 0x07), (0x80, 0x83), (0, 0), (0, 0)])]),
    # A 1 GiB disk 0 on USB or NVMe: the BIOS chooses 32 heads for it, and
    # slot 1 (cylinder 744 then) is reachable by CHS only through the CHS
    # fields that `Context.fit` wrote for that geometry.
    Dialogue("large_disk_bios_geometry", "big", "D0P1", disks=bios_geometry_disk,
             config=STANDARD_MAP + 'entry "Big" { password "big" disk 0 { active 1 } }\n',
             tables=[(0, [(0, 0x07), (0x80, 0x83), (0, 0), (0, 0)])],
             machines=("xhci", "ehci", "nvme")),
    # The most disks a configuration holds: drives 0x80 to 0x8F (IDE or
    # AHCI, then SCSI disks) are all rewritten. VornBoot32 itself sees only
    # disks 0 to 9 and warns that disk 15 does not exist; the boot program
    # still serves it. An isapc has no PCI bus for so many disks, Bochs here
    # four IDE disks.
    Dialogue("sixteen_disks", "far", "D0P1", disks=sixteen_disks,
             config=STANDARD_MAP + 'entry "Far" { password "far" '
             'disk 0 { active 1 } disk 15 { active 0 disable 1 } }\n',
             mark={"type": "0B"}, tables=sixteen_tables(), machines=("pc", "q35", "486")),
    # The demo configuration on its own disks, on every machine.
    Dialogue("demo_wrong_then_right", "linux", "LINUX", disks=demo, config=demo_config(),
             screen=(BANNER, ["", "Windows", "Linux", "Rescue", "", "Password:"]),
             prompt="Password:", wrong=["linx"], wrong_text="Wrong password",
             accepted=["Password: OK", ""], mark={"dl": "80", "type": "83"},
             tables=[(0, [(0, 0x17), (0, 0x0B), (0x80, 0x83), (0, 0)]),
                     (1, [(0, 0x17), (0, 0x83), (0, 0), (0, 0)])],
             machines=DEMO_MACHINES),
]

for _case in DIALOGUES:
    scenario(_case.steps, _case.machines, _case.name, case=_case)(run_dialogue)


# -- harness self-checks (no VornBoot32) ----------------------------------------

@scenario(("none",))
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


@scenario(("none",), DEMO_MACHINES)
def bios_drives(ctx):
    """The BIOS numbers the disks from 0x80 in the order the machine was
    given them (checked by their signatures), and reports the geometry pinned
    where the controller takes it: the demo's two disks and an 8 MiB one."""
    disks = demo_disks(ctx.workdir, ctx.marker)
    disks.append(make_disk(ctx.path("disk2.img"), [Partition(2048, 4096, 0x0C)],
                           size_mb=8, signature=0x56420002))
    geometries = ctx.drives(disks)
    kind = KINDS.get(ctx.machine_kind)
    for k, (disk, geometry) in enumerate(zip(disks, geometries)):
        if kind is None or kind.pins(k):
            cylinders, heads, sectors = disk.geometry
            # SeaBIOS keeps the last cylinder back; the Bochs BIOS does not.
            expect(geometry[1:] == (heads, sectors) and cylinders - 1 <= geometry[0] <= cylinders,
                   f"disk {k} pinned at {disk.geometry}, the BIOS reports {geometry}")


# -- the boot manager, beyond a single dialogue ---------------------------------

@scenario(STEPS)
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
    for name, case, table in [
            ("vm", Dialogue("a", "a", "D0P0", mark={"type": "83"}),
             [(0x80, 0x83), (0, 0x1B), (0, 0x42), (0, 0x0C)]),
            ("second", Dialogue("b", "b", "D0P2"),
             [(0, 0x93), (0, 0x0B), (0x80, 0x42), (0, 0x1C)])]:
        with ctx.machine(disks, name) as vm:
            answer_prompt(vm, case)
        check_table(d0.path, table, f"after {name}")


@scenario(STEPS)
def partition_beyond_chs_range(ctx):
    """Slot 1 starts beyond the cylinders that disk 0 is pinned at. The
    extended read boots it; the CHS step cannot address it, shows the disk
    error and re-enters the boot manager still in the buffer."""
    disks = layout_disk(beyond_chs_layout, 0)(ctx)
    ctx.install(disks, STANDARD_MAP + 'entry "Far" { password "far" disk 0 { active 1 } }\n')
    with ctx.machine(disks) as vm:
        vm.wait_for(PROMPT)
        vm.type("far\n")
        if ctx.step == "ext":
            mark, _ = wait_booted(vm, "D0P1")
            expect(mark["type"] == "83", f"marker {mark}")
        else:
            text = vm.wait_for(lambda t: "Disk IO Error" in t and t.count(PROMPT) == 2,
                               what="Disk IO Error and the prompt again")
            expect(text.count(BANNER) == 2, "boot manager did not start again", vm)
    check_table(disks[0].path, [(0, 0x07), (0x80, 0x83), (0, 0), (0, 0)], "disk 0")


@scenario(STEPS)
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

def uninstall_after_install(ctx, disks, config=None):
    """Installs (by default one entry that keeps the active slot), then
    uninstalls; signature and table must be what they were."""
    before = read_sector(disks[0].path, 0)
    active = next(slot for slot, (indicator, _, _, _) in enumerate(read_table(disks[0].path))
                  if indicator == 0x80)
    config = config or STANDARD_MAP + (
        f'entry "Only" {{ password "x" disk 0 {{ active {active} }} }}\n')
    ctx.install(disks, config)
    ctx.uninstall(disks)
    after = read_sector(disks[0].path, 0)
    expect(after[440:444] == before[440:444] and after[444:446] == b"\0\0"
           and after[446:] == before[446:], "uninstall did not keep signature and table")
    return disks


@dataclass
class Standard:
    """One boot through the standard program: disk 0 from `disks`, installed
    and uninstalled, then changed by `patch(path)`; it must start the marker
    `boots` with the fields `mark`, or show the text `message` and start
    nothing. `config` replaces the default one-entry configuration."""

    name: str
    disks: Callable
    boots: Optional[str] = None
    mark: Optional[dict] = None
    message: Optional[str] = None
    patch: Optional[Callable] = None
    config: Optional[str] = None
    machines: Sequence[str] = MACHINES


def plain_disk(*partitions):
    """Disk 0 with these slots (fresh ones for every run), markers in each."""
    def build(ctx):
        return [marker_disk(ctx.path("disk0.img"), ctx.marker, 0,
                            [Partition(*slot[:3], active="active" in slot[3:],
                                       boot=bytes(512) if "unsigned" in slot[3:] else None)
                             for slot in partitions])]
    return build


THREE_SLOTS = plain_disk((2048, 8192, 0x07, "active"), (10240, 8192, 0x0B), (18432, 8192, 0x83))


def beyond_end(path):
    """Moves slot 1 past the end of the 32 MiB image and makes it type 0x07
    (no backup sector): every read fails, five tries."""
    sector = bytearray(read_sector(path, 0))
    struct.pack_into("<I", sector, 446 + 16 + 8, 200000)
    sector[446 + 16 + 4] = 0x07
    write_sector(path, 0, bytes(sector))


def run_standard(ctx, case):
    disks = uninstall_after_install(ctx, case.disks(ctx), case.config)
    if case.patch:
        case.patch(disks[0].path)
    with ctx.machine(disks) as vm:
        if case.boots:
            mark, _ = wait_booted(vm, case.boots)
            expect_mark(mark, case.mark)
        else:
            text = vm.wait_for(case.message)
            expect("VBMARK" not in text, "something was started", vm)


STANDARD_BOOTS = [
    Standard("standard_boots_active_partition",
             plain_disk((2048, 8192, 0x07), (10240, 8192, 0x0B), (18432, 8192, 0x83, "active")),
             "D0P2", mark={"dl": "80", "si": "07DE"}),
    Standard("standard_two_active", THREE_SLOTS, message="Invalid partition table",
             patch=lambda path: patch_table(path, 2, indicator=0x80)),
    Standard("standard_bad_indicator_before_active", THREE_SLOTS,
             message="Invalid partition table",
             patch=lambda path: (patch_table(path, 0, indicator=0x01),
                                 patch_table(path, 1, indicator=0x80))),
    Standard("standard_no_active_calls_int18", THREE_SLOTS, message="No bootable device",
             patch=lambda path: patch_table(path, 0, indicator=0x00), machines=INT18_MACHINES),
    Standard("standard_missing_signature",
             plain_disk((2048, 8192, 0x07, "active", "unsigned"), (10240, 8192, 0x0B)),
             message="Error loading operating system"),
    # Type 0x0B without signature and without a backup sector at sector 6.
    Standard("standard_fat32_backup_missing_too",
             plain_disk((2048, 8192, 0x0B, "active", "unsigned")),
             message="Missing operating system"),
    Standard("standard_unreadable_boot_sector",
             plain_disk((2048, 8192, 0x07), (10240, 8192, 0x83, "active")),
             message="Error loading operating system", patch=beyond_end),
    Standard("standard_beyond_chs_range", layout_disk(beyond_chs_layout, 1), "D0P1",
             mark={"si": "07CE"}),
    Standard("standard_large_disk_translated_geometry", layout_disk(large_translated_layout, 1),
             "D0P1", mark={"si": "07CE"}),
    # The demo's disks: the standard program starts what was active before.
    Standard("demo_uninstalled_boots_standard", demo, "WINDOWS",
             mark={"dl": "80", "si": "07BE", "type": "07"}, config=demo_config(),
             machines=DEMO_MACHINES),
]

for _case in STANDARD_BOOTS:
    scenario(("ext",), _case.machines, _case.name, case=_case)(run_standard)


@scenario()
def standard_boots_again_after_resident_boot(ctx):
    """Boot once with the manager (it makes slot 1 active and hides slot 0),
    uninstall, boot again: the standard program starts what was last booted."""
    disks = two_disks(ctx)
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
