"""The exceptions of the main failures, with the library's code and text."""

import socket
import threading

import pytest
import talixdb


@pytest.fixture
def silent_address():
    """A loopback port that accepts connections and never answers."""
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    yield "127.0.0.1:%d" % listener.getsockname()[1]
    listener.close()


def closed_address():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return "127.0.0.1:%d" % probe.getsockname()[1]


def test_connecting_fails_by_kind_in_the_librarys_words(server, users, silent_address, monkeypatch):
    monkeypatch.setenv("TALIXDB_IO_TIMEOUT", "1")
    closed = closed_address()
    # The text is the library's getLastErrorText (VLTDatabase.h lists these starts).
    cases = [
        (closed, "root", "kelp482", talixdb.ConnectionFailed, "connection refused by " + closed),
        (silent_address, "root", "kelp482", talixdb.Timeout, "no answer from " + silent_address),
        (server.address, "root", "wrong", talixdb.LoginRefused, "wrong user name or password for root"),
    ]
    for address, user, password, kind, said in cases:
        with pytest.raises(kind) as raised:
            talixdb.connect(address, user=user, password=password)
        assert type(raised.value) is kind, (address, raised.value)
        assert raised.value.code is None
        assert raised.value.text.startswith(said), raised.value.text


def test_failures_raise_by_kind_with_code_and_text(connect, solver, monkeypatch):
    model, solver_name, surface = solver
    db = connect()
    with pytest.raises(talixdb.NotFound):
        db.download_model((model.category, model.type, "NoSuchModel"))
    # The library keeps its text of that failure; this one, found by the
    # library itself, says its code's text instead.
    with pytest.raises(talixdb.AlreadyExists) as raised:
        db.upload_model(talixdb.Model(model.name, model.category, model.type))
    assert (raised.value.code, raised.value.text) == (24, talixdb._talixdb.result_text(24))
    with pytest.raises(talixdb.NotFound):
        db.report_values(model, solver_name, surface, 999)
    # An outcome, not a failure: a category that exists already.
    assert db.add_category(model.category) is False
    # The administration calls log in as the administrator; the user stays.
    assert db.pool_user_count() == 4 and db.user == "cfduser" and db.categories()
    monkeypatch.setenv("VLT_ADMIN_PASSWORD", "wrong")
    with pytest.raises(talixdb.PermissionDenied):
        with talixdb.connect(db.address) as administration:
            administration.pool_user_count()


def test_misuse_raises_programming_error(connect):
    db = connect()
    other_thread = []
    worker = threading.Thread(target=lambda: other_thread.append(pytest.raises(talixdb.ProgrammingError,
                                                                               db.categories)))
    worker.start()
    worker.join()
    assert "thread" in str(other_thread[0].value)
    db.close()
    with pytest.raises(talixdb.ProgrammingError):
        db.categories()


def test_an_invalid_solver_is_refused_in_the_words_of_the_tool():
    # The tool's check names the field as a solver file would, not as a model's solvers[0].
    with pytest.raises(ValueError, match="^name is missing or empty$"):
        talixdb.Solver("").to_json()
