"""Boots raw disk images in QEMU (SeaBIOS) and talks to the machine over QMP.

A `Machine` starts qemu-system-i386 without a display, reads the 80x25 text
screen out of video memory, types keys and takes PNG screenshots. Every wait is
bounded; when one runs out, `BootFailure` carries the last screen. The kind of
machine (`KINDS`: board, CPU and the controllers the disks sit on) is chosen
by name; `Screen` holds what any emulator's machine shares (see bochs.py).
"""

import json
import os
import shutil
import socket
import subprocess
import time

SCREEN_ADDRESS = 0xB8000
SCREEN_COLUMNS = 80
SCREEN_ROWS = 25
POLL_SECONDS = 0.02
DEFAULT_TIMEOUT = 10.0

# Characters that can be typed, as QEMU key codes. Letters are typed in lower
# case unless shifted; a shifted letter is sent as shift plus the letter.
_QCODES = {
    "-": "minus", "=": "equal", "[": "bracket_left", "]": "bracket_right",
    ";": "semicolon", "'": "apostrophe", "`": "grave_accent",
    "\\": "backslash", ",": "comma", ".": "dot", "/": "slash", " ": "spc",
    "\n": "ret", "\b": "backspace",
}


class BootFailure(Exception):
    """A boot did not show what was expected; the message holds the screen."""


def qemu_binary():
    return shutil.which("qemu-system-i386") or shutil.which("qemu-system-x86_64")


def key_for(char):
    """QEMU key codes for one character (a list, with "shift" for capitals)."""
    if char.isascii() and char.isalpha():
        return ["shift", char.lower()] if char.isupper() else [char]
    if char.isascii() and char.isdigit():
        return [char]
    if char in _QCODES:
        return [_QCODES[char]]
    raise ValueError(f"no key for {char!r}")


class Disk:
    """One raw image given to the machine; geometry pins (cylinders, heads,
    sectors) for tests that depend on CHS addressing, where the disk's
    controller takes them; options are further ide-hd properties, used only
    on IDE and AHCI disks."""

    def __init__(self, path, geometry=None, options=None):
        self.path = path
        self.geometry = geometry
        self.options = options


# Disk controllers: the QEMU device of the n-th disk on one, the controller
# it needs (added once), and whether the device takes pinned geometry.
def _ide(n):
    return f"ide-hd,bus=ide.{n // 2},unit={n % 2}"


BUSES = {
    "ide": (_ide, [], True),
    "ahci": (lambda n: f"ide-hd,bus=ide.{n}", [], True),
    "scsi": (lambda n: f"scsi-hd,bus=scsi0.0,channel=0,scsi-id={n},lun=0",
             ["-device", "virtio-scsi-pci,id=scsi0"], True),
    "xhci": (lambda n: "usb-storage,bus=usb0.0",
             ["-device", "qemu-xhci,id=usb0"], False),
    "ehci": (lambda n: "usb-storage,bus=usb0.0",
             ["-device", "usb-ehci,id=usb0"], False),
    "nvme": (lambda n: f"nvme,serial=vbdisk{n}", [], False),
}


class MachineKind:
    """A QEMU board and CPU, and the controllers that take disk 0, 1, ... in
    turn, as (bus, how many). SeaBIOS numbers the disks from 0x80 in that
    order; where it would not by itself (it puts IDE disks ahead of USB and
    NVMe ones), `boot_order` gives every disk its boot index."""

    def __init__(self, name, board, buses, cpu=None, boot_order=False):
        self.name = name
        self.board = board
        self.buses = buses
        self.cpu = cpu
        self.boot_order = boot_order

    def slots(self):
        """(bus, position on that bus) of disk 0, 1, ..."""
        return [(bus, n) for bus, count in self.buses for n in range(count)]

    def pins(self, index):
        """Whether disk `index` can have its geometry pinned."""
        return BUSES[self.slots()[index][0]][2]


