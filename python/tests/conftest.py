"""The real talixdb-server on a free loopback port with a temporary store,
once for the whole session, as the other suites start it."""

import ctypes
import os
import signal
import subprocess
import tempfile

import pytest

SERVER = os.environ.get("TALIXDB_TEST_SERVER", "talixdb-server")
ADMIN_PASSWORD = "kelp482"


def _die_with_parent(parent=os.getpid()):
    """In the server: killed when the tests end, however they end."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG
    if os.getppid() != parent:
        os._exit(126)


class Server:
    def __init__(self, directory):
        self.directory = directory
        self.log_path = os.path.join(directory, "server.log")
        with open(self.log_path, "wb") as log:
            self.process = subprocess.Popen(
                [SERVER, "--data", os.path.join(directory, "store"), "--host", "127.0.0.1", "--port", "0"],
                stdout=subprocess.PIPE, stderr=log, preexec_fn=_die_with_parent,
                env=dict(os.environ, VLT_ADMIN_PASSWORD=ADMIN_PASSWORD))
        line = self.process.stdout.readline().decode()
        if ":" not in line:
            self.process.kill()
            raise RuntimeError("talixdb-server did not start: %r\n%s" % (line, self.log()))
        self.port = int(line.rsplit(":", 1)[1])
        self.address = "127.0.0.1:%d" % self.port

    def log(self):
        with open(self.log_path, errors="replace") as log:
            return log.read()

    def stop(self):
        self.process.terminate()
        status = self.process.wait(timeout=60)
        if status != 0:
            raise AssertionError("talixdb-server exited with %d:\n%s" % (status, self.log()))


@pytest.fixture(scope="session")
def server():
    os.environ.setdefault("VLT_ADMIN_PASSWORD", ADMIN_PASSWORD)
    with tempfile.TemporaryDirectory(prefix="talixdb-python-") as directory:
        running = Server(directory)
        yield running
        running.stop()
