"""An X server of a test's own: Xvfb on a display it picks itself."""
import os
import select
import subprocess
import time

import pytest


def stop_process(proc, grace=5):
    """Ends PROC: politely, then, after GRACE seconds, for good."""
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(grace)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


class XServer:
    def __init__(self, log_path, timeout):
        # -displayfd picks a free display, so that servers never clash;
        # -r turns off auto-repeat, so that a key held on a slow machine is
        # one press.
        read_end, write_end = os.pipe()
        self.log_path = log_path
        with open(log_path, "w") as log:
            self.proc = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-r", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                pass_fds=(write_end,), stdout=log, stderr=subprocess.STDOUT)
        os.close(write_end)
        try:
            self.display = ":" + self._read_display(read_end, timeout)
        except BaseException:
            self.stop()
            raise
        finally:
            os.close(read_end)

    def _read_display(self, fd, timeout):
        said = b""
        deadline = time.monotonic() + timeout
        while not said.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0:
                pytest.fail(f"Xvfb gave no display in {timeout:g}s", pytrace=False)
            ready, _, _ = select.select([fd], [], [], min(left, 0.5))
            if ready:
                chunk = os.read(fd, 64)
                if not chunk:
                    pytest.fail("Xvfb did not start: " + open(self.log_path).read(), pytrace=False)
                said += chunk
        return said.decode().strip()

    def stop(self):
        stop_process(self.proc)
