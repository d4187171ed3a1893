#!/usr/bin/env python3
"""Runs the boot scenarios under QEMU + SeaBIOS (or Bochs), two at a time.

    run.py --exe build/VornBoot32 [--check build/VornBootCheck] [--jobs 2] [--machine NAME]
           [--filter TEXT]
           [--keep DIR] [--list]

Without --machine the scenarios of every QEMU machine run; `--machine bochs`
runs those under Bochs, and exits with 77 (skipped) and the reason when Bochs
is not installed. Without --exe only the scenarios that need no VornBoot32
run. Prints one line per scenario, then the count and the time taken; exits 1
if any failed.
"""

import argparse
import concurrent.futures
import os
import shutil
import subprocess
import sys
import tempfile
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import bochs  # noqa: E402
from harness import KINDS, BootFailure, qemu_binary  # noqa: E402
from scenarios import SCENARIOS, Context  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SKIPPED = 77


def assemble(nasm, directory, name, size):
    output = os.path.join(directory, name + ".bin")
    subprocess.run([nasm, "-f", "bin", "-I", HERE + os.sep, "-o", output,
                    os.path.join(HERE, name + ".asm")], check=True)
    with open(output, "rb") as f:
        program = f.read()
    if len(program) != size:
        raise SystemExit(f"{name}.asm assembled to {len(program)} bytes, not {size}")
    return program


def run_one(case, root, exe, checker, programs):
    name = case.name
    # Short directory names: QMP socket paths are limited to 108 bytes.
    workdir = tempfile.mkdtemp(prefix="s", dir=root)
    with open(os.path.join(workdir, "NAME"), "w") as f:
        f.write(name + "\n")
    ctx = Context(workdir, exe, case.step, case.machine, checker=checker, **programs)
    started = time.monotonic()
    try:
        case.function(ctx, **case.params)
        return name, None, time.monotonic() - started, workdir
    except BootFailure as failure:
        return name, str(failure), time.monotonic() - started, workdir
    except Exception:  # a fault in the scenario itself is a failure too
        return name, traceback.format_exc(), time.monotonic() - started, workdir


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", help="the VornBoot32 program under test")
    parser.add_argument("--check", help="VornBootCheck: predict every boot through the password "
                        "prompt, and fail where the machine does otherwise")
    parser.add_argument("--nasm", default=shutil.which("nasm") or "nasm")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--machine", action="append", default=[],
                        choices=sorted(KINDS) + ["bochs"],
                        help="run only the scenarios of this machine (default: every QEMU one)")
    parser.add_argument("--filter", action="append", default=[],
                        help="run only scenarios whose name contains this text")
    parser.add_argument("--keep", help="keep every scenario's directory under DIR")
    parser.add_argument("--list", action="store_true")
    args = parser.parse_args()

    machines = args.machine or sorted(KINDS)
    chosen = [case for case in SCENARIOS
              if (args.exe or not case.needs_exe) and case.machine in machines
              and (not args.filter or any(f in case.name for f in args.filter))]
    if args.list:
        for case in chosen:
            print(case.name)
        return 0
    if "bochs" in machines and bochs.missing():
        print(f"SKIP Bochs scenarios: {bochs.missing()}", flush=True)
        chosen = [case for case in chosen if case.machine != "bochs"]
        if not chosen:
            return SKIPPED
    if any(case.machine != "bochs" for case in chosen) and not qemu_binary():
        print("qemu-system-i386 not found", file=sys.stderr)
        return 1
    exe = os.path.abspath(args.exe) if args.exe else None
    checker = os.path.abspath(args.check) if args.check else None
    for program in (exe, checker):
        if program and not os.access(program, os.X_OK):
            print(f"{program} is not an executable program", file=sys.stderr)
            return 1

    if args.keep:
        os.makedirs(args.keep, exist_ok=True)
        root = tempfile.mkdtemp(prefix="vbsys-", dir=args.keep)
    else:
        root = tempfile.mkdtemp(prefix="vbsys-")
    started = time.monotonic()
    programs = {"marker": assemble(args.nasm, root, "marker", 512),
                "far_loader": assemble(args.nasm, root, "far_loader", 440),
                "drives": assemble(args.nasm, root, "drives", 440)}
    if programs["marker"][510:] != b"\x55\xAA":
        raise SystemExit("marker.asm lacks the boot signature")
    failures = []
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        futures = [pool.submit(run_one, case, root, exe, checker, programs) for case in chosen]
        for future in concurrent.futures.as_completed(futures):
            name, failure, seconds, workdir = future.result()
            status = "ok  " if failure is None else "FAIL"
            print(f"{status} {name} ({seconds:.1f} s)", flush=True)
            if failure is not None:
                failures.append(name)
                print("     " + failure.replace("\n", "\n     ") + f"\n     files: {workdir}",
                      flush=True)
            elif not args.keep:
                shutil.rmtree(workdir, ignore_errors=True)
    elapsed = time.monotonic() - started
    print(f"{len(chosen)} scenarios, {len(chosen) - len(failures)} passed, "
          f"{len(failures)} failed, {elapsed:.1f} s")
    if not failures and not args.keep:
        shutil.rmtree(root, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
