#!/usr/bin/env python3
"""Command-line tests of VornBootCheck over disk image files built here: the
text and JSON reports, the exit statuses, the -s copy, the interactive mode
through a pseudo-terminal, and that no disk image changes.

    check_cli_test.py --exe build/check/VornBootCheck --vornboot build/driver/VornBoot32
"""

import argparse
import json
import os
import pty
import select
import stat
import struct
import subprocess
import sys
import tempfile
import time
import unittest

ARGS = None
SECTORS = 2048  # 1 MiB disks: the BIOS geometry is 2/16/63
HEADS, TRACK = 16, 63


def chs(lba):
    cylinder, rest = divmod(lba, HEADS * TRACK)
    head, sector = divmod(rest, TRACK)
    return bytes([head, (sector + 1) | ((cylinder >> 2) & 0xC0), cylinder & 0xFF])


def table(signature, slots):
    """A sector 0: slots of (indicator, type, first, count) with CHS fields for 2/16/63."""
    s = bytearray(512)
    s[440:444] = struct.pack("<I", signature)
    for j, (indicator, type_id, first, count) in enumerate(slots):
        e = 446 + 16 * j
        s[e:e + 16] = (bytes([indicator]) + chs(first) + bytes([type_id]) +
                       chs(first + count - 1) + struct.pack("<II", first, count))
    s[510:512] = b"\x55\xaa"
    return bytes(s)


def tagged(tag):
    """A partition boot sector: hlt, a tag, 0x55 0xAA."""
    s = bytearray(512)
    s[0] = 0xF4
    s[1:1 + len(tag)] = tag.encode()
    s[510:512] = b"\x55\xaa"
    return bytes(s)


def fat32(hidden):
    s = bytearray(tagged("fat"))
    s[11:13] = struct.pack("<H", 512)
    s[28:32] = struct.pack("<I", hidden)
    s[66] = 0x29
    s[82:90] = b"FAT32   "
    return bytes(s)


DISK0 = table(0x11110000, [(0x80, 0x07, 64, 200), (0, 0x83, 300, 200), (0, 0x0B, 600, 200)])
DISK1 = table(0x22220000, [(0, 0x07, 64, 200)])
CONFIG = """map { {0x07, 0x17} {0x0B, 0x1B} }
entry "Win" { password "win" disk 0 { active 0 } disk 1 { disable 0 } }
entry "Lin" { password "lin" disk 0 { active 1 disable 0 } }
entry "Fat" { password "f" disk 0 { active 2 } }
"""

SCREEN = ["VornBoot 2.0", "", "Win", "Lin", "Fat", "", "Enter password: OK", "", ""]


class Run:
    def __init__(self, code, out, err):
        self.code, self.out, self.err = code, out, err


class CheckCliTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="vb-check-")
        self.dir = self.tmp.name
        # Lin's partition has an empty boot sector; Fat's FAT32 was made for 63.
        self.d0 = self.disk("d0.img", DISK0, {64: tagged("win"), 600: fat32(63)})
        self.d1 = self.disk("d1.img", DISK1, {64: tagged("d1")})
        self.file("c.txt", CONFIG)

    def tearDown(self):
        self.tmp.cleanup()

    def path(self, name):
        return os.path.join(self.dir, name)

    def disk(self, name, sector0, sectors=None):
        with open(self.path(name), "wb") as f:
            f.truncate(SECTORS * 512)
            f.write(sector0)
            for lba, data in (sectors or {}).items():
                f.seek(lba * 512)
                f.write(data)
        return self.path(name)

    def file(self, name, text):
        with open(self.path(name), "w") as f:
            f.write(text)

    def read(self, path):
        with open(path, "rb") as f:
            return f.read()

    def env(self, disks, system_volume=None):
        env = dict(os.environ, VORNBOOT_DISKS=":".join(disks))
        env.pop("VORNBOOT_SYSTEM_VOLUME", None)
        if system_volume:
            env["VORNBOOT_SYSTEM_VOLUME"] = system_volume
        return env

    def run_check(self, *args, disks=None, exe=None, system_volume=None):
        disks = [self.d0, self.d1] if disks is None else disks
        p = subprocess.run([exe or ARGS.exe] + list(args), cwd=self.dir, capture_output=True,
                           env=self.env(disks, system_volume), stdin=subprocess.DEVNULL,
                           timeout=60)
        return Run(p.returncode & 0xFF, p.stdout.decode("latin-1"), p.stderr.decode("latin-1"))

    def assertDisksUnchanged(self, before):
        for path, (data, mtime) in before.items():
            self.assertEqual(self.read(path), data, path)
            self.assertEqual(os.stat(path).st_mtime_ns, mtime, path)

    def snapshot(self):
        return {p: (self.read(p), os.stat(p).st_mtime_ns) for p in (self.d0, self.d1)}

    # -- reports ------------------------------------------------------------
    def test_text_report(self):
        before = self.snapshot()
        r = self.run_check("c.txt")
        screen = "".join("    |" + (" " + line if line else "") + "\n" for line in SCREEN)
        self.assertEqual((r.code, r.err), (1, ""))
        self.assertEqual(r.out, (
            "VornBootCheck: c.txt tried on an emulated PC; no disk is written\n"
            "boot step: extended read (Int 13 Extensions)\n"
            "disk 0: 2048 sectors, CHS geometry 2/16/63 (cylinders/heads/sectors)\n"
            "disk 1: 2048 sectors, CHS geometry 2/16/63 (cylinders/heads/sectors)\n"
            "\n"
            "entry \"Win\"\n  screen:\n" + screen +
            "  typed: the password, 3 key(s), and Enter\n"
            "  disk 1 slot 0: inactive 0x07 HPFS/NTFS visible -> inactive 0x17 HPFS/NTFS hidden\n"
            "  started: disk 0 slot 0, type 0x07 HPFS/NTFS, start 64, size 200\n"
            "  boot sector: read, 0x55 0xAA present\n"
            "\n"
            "entry \"Lin\"\n  screen:\n" + screen +
            "  typed: the password, 3 key(s), and Enter\n"
            "  disk 0 slot 0: active 0x07 HPFS/NTFS visible -> inactive 0x17 HPFS/NTFS hidden\n"
            "  disk 0 slot 1: inactive 0x83 Unknown visible -> active 0x83 Unknown visible\n"
            "  started: disk 0 slot 1, type 0x83 Unknown, start 300, size 200\n"
            "  boot sector: read, 0x55 0xAA missing\n"
            "  problem: the boot sector is empty (all zeros): the machine would hang\n"
            "\n"
            "entry \"Fat\"\n  screen:\n" + screen +
            "  typed: the password, 1 key(s), and Enter\n"
            "  disk 0 slot 0: active 0x07 HPFS/NTFS visible -> inactive 0x07 HPFS/NTFS visible\n"
            "  disk 0 slot 2: inactive 0x0B FAT32 visible -> active 0x0B FAT32 visible\n"
            "  started: disk 0 slot 2, type 0x0B FAT32, start 600, size 200\n"
            "  boot sector: read, 0x55 0xAA present\n"
            "  boot sector: FAT32, hidden sectors 63, partition start 600\n"
            "  problem: the FAT32 boot sector's hidden sectors are 63, but the partition starts "
            "at 600\n"
            "\n"
            "summary:\n"
            "  entry \"Win\": boots\n"
            "  entry \"Lin\": the boot sector is empty (all zeros): the machine would hang\n"
            "  entry \"Fat\": the FAT32 boot sector's hidden sectors are 63, but the partition "
            "starts at 600\n"
            "1 of 3 entries boot\n"))
        self.assertDisksUnchanged(before)

    def test_json_report(self):
        before = self.snapshot()
        # A warning of the parse goes to standard error: standard output is the document.
        self.file("w.txt", CONFIG + 'entry "Two" { password "2" disk 0 { active 0 } disk 2 { } }')
        r = self.run_check("--json", "-x", "w.txt")
        self.assertEqual((r.code, r.err), (1, "w.txt(5): warning: non-existent disk number\n"))
        doc = json.loads(r.out)
        self.assertEqual({k: doc[k] for k in ("source", "installed", "boot_step", "saved",
                                              "configured_disks", "missing_disks", "boots")},
                         {"source": "w.txt", "installed": False, "boot_step": "chs",
                          "saved": None, "configured_disks": 3, "missing_disks": [2],
                          "boots": False})
        self.assertEqual(doc["disks"][1], {"disk": 1, "sectors": 2048,
                                           "geometry": {"cylinders": 2, "heads": 16,
                                                        "sectors": 63}})
        win, lin, fat, two = doc["entries"]
        # Disk 2 is missing for every entry: the boot program shows its disk error.
        self.assertEqual((win["name"], win["boots"], win["stop"], win["problems"]),
                         ("Win", False, "chain_loaded", [
                             "disk 2 of the configuration is not present: the boot program "
                             "shows its disk-error text"]))
        self.assertEqual(win["started"], {
            "disk": 0, "slot": 0, "active_slot": 0, "lba": 64, "sectors": 200, "type": 7,
            "read": True, "signed": True, "empty": False, "file_system": None,
            "hidden_sectors": None, "chs": {"cylinder": 0, "head": 1, "sector": 2, "lba": 64}})
        self.assertEqual(win["screen"],
                         SCREEN[:5] + ["Two"] + SCREEN[5:-1] + ["Disk IO Error", ""])
        self.assertEqual([t["disk"] for t in win["tables"]], [0, 1])
        self.assertEqual(win["tables"][1]["slots"][0],
                         {"slot": 0, "active": False, "indicator": 0, "type": 0x17, "lba": 64,
                          "sectors": 200})
        self.assertEqual(lin["changes"], [
            {"disk": 0, "slot": 0, "before": {"indicator": 128, "type": 7},
             "after": {"indicator": 0, "type": 0x17}},
            {"disk": 0, "slot": 1, "before": {"indicator": 0, "type": 0x83},
             "after": {"indicator": 128, "type": 0x83}}])
        self.assertEqual(lin["problem_kinds"], ["empty_boot_sector", "missing_disk"])
        self.assertEqual((fat["started"]["file_system"], fat["started"]["hidden_sectors"]),
                         ("FAT32", 63))
        self.assertEqual((two["boots"], two["problem_kinds"]), (False, ["missing_disk"]))
        self.assertDisksUnchanged(before)

    def test_installed_boot_manager_and_the_copy(self):
        install = subprocess.run([ARGS.vornboot, "c.txt"], cwd=self.dir, capture_output=True,
                                 env=self.env([self.d0, self.d1]))
        self.assertEqual(install.returncode, 0, install.stderr)
        installed = self.read(self.d0)[:512]
        before = self.snapshot()
        r = self.run_check("-s", "mbr.bin")
        self.assertEqual(r.code, 1, r.err)
        self.assertTrue(r.out.startswith(
            "sector 0 of disk 0 saved to mbr.bin\nit holds VornBoot, this boot manager\n"
            "VornBootCheck: the boot manager installed on disk 0 tried on an emulated PC; "
            "no disk is written\n"), r.out)
        self.assertIn("1 of 3 entries boot\n", r.out)
        self.assertEqual(self.read(self.path("mbr.bin")), installed)
        self.assertEqual(stat.S_IMODE(os.stat(self.path("mbr.bin")).st_mode), 0o600)
        # An existing file, a disk above all, is never written over.
        for target in ("mbr.bin", self.d1, "/dev/null"):
            r = self.run_check("-s", target, "c.txt")
            self.assertEqual((r.code, r.out, r.err), (
                0xFC, "", f"{target} exists: a copy is only written to a new file\n"))
        self.assertEqual(self.read(self.path("mbr.bin")), installed)
        self.assertDisksUnchanged(before)
        # What else sector 0 may hold.
        subprocess.run([ARGS.vornboot, "-u"], cwd=self.dir, capture_output=True,
                       env=self.env([self.d0, self.d1]), check=True)
        r = self.run_check("--json", "-s", "std.bin")
        self.assertEqual((r.code, json.loads(r.out)["saved"], json.loads(r.out)["entries"]),
                         (1, {"file": "std.bin", "holds": "standard", "signed": True}, []))
        r = self.run_check("-s", "other.bin", disks=[self.disk("o.img", b"\xfa" + DISK0[1:])])
        self.assertEqual(r.out, "sector 0 of disk 0 saved to other.bin\nit holds other boot code, "
                         "which an install replaces and an uninstall does not bring back\n"
                         "VornBoot is not installed on disk 0: there is nothing to try\n")

    def test_system_volume_disk_becomes_disk_zero(self):
        self.file("a.txt",
                  'map { {7, 0x17} } entry "A" { disk 0 { active 0 } disk 1 { disable 0 } }')
        r = self.run_check("--json", "a.txt", system_volume=self.d1)
        self.assertEqual(r.code, 0, r.err)
        disk0, disk1 = json.loads(r.out)["entries"][0]["tables"]
        # Disk 0 is d1's disk, with one partition; disk 1 is d0's.
        self.assertEqual([s["type"] for s in disk0["slots"]], [0x07, 0, 0, 0])
        self.assertEqual([s["type"] for s in disk1["slots"]], [0x17, 0x83, 0x0B, 0])
        self.assertEqual(self.run_check("c.txt", system_volume=self.d1).err,
                         'c.txt: error: EMPTY partition 1 of entry "Lin" cannot be active\n')

    def test_statuses(self):
        os.mkdir(self.path("dir"))
        self.file("bad.txt", "map {\n")
        self.file("empty.txt", "")
        cases = [
            (["-h"], None, 0, "", "Usage:\tVornBootCheck [options] [config_file]\n"),
            (["missing.txt"], None, -5, "Cannot open file missing.txt\n", ""),
            (["dir"], None, 2, "fatal error - reading the configuration input failed\n", ""),
            (["bad.txt"], None, -6, "", "bad.txt(2): error: parse error\n"),
            (["empty.txt"], None, -6, "empty.txt: error: no entries defined\n", ""),
            (["c.txt"], [], -7, "No hard disk found: disk 0 cannot be read: VORNBOOT_DISKS lists no disk\n", ""),
            (["-s"], None, -3, "File name is not specified\n", ""),
            (["-q"], None, -8, "unknown option -q\n", ""),
            (["-i", "c.txt"], None, -8, "-i needs a terminal\n", ""),
            (["--geometry", "0=2/16"], None, -8,
             "invalid geometry 0=2/16 (K=C/H/S: disk K, 1-1024 cylinders, 1-255 heads, "
             "1-63 sectors)\n", ""),
            ([], None, 1, "", "VornBoot is not installed on disk 0: there is nothing to try\n"),
        ]
        for args, disks, code, err, out in cases:
            with self.subTest(args=args):
                r = self.run_check(*args, disks=disks)
                self.assertEqual((r.code, r.err), (code & 0xFF, err))
                self.assertTrue(r.out.startswith(out), r.out)
        self.file("ok.txt", CONFIG.split('entry "Lin"')[0])
        self.assertEqual(self.run_check("ok.txt").code, 0)

    # -- interactive ----------------------------------------------------------
    def test_interactive_through_a_terminal(self):
        before = self.snapshot()
        pid, fd = pty.fork()
        if pid == 0:
            try:
                os.chdir(self.dir)
                os.execve(ARGS.exe, [ARGS.exe, "-i", "c.txt"], self.env([self.d0, self.d1]))
            finally:
                os._exit(127)
        output = b""

        def read_until(text, timeout=20):
            nonlocal output
            deadline = time.monotonic() + timeout
            while text not in output and time.monotonic() < deadline:
                ready, _, _ = select.select([fd], [], [], 0.2)
                if ready:
                    try:
                        chunk = os.read(fd, 4096)
                    except OSError:  # the program has ended
                        break
                    if not chunk:
                        break
                    output += chunk
            return text in output

        try:
            self.assertTrue(read_until(b"Enter password: "), output)
            os.write(fd, b"wim\r")
            self.assertTrue(read_until(b"WRONG!\r\nEnter password: "), output)
            os.write(fd, b"W\x7fwin\r")  # a Backspace is a key: wrong again
            self.assertTrue(read_until(b"WRONG!\r\nEnter password: WRONG!"), output)
            os.write(fd, b"win\r")
            self.assertTrue(read_until(b"1 of 1 entries boot"), output)
        finally:
            _, wait_status = os.waitpid(pid, 0)
            os.close(fd)
        text = output.decode("latin-1").replace("\r\n", "\n")
        self.assertEqual(os.waitstatus_to_exitcode(wait_status), 0, text)
        self.assertIn("entry \"Win\"\n  screen:\n", text)
        self.assertIn("  started: disk 0 slot 0, type 0x07 HPFS/NTFS, start 64, size 200\n", text)
        self.assertNotIn("win", text.split("Enter password:")[1], "the password is not echoed")
        self.assertDisksUnchanged(before)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--vornboot", required=True)
    ARGS, rest = parser.parse_known_args()
    ARGS.exe = os.path.abspath(ARGS.exe)
    ARGS.vornboot = os.path.abspath(ARGS.vornboot)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=1)


if __name__ == "__main__":
    main()
