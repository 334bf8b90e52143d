"""A simulated board on a pseudo-terminal, for the tests that upload to it.

board_harness runs an ATmega's real bootloader in simavr and says
"pty PATH" on its first line. `with Board(...) as b:` starts it, gives that
path as b.port and stops it at the end; its messages go to a log file that
b.said() reads back.
"""
import signal
import subprocess

# Each board's bootloader, and where it starts: what is below is the
# application's flash, all that an upload changes.
BOOTLOADERS = {
    "atmega328p": ("optiboot_atmega328p.bin", 0x7E00),
    "atmega2560": ("stk500v2_atmega2560.bin", 0x3E000),
}


class Board:
    def __init__(self, harness, bootloader, mcu, log_path, *options, seconds=120, append=False):
        self.args = [harness, bootloader, "--mcu", mcu, "--seconds", str(seconds), *options]
        self.log_path = log_path
        self.mode = "a" if append else "w"

    def __enter__(self):
        self.log = open(self.log_path, self.mode)
        self.process = subprocess.Popen(self.args, stdout=subprocess.PIPE, stderr=self.log,
                                        text=True)
        said = self.process.stdout.readline().split()
        if len(said) != 2 or said[0] != "pty":
            self.__exit__()
            raise RuntimeError(f"the board harness said {said!r}:\n{self.said()}")
        self.port = said[1]
        return self

    def said(self):
        with open(self.log_path) as f:
            return f.read()

    def __exit__(self, *exc):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        self.process.wait(timeout=30)
        self.log.close()
