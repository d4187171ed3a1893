#!/usr/bin/env python3
"""VornBootCheck's speed: 8 entries checked on 4 disk images (64 MiB each, four
partitions with a boot sector each), run as a whole process again and again.
Prints the median, fastest and slowest wall time of each form; asserts nothing.

    check_bench.py build/check/VornBootCheck [runs]
"""

import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "cli"))
from check_cli_test import table, tagged  # noqa: E402  (the test images' sector builders)

SECTORS = 131072  # 64 MiB: the BIOS geometry is 130/16/63


def make_disk(path, disk):
    types = [0x07, 0x0B, 0x83, 0x06]
    starts = [2048 + 16384 * j for j in range(4)]
    s = table(0xBE000000 + disk,
              [(0x80 if j == 0 else 0, types[j], first, 16384) for j, first in enumerate(starts)])
    with open(path, "wb") as f:
        f.truncate(SECTORS * 512)
        f.write(s)
        for j, first in enumerate(starts):
            f.seek(first * 512)
            f.write(tagged(f"D{disk}P{j}"))


def config():
    lines = ["map { {0x07, 0x17} {0x0B, 0x1B} {0x06, 0x16} {0x83, 0x93} }"]
    for n in range(8):
        hidden = " ".join(f"disable {j}" for j in range(4) if j != n % 4)
        others = " ".join(f"disk {k} {{ disable {n % 4} }}" for k in range(1, 4))
        lines.append(f'entry "E{n}" {{ password "p{n}" disk 0 {{ active {n % 4} {hidden} }} '
                     f"{others} }}")
    return "\n".join(lines) + "\n"


def main():
    exe = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 21
    with tempfile.TemporaryDirectory(prefix="vb-check-bench-") as tmp:
        disks = []
        for k in range(4):
            disks.append(os.path.join(tmp, f"d{k}.img"))
            make_disk(disks[-1], k)
        with open(os.path.join(tmp, "bench.conf"), "w") as f:
            f.write(config())
        env = dict(os.environ, VORNBOOT_DISKS=":".join(disks))
        print(f"VornBootCheck: 8 entries on 4 disk images of 64 MiB, {runs} runs each")
        for label, args in (("text report", []), ("JSON report", ["--json"]),
                            ("CHS boot step (-x)", ["-x"])):
            times = []
            for _ in range(runs):
                start = time.perf_counter()
                p = subprocess.run([exe] + args + ["bench.conf"], cwd=tmp, env=env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
                times.append(time.perf_counter() - start)
                if p.returncode != 0:
                    sys.exit(f"{label}: status {p.returncode}: {p.stderr.decode()}")
            print(f"  {label:20} median {statistics.median(times) * 1000:6.1f} ms"
                  f"   fastest {min(times) * 1000:6.1f} ms   slowest {max(times) * 1000:6.1f} ms")


if __name__ == "__main__":
    main()
