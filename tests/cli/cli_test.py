#!/usr/bin/env python3
"""Command-line tests: run the built VornBoot32 over disk image files and check
its exit status, standard output, standard error and the bytes it leaves on
the disks, exactly.

    cli_test.py --exe build/VornBoot32 --version 2.0.0 [--runner "wine"]
                [--path-separator ";"] [--crlf]

--runner prefixes every run (e.g. Wine); --crlf turns CR LF into LF in what the
program prints and writes before comparing (a Windows build writes text mode).
"""

import argparse
import errno
import os
import signal
try:
    import fcntl
    import resource
except ImportError:  # not on Windows
    fcntl = resource = None
import shlex
import stat
import struct
import subprocess
import sys
import tempfile
import unittest

ARGS = None

# The banner's second line carries the project's version (--version).
BANNER_FORM = ("Vorn Boot Manager 2.0\n"
               "VornBoot32 %s: password boot manager for the master boot record of disk 0.\n")
BANNER = None
USAGE = ("Usage:\tVornBoot32 [options] <config_file> [options]\n\nOptions:\n\t-h\thelp\n"
         "\t-b[n|s]\tbuild <config_file> by current configuration\n\t-u\tuninstall\n"
         "\t-x\tdo not use Int 13 Extensions\n")


NO_DISK_ZERO = "No hard disk found: disk 0 cannot be read: "


def status(code):
    """The exit status as a POSIX parent sees it."""
    return code & 0xFF


def sector0(signature, slots):
    """A sector 0: disk signature, slots of (indicator, type, first, count), 55 AA."""
    s = bytearray(512)
    s[440:444] = struct.pack("<I", signature)
    for j, (indicator, type_id, first, count) in enumerate(slots):
        e = 446 + 16 * j
        s[e] = indicator
        s[e + 1:e + 4] = bytes([1, 1, 0])
        s[e + 4] = type_id
        s[e + 5:e + 8] = bytes([0xFE, 0xFF, 0xFF])
        s[e + 8:e + 16] = struct.pack("<II", first, count)
    s[510:512] = b"\x55\xaa"
    return bytes(s)


# The disk of the writer's worked example.
EXAMPLE_DISK = sector0(0x12345678, [(0x80, 0x07, 63, 20482812),
                                    (0, 0x0C, 20482875, 41945715),
                                    (0, 0x83, 62428590, 2104515)])
EXAMPLE_TEXT = ("map {\n"
                "\t{0x07, 0x17}\t// HPFS/NTFS\n"
                "\t{0x0C, 0x1C}\t// FAT32x\n"
                "\t{0x83, 0x93}\t// Unknown\n"
                "}\n"
                "entry \"Original\" {\n"
                "\tpassword \"\"\n"
                "\tdisk 0 {\n"
                "\t\tactive\t0\t// 0x07, offset:    31 KB, size: 10001 MB \n"
                "\t\tenable\t1\t// 0x0C, offset: 10001 MB, size: 20481 MB \n"
                "\t\tenable\t2\t// 0x83, offset: 30482 MB, size:  1027 MB \n"
                "\t}\n"
                "}\n")
EXAMPLE_SET = ("set {\n"
               "\tpassword_prompt \"\\nEnter password: \"\n"
               "\tpassword_wrong \"WRONG!\\r\"\n"
               "\tpassword_ok \"OK\\r\\n\\n\"\n"
               "\tdisk_error \"Disk IO Error\\r\\n\"\n"
               "}\n")

WIN_CONFIG = """map {
  {0x07, 0x17}
  {0x0B, 0x1B}
}
entry "Win" {
  disk 0 { active 0 }
  disk 1 { disable 0 }
}
"""


class Run:
    def __init__(self, code, out, err):
        self.code, self.out, self.err = code, out, err


class CliTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="vb-cli-")
        self.dir = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    # -- helpers -----------------------------------------------------------
    def path(self, name):
        return os.path.join(self.dir, name)

    def disk(self, name, first_sector, sectors=16):
        p = self.path(name)
        with open(p, "wb") as f:
            f.write(first_sector + bytes(512 * (sectors - 1)))
        return p

    def file(self, name, text, mode="w"):
        p = self.path(name)
        with open(p, mode) as f:
            f.write(text)
        return p

    def read(self, path, size=None):
        with open(path, "rb") as f:
            return f.read(size) if size else f.read()

    def text_of(self, path):
        data = self.read(path)
        if ARGS.crlf:
            data = data.replace(b"\r\n", b"\n")
        return data.decode("latin-1")

    def run_vb(self, *args, disks=None, system_volume=None, preexec=None):
        env = dict(os.environ)
        env.pop("VORNBOOT_SYSTEM_VOLUME", None)
        env["VORNBOOT_DISKS"] = ARGS.path_separator.join(disks or [])
        if system_volume:
            env["VORNBOOT_SYSTEM_VOLUME"] = system_volume
        cmd = shlex.split(ARGS.runner) + [ARGS.exe] + list(args)
        p = subprocess.run(cmd, cwd=self.dir, env=env, capture_output=True, timeout=120,
                           preexec_fn=preexec)
        out, err = p.stdout, p.stderr
        if ARGS.crlf:
            out, err = out.replace(b"\r\n", b"\n"), err.replace(b"\r\n", b"\n")
        return Run(status(p.returncode), out.decode("latin-1"), err.decode("latin-1"))

    def expect(self, run, code, out, err=""):
        self.assertEqual((run.code, run.out, run.err), (status(code), out, err))

    # -- usage and command line -------------------------------------------
    def test_usage_touches_no_disk(self):
        d = self.disk("d0.img", EXAMPLE_DISK)
        before = os.stat(d).st_mtime_ns
        cases = [[], ["-bq", "config.txt"], ["config.txt", "-h"], ["-", "-u"]]
        if ARGS.runner:
            cases.append(["/"])  # Windows: an option character alone (on POSIX: a file name)
        for args in cases:
            self.expect(self.run_vb(*args, disks=[d]), 0, BANNER + USAGE)
        self.assertEqual(self.read(d, 512), EXAMPLE_DISK)
        self.assertEqual(os.stat(d).st_mtime_ns, before)

    def test_options_begin_with_a_dash_on_posix_and_a_slash_too_on_windows(self):
        d0 = self.disk("d0.img", EXAMPLE_DISK)
        if ARGS.runner:
            self.expect(self.run_vb("/bp", "out.txt", disks=[d0]), 0,
                        BANNER + 'Current configuration stored into file "out.txt"')
            self.expect(self.run_vb("/u", disks=[d0]), 1, BANNER, "VornBoot was not installed")
            self.expect(self.run_vb("c.txt", "/H", disks=[d0]), 0, BANNER + USAGE)
            self.assertEqual(self.read(d0, 512), EXAMPLE_DISK)
            return
        # Once "-bp /usr/local/backup.txt" read the name as the option /u and uninstalled.
        backup = self.path("backup.txt")
        self.expect(self.run_vb("-bp", backup, disks=[d0]), 0,
                    BANNER + 'Current configuration stored into file "%s"' % backup)
        self.assertEqual(self.text_of(backup), EXAMPLE_TEXT)
        self.assertEqual(self.read(d0, 512), EXAMPLE_DISK)
        # An absolute name alone means install (it once printed the usage and exited 0).
        config = self.file("boot.conf", 'map{{7,0x17}} entry "A" { disk 0 { active 0 } }')
        self.expect(self.run_vb(config, disks=[d0]), 0,
                    BANNER + "VornBoot has been successfully installed\n")
        self.assertEqual(self.read(d0, 512)[444:446], b"BM")

    def test_missing_file_name(self):
        d = self.disk("d0.img", EXAMPLE_DISK)
        self.expect(self.run_vb("-b", disks=[d]), -3, BANNER, "File name is not specified")
        # -x alone leaves the mode at usage.
        self.expect(self.run_vb("-x", disks=[d]), 0, BANNER + USAGE)

    # -- install -------------------------------------------------------------
    def test_install_worked_example_and_read_back(self):
        d0 = self.disk("d0.img", EXAMPLE_DISK)
        d1 = self.disk("d1.img", sector0(0xCAFE, [(0, 0x07, 63, 1000)]))
        self.file("config.txt", WIN_CONFIG)
        self.expect(self.run_vb("config.txt", disks=[d0, d1]), 0,
                    BANNER + "VornBoot has been successfully installed\n")
        s = self.read(d0, 512)
        self.assertEqual(s[440:444], EXAMPLE_DISK[440:444])
        self.assertEqual(s[444:446], b"BM")
        self.assertEqual(s[446:512], EXAMPLE_DISK[446:512])
        self.assertEqual(struct.unpack_from("<H", s, 34)[0], 0x074C)
        self.assertEqual((s[37], s[38], s[130], s[131], s[165]), (2, 0, 0x81, 0, 4))
        for slot, address in ((61, 0x0718), (110, 0x072A), (118, 0x0732), (162, 0x0748),
                              (215, 0x0738)):
            self.assertEqual(struct.unpack_from("<H", s, slot)[0], address, slot)
        self.assertEqual(s[264:280], b"VornBoot 2.0\r\n\n\0")
        self.assertEqual(s[280:328], b"\nEnter password: \0WRONG!\r\0OK\r\n\n\0Disk IO Error\r\n\0")
        self.assertEqual(s[328:342], bytes.fromhex("0717 0B1B 57696E0D0A00 1C 01 10 00"))
        self.assertEqual(self.read(d1, 512)[:512], sector0(0xCAFE, [(0, 0x07, 63, 1000)]))
        # Installing again gives the same sector.
        self.expect(self.run_vb("config.txt", disks=[d0, d1]), 0,
                    BANNER + "VornBoot has been successfully installed\n")
        self.assertEqual(self.read(d0, 512), s)
        # Read back.
        r = self.run_vb("-bp", "back.txt", disks=[d0, d1])
        self.expect(r, 0, BANNER + 'Current configuration stored into file "back.txt"')
        self.assertEqual(self.text_of(self.path("back.txt")),
                         "map {\n\t{0x07, 0x17}\t// HPFS/NTFS\n\t{0x0B, 0x1B}\t// FAT32\n}\n"
                         "entry \"Win\" {\n\tpassword \"\"\n"
                         "\tdisk 0 {\n"
                         "\t\tactive\t0\t// 0x07, offset:    31 KB, size: 10001 MB \n"
                         "\t\tenable\t1\t// 0x0C, offset: 10001 MB, size: 20481 MB \n"
                         "\t\tenable\t2\t// 0x83, offset: 30482 MB, size:  1027 MB \n"
                         "\t}\n"
                         "\tdisk 1 {\n"
                         "\t\tdisable\t0\t// 0x07, offset:    31 KB, size:   500 KB \n"
                         "\t}\n}\n")

    def test_chs_boot_step_option(self):
        d0 = self.disk("d0.img", EXAMPLE_DISK)
        self.file("c.txt", 'map{{7,0x17}} entry "A" { disk 0 { active 0 } }')
        self.expect(self.run_vb("c.txt", disks=[d0]), 0,
                    BANNER + "VornBoot has been successfully installed\n")
        extended = self.read(d0, 512)
        self.expect(self.run_vb("-x", "c.txt", disks=[d0]), 0,
                    BANNER + "VornBoot has been successfully installed\n")
        chs = self.read(d0, 512)
        self.assertNotEqual(extended[227:247], chs[227:247])
        self.assertEqual(struct.unpack_from("<H", chs, 243)[0],
                         struct.unpack_from("<H", chs, 215)[0])
        self.assertEqual(extended[:227], chs[:227])
        self.assertEqual(extended[247:], chs[247:])

    def test_parse_diagnostics_go_to_standard_output(self):
        d0 = self.disk("d0.img", EXAMPLE_DISK)
        cases = [
            ('map {\n{0x06, 0x16}\n{0x16, 0x26}\n}\n',
             "c.txt(3): error: duplicated partition ID\n"),
            # A statement is reported at the line before the token after it.
            ('map { {256, 1} }\n', "c.txt(0): error: partition ID exceeds 0xFF\n"),
            ('map {\n{0x83, 0x83}\n{256, 1}\n}\n',
             "c.txt(2): warning: hidden partition ID same as original, ignored\n"
             "c.txt(3): error: partition ID exceeds 0xFF\n"),
            ('map {\n  {6, 22}\n}\nentry "a" {\n  disk 0 { enable 0 }\n}\n',
             "c.txt(5): error: no active partition specified for disk 0 of entry \"a\"\n"),
            ('entry "a" {\n  disk 0 { active 0 }\n  disk 16 {\n}\n',
             "c.txt(3): error: non-existent disk number\n"),
            ('entry "a" {\n  password "x=y"\n}\n',
             "c.txt(2): error: unknown character '='\n"),
            ('map {\n', "c.txt(2): error: parse error\n"),
            ('set {\n  password_ok "abc\n}\n',
             "c.txt(2): error: newline in string\nc.txt(3): error: parse error\n"),
            ('set { }\n"open\n', "c.txt(2): error: newline in string\n"
                                 "c.txt(3): error: parse error\n"),
            ('map { }\r\nsetx\r\n', "c.txt(2): error: unexpected token 'x'\n"
                                    "c.txt(2): error: parse error\n"),
        ]
        for text, out in cases:
            with self.subTest(text=text):
                self.file("c.txt", text)
                self.expect(self.run_vb("c.txt", disks=[d0]), -6, BANNER + out)
        self.assertEqual(self.read(d0, 512), EXAMPLE_DISK)

    def test_compiler_refusals_go_to_standard_error_and_install_nothing(self):
        d0 = self.disk("d0.img", EXAMPLE_DISK)
        cases = [
            ("", "cfg.txt: error: no entries defined\n"),
            ('entry "a" { disk 0 { active 0 } }', "cfg.txt: error: no partition map defined\n"),
            ('map {{7,0x17}} entry "a" { disk 0 { active 3 } }',
             "cfg.txt: error: EMPTY partition 3 of entry \"a\" cannot be active\n"),
            ('map {{7,0x17}} entry "a" { password "(\\x1C)" disk 0 { active 0 } }',
             "cfg.txt: error: password of entry \"a\" holds the Enter key code 0x1C\n"),
            ('map {{7,0x17} {0xEE,0xFE}} entry "a" { disk 0 { active 0 } }',
             "cfg.txt: error: partition ID 0xEE (GPT) cannot be mapped: "
             "hiding it would make a GPT disk unreadable\n"),
            ('map {{7,0x17}} entry "' + "n" * 124 + '" { disk 0 { active 0 } }',
             "cfg.txt: error: compiled information cannot fit in boot code: "
             "try to free 20 byte(s)\n"),
        ]
        for text, err in cases:
            with self.subTest(text=text):
                self.file("cfg.txt", text)
                self.expect(self.run_vb("cfg.txt", disks=[d0]), -6, BANNER, err)
        self.assertEqual(self.read(d0, 512), EXAMPLE_DISK)

    def test_install_refuses_a_disk_zero_that_cannot_boot_it(self):
        # Each was once "successfully installed": the BIOS refused the first,
        # the others said OK at boot and hung, the protective entry marked active.
        gpt = sector0(0, [(0, 0xEE, 1, 0xFFFFFFFF)])
        hybrid = sector0(0x1234, [(0x80, 0x07, 2048, 1000), (0, 0x0B, 4096, 100),
                                  (0, 0xEE, 1, 2047)])
        not_booted = ("Disk 0 (%s) cannot be booted: its sector 0 does not end in 0x55 0xAA; "
                      "nothing was written")
        gpt_disk = ("Disk 0 (%s) has a GPT partition table (type 0xEE): VornBoot boots "
                    "BIOS/MBR systems only; nothing was written")
        self.file("c.txt", 'map{{7,0x17}} entry "A" { disk 0 { active 0 } }')
        for name, first, code, text in [("blank.img", bytes(512), -8, not_booted),
                                        ("unsigned.img", EXAMPLE_DISK[:510] + b"\0\0", -8,
                                         not_booted),
                                        ("gpt.img", gpt, -9, gpt_disk),
                                        ("hybrid.img", hybrid, -9, gpt_disk)]:
            with self.subTest(disk=name):
                d0 = self.disk(name, first)
                before = self.read(d0)
                self.expect(self.run_vb("c.txt", disks=[d0]), code, BANNER, text % d0)
                self.assertEqual(self.read(d0), before)
        # What -b makes of a GPT disk offers no pair that would hide it.
        self.expect(self.run_vb("-b", "gpt.txt", disks=[self.path("hybrid.img")]), 0,
                    BANNER + 'Current configuration stored into file "gpt.txt"')
        text = self.text_of(self.path("gpt.txt"))
        self.assertNotIn("{0xEE", text)
        self.assertIn("\t\tenable\t2\t// 0xEE, ", text)

    @unittest.skipIf(os.name != "posix", "flock")
    def test_a_disk_locked_by_another_program_is_reported_not_waited_for(self):
        if ARGS.runner:
            self.skipTest("Windows byte-range locks are not flock locks")
        d0 = self.disk("d0.img", EXAMPLE_DISK)
        self.file("c.txt", WIN_CONFIG.replace("disk 1 { disable 0 }", ""))
        self.run_vb("c.txt", disks=[d0])
        installed = self.read(d0)
        locked = "Disk 0 (%s) is locked by another program; nothing was written" % d0
        with open(d0, "rb") as holder:
            fcntl.flock(holder, fcntl.LOCK_EX)  # as sfdisk does while it works
            for args in (["c.txt"], ["-u"]):
                self.expect(self.run_vb(*args, disks=[d0]), -11, BANNER, locked)
            # Reading needs no lock.
            self.expect(self.run_vb("-b", "o.txt", disks=[d0]), 0,
                        BANNER + 'Current configuration stored into file "o.txt"')
        self.assertEqual(self.read(d0), installed)
        self.expect(self.run_vb("-u", disks=[d0]), 0,
                    BANNER + "VornBoot has been successfully uninstalled\n")

    def test_warnings_do_not_stop_an_install(self):
        d0 = self.disk("d0.img", EXAMPLE_DISK)
        entries = "".join('entry "e%d" { password "%d" disk 0 { active 0 } disk 3 { } }\n'
                          % (i, i) for i in range(9))
        self.file("c.txt", "map { {7, 0x17} }\n" + entries)
        r = self.run_vb("c.txt", disks=[d0])
        self.expect(r, 0, BANNER + "".join("c.txt(%d): warning: non-existent disk number\n"
                                           % (i + 2) for i in range(9))
                    + "VornBoot has been successfully installed\n",
                    "c.txt: warning: only first 8 entries are meaningful\n")
        self.assertEqual(self.read(d0, 512)[37], 4)

    def test_configuration_file_cannot_be_opened(self):
        d0 = self.disk("d0.img", EXAMPLE_DISK)
        self.expect(self.run_vb("missing.txt", disks=[d0]), -5, BANNER,
                    "Cannot open file missing.txt")

    @unittest.skipIf(sys.platform == "win32", "POSIX reading of a directory")
    def test_unreadable_configuration_is_fatal(self):
        if ARGS.runner:
            self.skipTest("a directory cannot be opened as a file on Windows")
        d0 = self.disk("d0.img", EXAMPLE_DISK)
        os.mkdir(self.path("dir"))
        r = self.run_vb("dir", disks=[d0])
        self.assertEqual((r.code, r.out), (2, BANNER))
        self.assertTrue(r.err.endswith("\n") and r.err.count("\n") == 1, r.err)
        self.assertEqual(self.read(d0, 512), EXAMPLE_DISK)

    def test_system_volume_disk_becomes_disk_zero(self):
        d0 = self.disk("d0.img", EXAMPLE_DISK)
        other = sector0(0xBEEF, [(0x80, 0x0B, 2048, 4096)])
        d1 = self.disk("d1.img", other)
        self.file("c.txt", 'map{{0x0B,0x1B}} entry "A" { disk 0 { active 0 } }')
        self.expect(self.run_vb("c.txt", disks=[d0, d1], system_volume=d1), 0,
                    BANNER + "VornBoot has been successfully installed\n")
        self.assertEqual(self.read(d0, 512), EXAMPLE_DISK)
        self.assertEqual(self.read(d1, 512)[440:446], other[440:444] + b"BM")

    # -- uninstall -------------------------------------------------------------
    def test_uninstall(self):
        d0 = self.disk("d0.img", EXAMPLE_DISK)
        self.expect(self.run_vb("-u", disks=[d0]), 1, BANNER, "VornBoot was not installed")
        self.assertEqual(self.read(d0, 512), EXAMPLE_DISK)
        self.file("c.txt", WIN_CONFIG.replace("disk 1 { disable 0 }", ""))
        self.expect(self.run_vb("c.txt", disks=[d0]), 0,
                    BANNER + "VornBoot has been successfully installed\n")
        self.expect(self.run_vb("-u", "ignored.txt", disks=[d0]), 0,
                    BANNER + "VornBoot has been successfully uninstalled\n")
        s = self.read(d0, 512)
        self.assertEqual(s[437:440], b"\x2c\x44\x63")
        self.assertEqual(s[440:444], EXAMPLE_DISK[440:444])
        self.assertEqual(s[444:446], b"\0\0")
        self.assertEqual(s[446:], EXAMPLE_DISK[446:])
        self.assertIn(b"Invalid partition table\0", s)
        self.expect(self.run_vb("-u", disks=[d0]), 1, BANNER, "VornBoot was not installed")
        self.assertFalse(os.path.exists(self.path("ignored.txt")))

    def test_no_disk_zero_says_why(self):
        self.file("c.txt", WIN_CONFIG)
        missing = self.path("none.img")
        empty = self.file("empty.img", b"", "wb")
        # The operating system's words for a missing file (Wine has its own).
        gone = "File not found" if ARGS.runner else os.strerror(errno.ENOENT)
        cases = [([missing], missing + ": " + gone),
                 ([empty], empty + ": only 0 of 512 bytes could be transferred"),
                 ([], "VORNBOOT_DISKS lists no disk")]
        for disks, reason in cases:
            for args in (["c.txt"], ["-u"]):
                self.expect(self.run_vb(*args, disks=disks), -7, BANNER,
                            NO_DISK_ZERO + reason)

    @unittest.skipIf(os.name != "posix", "POSIX permissions")
    def test_permission_error_says_to_run_as_root(self):
        if ARGS.runner:
            self.skipTest("Wine run as root opens a read-only image for writing")
        d0 = self.disk("d0.img", EXAMPLE_DISK)
        self.file("c.txt", WIN_CONFIG)
        out = self.path("out")
        os.mkdir(out)
        os.chmod(out, 0o777)
        demote = None
        if os.geteuid() == 0:  # root may write any file: run as nobody
            os.chmod(self.dir, 0o755)
            os.chmod(d0, 0o644)
            demote = lambda: (os.setgid(65534), os.setuid(65534))  # noqa: E731
        else:
            os.chmod(d0, 0o444)
        denied = NO_DISK_ZERO + d0 + ": " + os.strerror(errno.EACCES) + " (run VornBoot32 as root)"
        for args in (["c.txt"], ["-u"]):
            self.expect(self.run_vb(*args, disks=[d0], preexec=demote), -7, BANNER, denied)
        self.assertEqual(self.read(d0), EXAMPLE_DISK + bytes(512 * 15))
        # The build mode only reads, which needs no write access.
        self.expect(self.run_vb("-b", "out/o.txt", disks=[d0], preexec=demote), 0,
                    BANNER + 'Current configuration stored into file "out/o.txt"')
        self.assertEqual(self.text_of(os.path.join(out, "o.txt")), EXAMPLE_TEXT)

    def test_build_without_disk_zero_fails_and_touches_no_file(self):
        # It once wrote a file with an empty map over the output and reported success.
        old = self.file("old.txt", "the previous configuration\n")
        for name in ("o.txt", "old.txt"):
            self.expect(self.run_vb("-bp", name, disks=[]), -7, BANNER,
                        NO_DISK_ZERO + "VORNBOOT_DISKS lists no disk")
        self.assertFalse(os.path.exists(self.path("o.txt")))
        self.assertEqual(self.read(old), b"the previous configuration\n")
        self.assertEqual(sorted(os.listdir(self.dir)), ["old.txt"])

    # -- build -------------------------------------------------------------------
    def test_build_from_partition_tables(self):
        d0 = self.disk("d0.img", EXAMPLE_DISK)
        self.expect(self.run_vb("-b", "out.txt", disks=[d0]), 0,
                    BANNER + 'Current configuration stored into file "out.txt"')
        self.assertEqual(self.text_of(self.path("out.txt")), EXAMPLE_TEXT)
        self.expect(self.run_vb("-bs", "out.txt", disks=[d0]), 0,
                    BANNER + 'Current configuration stored into file "out.txt"')
        self.assertEqual(self.text_of(self.path("out.txt")), EXAMPLE_TEXT + EXAMPLE_SET)
        self.assertEqual(self.read(d0, 512), EXAMPLE_DISK)

    def test_build_with_n_ignores_an_installed_manager(self):
        d0 = self.disk("d0.img", EXAMPLE_DISK)
        self.file("c.txt", 'map{{7,0x17}} entry "Mine" { password "pw" disk 0 { active 0 } }')
        self.run_vb("c.txt", disks=[d0])
        self.run_vb("-bn", "n.txt", disks=[d0])
        self.assertEqual(self.text_of(self.path("n.txt")), EXAMPLE_TEXT)
        self.run_vb("-b", "b.txt", disks=[d0])
        self.assertIn('entry "Mine" {\n\tpassword ""\n', self.text_of(self.path("b.txt")))
        self.run_vb("-bp", "p.txt", disks=[d0])
        self.assertIn('entry "Mine" {\n\tpassword "pw"\n', self.text_of(self.path("p.txt")))

    def test_build_output_cannot_be_created(self):
        d0 = self.disk("d0.img", EXAMPLE_DISK)
        self.expect(self.run_vb("-b", "no/such/dir/out.txt", disks=[d0]), -4, BANNER,
                    "Cannot create file no/such/dir/out.txt")

    def test_build_never_writes_a_disk(self):
        # "-b d0.img" once wrote the configuration text over that disk.
        d0 = self.disk("d0.img", EXAMPLE_DISK)
        d1 = self.disk("d1.img", sector0(0xCAFE, [(0, 0x07, 63, 1000)]))
        before = self.read(d0), self.read(d1)
        os.symlink("d0.img", self.path("link.img"))
        for name, n in (("d0.img", 0), ("d1.img", 1), ("link.img", 0)):
            self.expect(self.run_vb("-b", name, disks=[d0, d1]), -13, BANNER,
                        "Cannot write the configuration to %s: it is disk %d" % (name, n))
        devices = []
        if ARGS.runner:
            devices = ["\\\\.\\PHYSICALDRIVE0", "\\\\.\\C:"]  # refused by their names alone
        else:
            node = self.path("sdz")
            try:  # a block device node of the test's own, never opened
                os.mknod(node, stat.S_IFBLK | 0o600, os.makedev(7, 250))
                devices = ["sdz"]
            except OSError:
                pass
        for name in devices:
            self.expect(self.run_vb("-bp", name, disks=[d0, d1]), -13, BANNER,
                        "Cannot write the configuration to %s: it is a disk device" % name)
        self.assertEqual((self.read(d0), self.read(d1)), before)

    @unittest.skipIf(not os.path.exists("/dev/stdout"), "needs /dev/stdout")
    def test_build_to_standard_output(self):
        if ARGS.runner:
            self.skipTest("/dev/stdout is a POSIX name")
        d0 = self.disk("d0.img", EXAMPLE_DISK)
        self.expect(self.run_vb("-b", "/dev/stdout", disks=[d0]), 0,
                    BANNER + EXAMPLE_TEXT + 'Current configuration stored into file "/dev/stdout"')

    @unittest.skipIf(resource is None, "needs POSIX resource limits")
    def test_a_failed_build_leaves_the_old_file_as_it_was(self):
        if ARGS.runner:
            self.skipTest("the file size limit is a POSIX one")
        d0 = self.disk("d0.img", EXAMPLE_DISK)
        old = self.file("old.txt", "the previous configuration\n")

        def small_files():  # writes past 64 bytes fail, as on a full disk
            resource.setrlimit(resource.RLIMIT_FSIZE, (64, 64))
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)

        self.expect(self.run_vb("-b", "old.txt", disks=[d0], preexec=small_files), -4, BANNER,
                    "Cannot create file old.txt")
        self.assertEqual(self.read(old), b"the previous configuration\n")
        self.assertEqual(sorted(os.listdir(self.dir)), ["d0.img", "old.txt"])

    @unittest.skipIf(os.name != "posix", "POSIX file modes")
    def test_password_files_are_private(self):
        if ARGS.runner:
            self.skipTest("file modes are not Windows' business")
        d0 = self.disk("d0.img", EXAMPLE_DISK)
        self.file("p.txt", "old", "w")
        os.chmod(self.path("p.txt"), 0o644)
        self.run_vb("-bp", "p.txt", disks=[d0])
        self.assertEqual(stat.S_IMODE(os.stat(self.path("p.txt")).st_mode), 0o600)
        self.run_vb("-b", "q.txt", disks=[d0])
        self.assertNotEqual(stat.S_IMODE(os.stat(self.path("q.txt")).st_mode) & 0o044, 0)

    @unittest.skipIf(not os.path.exists("/dev/full"), "needs /dev/full")
    def test_build_write_failure_is_not_success(self):
        if ARGS.runner:
            self.skipTest("/dev/full is a Linux device")
        d0 = self.disk("d0.img", EXAMPLE_DISK)
        # Named through a link in the test folder, so the message is exact.
        os.symlink("/dev/full", self.path("full.txt"))
        self.expect(self.run_vb("-b", "full.txt", disks=[d0]), -4, BANNER,
                    "Cannot create file full.txt")

    def test_crlf_configuration_reads_like_lf(self):
        d0 = self.disk("d0.img", EXAMPLE_DISK)
        self.file("lf.txt", WIN_CONFIG.replace("disk 1 { disable 0 }", ""))
        self.run_vb("lf.txt", disks=[d0])
        lf = self.read(d0, 512)
        d0b = self.disk("d0b.img", EXAMPLE_DISK)
        crlf = WIN_CONFIG.replace("disk 1 { disable 0 }", "").replace("\n", "\r\n")
        self.file("crlf.txt", (crlf + "\x1a this is never read {").encode(), "wb")
        self.expect(self.run_vb("crlf.txt", disks=[d0b]), 0,
                    BANNER + "VornBoot has been successfully installed\n")
        self.assertEqual(self.read(d0b, 512), lf)


def main():
    global ARGS, BANNER
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--version", required=True, help="the project's version")
    parser.add_argument("--runner", default="")
    parser.add_argument("--path-separator", default=":")
    parser.add_argument("--crlf", action="store_true")
    ARGS, rest = parser.parse_known_args()
    ARGS.exe = os.path.abspath(ARGS.exe)
    BANNER = BANNER_FORM % ARGS.version
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=1)


if __name__ == "__main__":
    main()
