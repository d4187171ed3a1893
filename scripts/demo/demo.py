#!/usr/bin/env python3
"""VornBoot demo: two disk images, examples/demo.conf installed, booted in
QEMU (SeaBIOS), a password typed, screenshots taken.

    demo.py VORNBOOT32 [--out out/demo] [--password linux]
"""

import argparse
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tests", "system"))

from disks import demo_disks, read_table  # noqa: E402
from harness import BootFailure, Machine  # noqa: E402

TYPE_NAMES = {0x00: "empty", 0x07: "NTFS", 0x17: "NTFS (hidden)", 0x0B: "FAT32",
              0x1B: "FAT32 (hidden)", 0x83: "Linux", 0x93: "Linux (hidden)"}


def run(command, env=None, cwd=None):
    print("$ " + " ".join(command), flush=True)
    result = subprocess.run(command, env=env, text=True, capture_output=True, cwd=cwd)
    sys.stdout.write(result.stdout)
    if result.stdout and not result.stdout.endswith("\n"):
        print()
    sys.stderr.write(result.stderr)
    if result.returncode != 0:
        raise SystemExit(f"{command[0]} ended with status {result.returncode}")
    return result


def show_tables(disks, title):
    print(title)
    for k, disk in enumerate(disks):
        for slot, (indicator, type_id, start, size) in enumerate(read_table(disk.path)):
            if type_id == 0 and size == 0:
                continue
            flag = "active" if indicator == 0x80 else "      "
            name = TYPE_NAMES.get(type_id, "?")
            print(f"  disk {k} slot {slot}: {flag} type 0x{type_id:02X} {name:15} "
                  f"start {start:6} size {size // 2048:3} MiB")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("--out", default=os.path.join(ROOT, "out", "demo"))
    parser.add_argument("--password", default="linux")
    args = parser.parse_args()
    out = os.path.abspath(args.out)
    os.makedirs(out, exist_ok=True)
    for name in os.listdir(out):
        if name.endswith((".img", ".png", ".txt", ".bin", ".qmp", ".screen", ".log")):
            os.remove(os.path.join(out, name))

    marker_path = os.path.join(out, "marker.bin")
    system_tests = os.path.join(ROOT, "tests", "system")
    run(["nasm", "-f", "bin", "-I", system_tests + os.sep, "-o", marker_path,
         os.path.join(system_tests, "marker.asm")])
    with open(marker_path, "rb") as f:
        marker = f.read()

    disks = demo_disks(out, marker)
    show_tables(disks, "Demo disks (sector 0 code is empty: no boot program yet):")

    env = dict(os.environ, VORNBOOT_DISKS=":".join(d.path for d in disks))
    exe = os.path.abspath(args.exe)
    # File names are given relative to the output directory, as a Windows
    # user would (there an argument that starts with a slash is an option).
    conf = os.path.relpath(os.path.join(ROOT, "examples", "demo.conf"), out)
    run([exe, conf], env, cwd=out)
    readback = os.path.join(out, "readback.txt")
    run([exe, "-bp", "readback.txt"], env, cwd=out)
    print(f"--- configuration read back from disk 0 ({readback}) ---")
    with open(readback) as f:
        sys.stdout.write(f.read())
    print("---")

    before = os.path.join(out, "boot-screen.png")
    after = os.path.join(out, "after-password.png")
    print(f"Booting in QEMU (SeaBIOS) and typing the password \"{args.password}\"...",
          flush=True)
    try:
        with Machine(out, disks, "demo") as vm:
            vm.wait_for("Password:")
            vm.wait_quiet()
            vm.screenshot(before)
            vm.type(args.password + "\n")
            vm.wait_for("VBMARK")
            vm.wait_quiet()
            vm.screenshot(after)
            print("Screen after the password:")
            print("\n".join("  | " + line for line in vm.screen_text().split("\n")))
    except BootFailure as failure:
        raise SystemExit(f"demo boot failed: {failure}")
    show_tables(disks, "Partition tables after the boot:")
    print("Screenshots:")
    print("  " + before)
    print("  " + after)
    return 0


if __name__ == "__main__":
    sys.exit(main())
