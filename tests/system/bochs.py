"""Boots raw disk images in Bochs, the emulator, with its own BIOS.

Bochs runs headless. Its `term` display draws the screen with curses on a
pseudo-terminal that Bochs opens itself (Debian's build has its debugger on
standard input and output, so it names that terminal there: "connected to
screen"); this module is the terminal's other end. What it writes there are
key presses, which Bochs turns into scan codes for its keyboard controller,
so typing takes the same path as on a real keyboard. What Bochs draws there is
read and thrown away: the screen is read through the debugger instead. SIGINT
stops the simulation at the debugger's prompt, `writemem` saves the text
screen (or the BIOS data area) to a file, `c` goes on.

Every wait is bounded and fails with `BootFailure`, naming what it waited for
and carrying the last screen read. Bochs ignores SIGTERM: it is ended with
its `q` command, or killed.
"""

import os
import re
import select
import shutil
import signal
import subprocess
import threading
import time
import tty

from harness import SCREEN_ADDRESS, SCREEN_COLUMNS, SCREEN_ROWS, BootFailure, Screen, screen_lines

BIOS = "/usr/share/bochs/BIOS-bochs-latest"
VGA_BIOS = "/usr/share/vgabios/vgabios.bin"
DISPLAY_PLUGIN = "/usr/lib/x86_64-linux-gnu/bochs/plugins/libbx_term_gui.so"
PROMPT = re.compile(rb"<bochs:\d+> ")
TERMINAL = re.compile(rb'connected to screen "([^"]+)"')
# How long a stop request may go unanswered before it is sent again: Bochs
# drops a SIGINT that arrives before its `c` has really started.
STOP_RETRY_SECONDS = 0.25
# Pause after each typed key (see `type`); not a wait for anything.
KEY_PACE_SECONDS = 0.03
# Channels of the four disks: ata0 master and slave, then ata1.
CHANNELS = [("ata0-master", "ata0"), ("ata0-slave", "ata0"),
            ("ata1-master", "ata1"), ("ata1-slave", "ata1")]
# Characters as the term display reads them from its terminal.
_TERMINAL_KEYS = {"\n": b"\r", "\b": b"\x7f"}


def bochs_binary():
    return shutil.which("bochs-bin")


def missing():
    """Why Bochs cannot run here, or None when everything is installed."""
    for path, package in [(bochs_binary(), "bochs"), (BIOS, "bochsbios"),
                          (VGA_BIOS, "vgabios"), (DISPLAY_PLUGIN, "bochs-term")]:
        if not path or not os.path.exists(path):
            return f"Bochs is not installed (package {package} missing)"
    return None


