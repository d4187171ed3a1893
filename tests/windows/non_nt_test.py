#!/usr/bin/env python3
"""The platform check under Wine: with Wine reporting Windows 98 to one copy of
the executable, the run prints the banner, then message 205 on standard error,
and ends with status -1 (255 as a POSIX parent sees it) before the command line
is read. The same executable under its own name counts as NT.

  non_nt_test.py --exe VornBoot32.exe --runner "cmake/wine-run.sh --prefix DIR"
                 --messages base/messages.def --version 2.0.0
"""
import argparse
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import unittest

ARGS = None
WIN98_NAME = "vornboot32_win98.exe"


def catalogue(path, version):
    """The texts of messages.def by number, escapes read as C reads them and
    adjacent literals joined, VORNBOOT_VERSION standing for `version`."""
    texts = {}
    pattern = re.compile(r'^MSG\(\w+,\s*(\d+),\s*"[a-z]*",\s*(.*)\)\s*$')
    piece = re.compile(r'\s*(?:"((?:[^"\\]|\\.)*)"|(VORNBOOT_VERSION))')
    with open(path, encoding="ascii") as f:
        for line in f:
            m = pattern.match(line)
            if not m:
                continue
            text, rest = b"", m.group(2)
            while rest.strip():
                p = piece.match(rest)
                if not p:
                    raise ValueError("cannot read the text of message %s" % m.group(1))
                if p.group(2):
                    text += version.encode("ascii")
                else:
                    raw = p.group(1).encode("ascii")
                    text += raw.decode("unicode_escape").encode("latin-1")
                rest = rest[p.end():]
            texts[int(m.group(1))] = text
    return texts


def run(command):
    return subprocess.run(command, capture_output=True, timeout=120)


class NonNtPlatform(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.texts = catalogue(ARGS.messages, ARGS.version)
        cls.runner = shlex.split(ARGS.runner)
        cls.work = tempfile.mkdtemp(prefix="vb-non-nt-")
        cls.win98_exe = os.path.join(cls.work, WIN98_NAME)
        shutil.copyfile(ARGS.exe, cls.win98_exe)
        key = "HKCU\\Software\\Wine\\AppDefaults\\" + WIN98_NAME
        reg = run(cls.runner + ["reg", "add", key, "/v", "Version", "/t", "REG_SZ",
                                "/d", "win98", "/f"])
        if reg.returncode != 0:
            raise RuntimeError("wine reg add failed: %r" % reg.stderr)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def banner(self):
        return self.texts[101].replace(b"\n", b"\r\n") + b"\r\n"

    def test_non_nt_stops_before_the_command_line(self):
        for args in ([], ["-h"], ["-u"], ["-b", "out.txt"]):
            with self.subTest(args=args):
                r = run(self.runner + [self.win98_exe] + args)
                self.assertEqual(r.returncode, 255)
                self.assertEqual(r.stdout, self.banner())
                self.assertEqual(r.stderr, self.texts[205])
                self.assertFalse(os.path.exists(os.path.join(self.work, "out.txt")))

    def test_same_program_under_its_own_name_is_nt(self):
        r = run(self.runner + [ARGS.exe, "-h"])
        usage = self.texts[102].replace(b"\n", b"\r\n") + b"\r\n"
        self.assertEqual((r.returncode, r.stderr), (0, b""))
        self.assertEqual(r.stdout, self.banner() + usage)

    def test_banner_names_the_version(self):
        r = run(self.runner + [ARGS.exe, "-h"])
        second = r.stdout.split(b"\r\n")[1]
        self.assertTrue(second.startswith(("VornBoot32 %s: " % ARGS.version).encode("ascii")),
                        second)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--runner", required=True)
    parser.add_argument("--messages", required=True)
    parser.add_argument("--version", required=True, help="the project's version")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
