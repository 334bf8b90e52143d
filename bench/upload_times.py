#!/usr/bin/env python3
"""Upload times on the simulated Uno (real optiboot, held to real time):
glyph8-cli --upload of a program and its message on a fresh board, of a
message alone on a board that holds the program, and avrdude writing and
verifying the same --intel-hex bytes. Medians of RUNS runs, one run after
the other, so the ratios compare like with like.

    bench/upload_times.py [BUILD_DIR] [RUNS]
"""
import os
import signal
import statistics
import subprocess
import sys
import tempfile
import time

BUILD = sys.argv[1] if len(sys.argv) > 1 else "build"
RUNS = int(sys.argv[2]) if len(sys.argv) > 2 else 5
CLI = os.path.join(BUILD, "glyph8-cli")
HARNESS = os.path.join(BUILD, "board_harness")
OPTIBOOT = os.path.join(BUILD, "tests", "avr", "optiboot_atmega328p.bin")
TEXTS = ["歡迎光臨", "你好，世界 Hello", "一路順風"]


class Board:
    def __enter__(self):
        self.p = subprocess.Popen([HARNESS, OPTIBOOT, "--mcu", "atmega328p", "--seconds", "600"],
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.port = self.p.stdout.readline().split()[-1]
        return self

    def __exit__(self, *exc):
        self.p.send_signal(signal.SIGTERM)
        self.p.wait()


def timed(args):
    start = time.monotonic()
    subprocess.run(args, check=True, capture_output=True)
    return time.monotonic() - start


def main():
    whole, alone, avrdude = [], [], []
    with tempfile.TemporaryDirectory() as work:
        hex_path = os.path.join(work, "message.hex")
        with open(hex_path, "wb") as f:
            f.write(subprocess.run([CLI, "--intel-hex", TEXTS[0]], check=True,
                                   capture_output=True).stdout)
        for n in range(RUNS):
            with Board() as b:
                whole.append(timed([CLI, "--upload", b.port, TEXTS[n % 3]]))
                alone.append(timed([CLI, "--upload", b.port, TEXTS[(n + 1) % 3]]))
            with Board() as b:
                avrdude.append(timed(["avrdude", "-q", "-q", "-c", "arduino", "-p", "m328p", "-P",
                                      b.port, "-b", "115200", "-U", f"flash:w:{hex_path}:i"]))
    m = {k: statistics.median(v) for k, v in
         (("whole", whole), ("alone", alone), ("avrdude", avrdude))}
    print(f"median of {RUNS}: --upload program and message {m['whole']:.2f} s, "
          f"the message alone {m['alone']:.2f} s, avrdude (write and verify) {m['avrdude']:.2f} s")
    print(f"avrdude / --upload: {m['avrdude'] / m['whole']:.2f}; "
          f"message alone / whole: {m['alone'] / m['whole']:.2f}")


if __name__ == "__main__":
    main()
