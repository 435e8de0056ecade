"""What the tests of tavo-tool share: the tool and its game folder, and a
scratch folder for each test where land sources are built."""
import os
import subprocess
import tempfile
import unittest

TOOL = os.environ["TAVO_TOOL"]
GAME_DIR = os.environ["TAVO_GAME_DIR"]


def run(*args, cwd=GAME_DIR, timeout=120):
    return subprocess.run([TOOL, *args], cwd=cwd, capture_output=True, text=True, timeout=timeout)


class ScratchTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def build(self, name, source):
        """NAME.lvl built from source in the scratch folder; the build must succeed."""
        with open(self.path(name + ".land"), "w") as f:
            f.write(source)
        r = run("build", self.path(name + ".land"), self.path(name + ".lvl"))
        self.assertEqual(r.returncode, 0, r.stderr)
        return self.path(name + ".lvl")
