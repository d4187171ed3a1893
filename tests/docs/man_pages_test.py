#!/usr/bin/env python3
"""The manual pages as built: groff (and mandoc, when given) read each without
a single warning (nor a style message of mandoc's), and the title line names
the page and the project's version.

    man_pages_test.py --version 2.0.0 --groff groff [--mandoc mandoc] PAGE.8...
"""
import argparse
import os
import re
import shlex
import subprocess
import sys
import unittest

ARGS = None


def title_fields(page):
    """The arguments of the page's .TH line, quotes removed."""
    with open(page, encoding="utf-8") as f:
        for line in f:
            if line.startswith(".TH "):
                return shlex.split(line[4:])
    return None


def run(command):
    r = subprocess.run(command, capture_output=True, text=True)
    return r.returncode, r.stdout + r.stderr


class ManPages(unittest.TestCase):
    def test_there_are_pages(self):
        self.assertTrue(ARGS.pages)

    def test_groff_reads_every_page_without_warnings(self):
        for page in ARGS.pages:
            with self.subTest(page=os.path.basename(page)):
                self.assertEqual(run([ARGS.groff, "-ww", "-z", "-man", page]), (0, ""))

    def test_mandoc_finds_nothing_to_warn_of(self):
        if not ARGS.mandoc:
            self.skipTest("mandoc is not installed")
        for page in ARGS.pages:
            with self.subTest(page=os.path.basename(page)):
                self.assertEqual(run([ARGS.mandoc, "-T", "lint", "-W", "style", page]), (0, ""))

    def test_title_names_the_page_and_the_version(self):
        for page in ARGS.pages:
            with self.subTest(page=os.path.basename(page)):
                fields = title_fields(page)
                self.assertIsNotNone(fields, "no .TH line")
                name, section = re.fullmatch(r"(.+)\.(\d)", os.path.basename(page)).groups()
                self.assertGreaterEqual(len(fields), 4, fields)
                self.assertEqual(fields[0].lower(), name.lower())
                self.assertEqual(fields[1], section)
                self.assertEqual(fields[3], "VornBoot " + ARGS.version)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--version", required=True, help="the project's version")
    parser.add_argument("--groff", required=True)
    parser.add_argument("--mandoc", default="")
    parser.add_argument("pages", nargs="*")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
