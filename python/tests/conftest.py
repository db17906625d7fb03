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


# Pool users, made with the database on the fresh store. Tests log in as
# "any free pool user" (the library picks one): the library refuses a second
# login of a user that has a live session.
POOL_USERS = 4


@pytest.fixture(scope="session")
def users(server):
    import talixdb
    with talixdb.connect(server.address) as db:
        assert db.create_pool_users(POOL_USERS) == POOL_USERS


@pytest.fixture
def connect(server, users):
    """connect(**options): a connection as a free pool user, closed after the test."""
    import talixdb
    made = []

    def connect_as(**options):
        connection = talixdb.connect(server.address, user="cfduser", pool=True, **options)
        made.append(connection)
        return connection

    yield connect_as
    for connection in made:
        connection.close()


@pytest.fixture(scope="session")
def solver(server, users):
    """A stored model "Tests/Python/Plate" with the solver "Heat" and its surface "top"."""
    import talixdb
    model = talixdb.Model("Plate", "Tests", "Python", species=["steel"],
                          parameters=[talixdb.Parameter("thickness", type="CAPE_REAL", lower_bound="0")])
    with talixdb.connect(server.address, user="cfduser", pool=True) as db:
        db.upload_model(model)
        db.import_solver(model, talixdb.Solver("Heat", parameters=model.parameters, sorted_model_components=["steel"],
                                               surfaces=[talixdb.Surface("top")]))
    return model.ref, "Heat", "top"