KINDS = {kind.name: kind for kind in [
    MachineKind("pc", "pc", [("ide", 4), ("scsi", 12)]),
    # q35: the ICH9 AHCI controller's six ports, then virtio-scsi.
    MachineKind("q35", "q35", [("ahci", 6), ("scsi", 10)]),
    # No PCI at all: the two ISA IDE channels only.
    MachineKind("isapc", "isapc", [("ide", 4)]),
    MachineKind("486", "pc", [("ide", 4), ("scsi", 12)], cpu="486"),
    # Disk 0 on a USB or NVMe controller, further disks on IDE.
    MachineKind("xhci", "pc", [("xhci", 1), ("ide", 4)], boot_order=True),
    MachineKind("ehci", "pc", [("ehci", 1), ("ide", 4)], boot_order=True),
    MachineKind("nvme", "pc", [("nvme", 1), ("ide", 4)], boot_order=True),
]}


class Screen:
    """What a machine of any emulator offers a scenario: `screen()` (25
    lines) and `cursor()` come from the emulator; waits are built on them."""

    last_screen = None

    def screen_text(self):
        return "\n".join(line.rstrip() for line in self.screen()).rstrip("\n")

    def _screen_note(self):
        if not self.last_screen:
            return "\n(no screen was read)"
        text = "\n".join(line.rstrip() for line in self.last_screen).rstrip("\n")
        return "\nlast screen:\n" + text

    def wait_for(self, expected, timeout=DEFAULT_TIMEOUT, what=None):
        """Waits until `expected` (a text, or a function of the screen text,
        then described by `what`) holds on two consecutive reads; returns the
        screen text."""
        test = expected if callable(expected) else (lambda text: expected in text)
        what = what or (expected.__doc__ if callable(expected) else repr(expected))
        deadline = time.monotonic() + timeout
        agreed = False
        while True:
            text = self.screen_text()
            if test(text):
                if agreed:
                    return text
                agreed = True
            else:
                agreed = False
            if time.monotonic() > deadline:
                raise BootFailure(f"timed out waiting for {what}" + self._screen_note())
            time.sleep(POLL_SECONDS)

    def wait_quiet(self, timeout=DEFAULT_TIMEOUT, settle=0.3):
        """Waits until the screen has not changed for `settle` seconds."""
        deadline = time.monotonic() + timeout
        previous = self.screen_text()
        since = time.monotonic()
        while time.monotonic() - since < settle:
            if time.monotonic() > deadline:
                raise BootFailure("the screen never settled" + self._screen_note())
            time.sleep(POLL_SECONDS)
            text = self.screen_text()
            if text != previous:
                previous, since = text, time.monotonic()
        return previous

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.close()
        return False


def screen_lines(cells):
    """The 25 lines of 80 characters in a dump of the text screen's cells."""
    chars = bytes(b if b else 0x20 for b in cells[0::2]).decode("cp437")
    return [chars[r * SCREEN_COLUMNS:(r + 1) * SCREEN_COLUMNS] for r in range(SCREEN_ROWS)]