class BochsMachine(Screen):
    """One Bochs process on up to four IDE disks, each with pinned geometry
    (flat images, no translation: the CHS fields of the images hold)."""

    def __init__(self, workdir, disks, name="bochs"):
        self.workdir = workdir
        self.disks = disks
        self.name = name
        self.process = None
        self.terminal = None
        self.output = b""
        self.running = False
        self.drain = None
        self.config_path = os.path.join(workdir, f"{name}.bochsrc")
        self.log_path = os.path.join(workdir, f"{name}.log")
        self.dump_path = os.path.join(workdir, f"{name}.screen")
        self.drawn_path = os.path.join(workdir, f"{name}.term")

    # -- lifecycle ---------------------------------------------------------

    def configuration(self):
        if len(self.disks) > len(CHANNELS):
            raise BootFailure(f"Bochs takes at most {len(CHANNELS)} disks here, "
                              f"not {len(self.disks)}")
        lines = ["megs: 32",
                 f"romimage: file={BIOS}, options=fastboot",
                 f"vgaromimage: file={VGA_BIOS}",
                 "display_library: term",
                 "plugin_ctrl: speaker=0",
                 "ata0: enabled=1, ioaddr1=0x1f0, ioaddr2=0x3f0, irq=14",
                 "ata1: enabled=1, ioaddr1=0x170, ioaddr2=0x370, irq=15",
                 "boot: disk",
                 "clock: sync=none, time0=local",
                 f"log: {self.log_path}",
                 "info: action=ignore", "error: action=report", "panic: action=fatal"]
        for disk, (channel, _) in zip(self.disks, CHANNELS):
            lines.append(f'{channel}: type=disk, path="{disk.path}", mode=flat, '
                         + self._geometry(disk))
        return "\n".join(lines) + "\n"

    @staticmethod
    def _geometry(disk):
        """The disk's pinned geometry, untranslated; a disk that asks for LBA
        translation (ide-hd's bios-chs-trans=lba) gets 16 heads and 63
        sectors over its whole size and the BIOS's LBA translation."""
        if disk.options == "bios-chs-trans=lba":
            cylinders = min(os.path.getsize(disk.path) // (16 * 63 * 512), 16383)
            return f"cylinders={cylinders}, heads=16, spt=63, translation=lba"
        if not disk.geometry or disk.options:
            raise BootFailure(f"{disk.path}: Bochs needs the disk's geometry, "
                              f"and takes no options ({disk.options})")
        cylinders, heads, sectors = disk.geometry
        return f"cylinders={cylinders}, heads={heads}, spt={sectors}, translation=none"

    def start(self, timeout=10.0):
        with open(self.config_path, "w") as f:
            f.write(self.configuration())
        # curses needs a terminal type; "vt100" is in every terminfo.
        env = dict(os.environ, TERM="vt100")
        self.process = subprocess.Popen(
            [bochs_binary(), "-q", "-unlock", "-f", self.config_path],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
            cwd=self.workdir, env=env, start_new_session=True)
        found = TERMINAL.search(self._read_until(TERMINAL, timeout, "Bochs's display terminal"))
        self.terminal = os.open(found.group(1).decode(), os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.terminal)
        self.drain = threading.Thread(target=self._drain_terminal, daemon=True)
        self.drain.start()
        self._read_until(PROMPT, timeout, "the debugger's first prompt")
        self._resume()
        return self

    def close(self):
        if self.process and self.process.poll() is None:
            try:
                if self.running:
                    self._stop()
                self.process.stdin.write(b"q\n")
                self.process.stdin.flush()
                self.process.wait(timeout=5)
            except (BootFailure, OSError, subprocess.TimeoutExpired):
                pass
        if self.process:
            if self.process.poll() is None:
                self.process.kill()
            self.process.wait()
            self.process.stdout.close()
            self.process.stdin.close()
            self.process = None
        # The drain thread ends when Bochs's end of the terminal closes; only
        # then is the descriptor closed, so that it cannot read from another
        # file that gets the same number.
        if self.drain:
            self.drain.join(timeout=5)
        if self.terminal is not None and not (self.drain and self.drain.is_alive()):
            os.close(self.terminal)
        self.terminal = None

    def _drain_terminal(self):
        """Keeps Bochs's terminal output flowing (a full terminal would stop
        the display) and keeps it in a file for a person to look at."""
        with open(self.drawn_path, "wb") as drawn:
            while True:
                try:
                    chunk = os.read(self.terminal, 65536)
                except OSError:
                    return
                if not chunk:
                    return
                drawn.write(chunk)

    def _log_text(self):
        text = self.output.decode(errors="replace")[-2000:]
        try:
            with open(self.log_path, "rb") as f:
                text += "\n" + f.read().decode(errors="replace")[-2000:]
        except OSError:
            pass
        return text

    # -- the debugger ------------------------------------------------------

    def _read_until(self, pattern, timeout, what):
        """Reads Bochs's standard output until `pattern`; returns what came
        up to its end."""
        deadline = time.monotonic() + timeout
        while not pattern.search(self.output):
            left = deadline - time.monotonic()
            if left <= 0:
                raise BootFailure(f"Bochs: timed out waiting for {what}\n"
                                  + self._log_text() + self._screen_note())
            ready, _, _ = select.select([self.process.stdout], [], [], min(left, 0.05))
            if ready:
                chunk = os.read(self.process.stdout.fileno(), 65536)
                if not chunk:
                    raise BootFailure(f"Bochs ended while waiting for {what}\n"
                                      + self._log_text() + self._screen_note())
                self.output += chunk
        end = pattern.search(self.output).end()
        text, self.output = self.output[:end], self.output[end:]
        return text

    def _send(self, line):
        self.process.stdin.write(line.encode() + b"\n")
        self.process.stdin.flush()

    def _stop(self, timeout=5.0):
        """Stops the simulation at the debugger's prompt."""
        deadline = time.monotonic() + timeout
        while True:
            self.process.send_signal(signal.SIGINT)
            try:
                self._read_until(PROMPT, STOP_RETRY_SECONDS, "the debugger prompt")
                break
            except BootFailure:
                if self.process.poll() is not None or time.monotonic() > deadline:
                    raise BootFailure("Bochs did not stop at its debugger prompt\n"
                                      + self._log_text() + self._screen_note())
        self.running = False

    def _resume(self):
        self._send("c")
        # Bochs repeats the command once it has read it.
        self._read_until(re.compile(rb"(^|\n)c\n"), 5.0, "Bochs to take the continue command")
        self.running = True

    def _memory(self, address, size):
        """`size` bytes of guest memory at `address`, read while stopped."""
        self._stop()
        try:
            if os.path.exists(self.dump_path):
                os.remove(self.dump_path)
            self._send(f'writemem "{self.dump_path}" {address:#x} {size}')
            self._read_until(PROMPT, 5.0, "the debugger to write guest memory")
            with open(self.dump_path, "rb") as f:
                data = f.read()
        finally:
            self._resume()
        if len(data) != size:
            raise BootFailure(f"Bochs wrote {len(data)} bytes of memory, not {size}")
        return data

    # -- screen and keyboard -----------------------------------------------

    def screen(self):
        """The text screen as 25 lines of 80 characters (code page 437)."""
        self.last_screen = screen_lines(self._memory(SCREEN_ADDRESS,
                                                     SCREEN_COLUMNS * SCREEN_ROWS * 2))
        return self.last_screen

    def cursor(self):
        """(column, row) of the cursor of page 0, from the BIOS data area."""
        column, row = self._memory(0x450, 2)
        return column, row

    def type(self, text):
        """Types `text` on the display's terminal: letters (capitals with
        Shift), digits, blanks, Enter ("\\n") and Backspace ("\\b")."""
        for char in text:
            os.write(self.terminal, _TERMINAL_KEYS.get(char, char.encode("ascii")))
            # One key at a time: the display hands every character it finds
            # to a keyboard buffer of 16 scan codes at once.
            time.sleep(KEY_PACE_SECONDS)

    def screenshot(self, path):
        """No picture under Bochs (its display is a terminal): the screen's
        text goes into a file of the same name ending in .txt instead."""
        path = os.path.splitext(path)[0] + ".txt"
        with open(path, "w") as f:
            f.write(self.screen_text() + "\n")
        return path
