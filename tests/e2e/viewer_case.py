"""The base of the end-to-end tests: each test gets a folder of its own and the
real Pictaro.exe, started and showing its start-up placeholder."""
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import pictaro_x11 as x11  # noqa: E402

# The exe under test comes as the first argument; unittest must not see it.
EXE = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(x11.ROOT, "build", "Pictaro.exe")


class ViewerTestCase(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.prepare()
        self.proc = x11.start(EXE)
        self.addCleanup(lambda: self.proc.poll() is None and self.proc.kill())
        self.disp, self.origin = x11.wait_for_start(self.proc)

    def prepare(self):
        """What a test needs in place before the viewer starts."""

    def viewer_window(self):
        return x11.find_window("Pictaro", disp=self.disp, pid=self.proc.pid)[1]

    def viewer_geometry(self):
        return x11.window_geometry("Pictaro", self.disp, self.proc.pid)