class Machine(Screen):
    """One QEMU process of the given kind (a name in `KINDS`). Use as a
    context manager so that it always ends."""

    def __init__(self, workdir, disks, name="vm", kind="pc"):
        self.workdir = workdir
        self.disks = disks
        self.name = name
        self.kind = KINDS[kind]
        self.process = None
        self.sock = None
        self.buffer = b""
        self.dump_path = os.path.join(workdir, f"{name}.screen")
        self.socket_path = os.path.join(workdir, f"{name}.qmp")
        self.log_path = os.path.join(workdir, f"{name}.log")

    # -- lifecycle ---------------------------------------------------------

    def command_line(self):
        kind = self.kind
        args = [qemu_binary(), "-machine", f"{kind.board},accel=tcg", "-m", "16",
                "-nodefaults", "-vga", "std", "-display", "none",
                "-no-reboot", "-boot", "c",
                "-qmp", f"unix:{self.socket_path},server=on,wait=on"]
        if kind.cpu:
            args += ["-cpu", kind.cpu]
        slots = kind.slots()
        if len(self.disks) > len(slots):
            raise BootFailure(f"a {kind.name} machine takes at most {len(slots)} disks, "
                              f"not {len(self.disks)}")
        controllers = []
        for index, disk in enumerate(self.disks):
            bus, position = slots[index]
            device_for, controller, pins = BUSES[bus]
            if controller and controller not in controllers:
                controllers.append(controller)
                args += controller
            drive = f"hd{index}"
            args += ["-drive", f"if=none,id={drive},file={disk.path},format=raw"]
            device = device_for(position) + f",drive={drive}"
            if disk.geometry and pins:
                cyls, heads, secs = disk.geometry
                device += f",cyls={cyls},heads={heads},secs={secs}"
            if disk.options and device.startswith("ide-hd"):
                device += "," + disk.options
            if kind.boot_order:
                device += f",bootindex={index}"
            args += ["-device", device]
        return args

    def start(self, timeout=10.0):
        if len(self.socket_path) >= 108:
            raise BootFailure(f"socket path too long: {self.socket_path}")
        log = open(self.log_path, "wb")
        self.process = subprocess.Popen(self.command_line(), stdin=subprocess.DEVNULL,
                                        stdout=log, stderr=subprocess.STDOUT)
        log.close()
        deadline = time.monotonic() + timeout
        while True:
            try:
                sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                sock.connect(self.socket_path)
                break
            except OSError:
                sock.close()
                if self.process.poll() is not None or time.monotonic() > deadline:
                    raise BootFailure("QEMU did not start: " + self._log_text())
                time.sleep(0.02)
        sock.settimeout(timeout)
        self.sock = sock
        self._read_message()  # the greeting
        self.command("qmp_capabilities")
        return self

    def close(self):
        if self.sock:
            try:
                self.command("quit")
            except (BootFailure, OSError):
                pass
            self.sock.close()
            self.sock = None
        if self.process:
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
            self.process = None

    def _log_text(self):
        try:
            with open(self.log_path, "rb") as f:
                return f.read().decode(errors="replace")
        except OSError:
            return ""

    # -- QMP ---------------------------------------------------------------

    def _read_message(self):
        while b"\n" not in self.buffer:
            try:
                chunk = self.sock.recv(65536)
            except socket.timeout:
                raise BootFailure("QMP did not answer" + self._screen_note())
            if not chunk:
                raise BootFailure("the machine died (QMP socket closed)" + self._screen_note())
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return json.loads(line)

    def command(self, name, **arguments):
        message = {"execute": name}
        if arguments:
            message["arguments"] = arguments
        self.sock.sendall(json.dumps(message).encode() + b"\n")
        while True:
            reply = self._read_message()
            if "event" in reply:
                continue
            if "error" in reply:
                raise BootFailure(f"QMP {name} failed: {reply['error']}")
            return reply.get("return")

    # -- screen ------------------------------------------------------------

    def screen(self):
        """The text screen as 25 lines of 80 characters (code page 437)."""
        self.command("pmemsave", val=SCREEN_ADDRESS,
                     size=SCREEN_COLUMNS * SCREEN_ROWS * 2, filename=self.dump_path)
        with open(self.dump_path, "rb") as f:
            self.last_screen = screen_lines(f.read())
        return self.last_screen

    def cursor(self):
        """(column, row) of the cursor of page 0, from the BIOS data area."""
        self.command("pmemsave", val=0x450, size=2, filename=self.dump_path)
        with open(self.dump_path, "rb") as f:
            column, row = f.read(2)
        return column, row

    # -- keyboard and screenshots -----------------------------------------

    def key(self, *qcodes, hold_ms=10):
        keys = [{"type": "qcode", "data": code} for code in qcodes]
        self.command("send-key", keys=keys, **{"hold-time": hold_ms})

    def type(self, text):
        for char in text:
            self.key(*key_for(char))

    def screenshot(self, path):
        self.command("screendump", filename=os.path.abspath(path), format="png")
        return path


def expect(condition, message, machine=None):
    """Fails the scenario with `message` (and the last screen) unless true."""
    if not condition:
        raise BootFailure(message + (machine._screen_note() if machine else ""))
