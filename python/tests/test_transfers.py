"""Transfers stopped from the progress callback or by Ctrl-C, and threads
with a connection each."""

import os
import signal
import socket
import threading
import time

import pytest
import talixdb

MIB = 1 << 20


def test_a_transfer_stopped_from_the_callback_leaves_nothing(connect, solver, tmp_path):
    model, solver_name, _ = solver
    db = connect()
    data = os.urandom(3 * MIB)
    seen = []

    def stop_after_the_first_mib(done, expected):
        seen.append((done, expected))
        return done < MIB

    with pytest.raises(talixdb.Error, match="stopped"):
        db.upload_report(model, solver_name, "stopped", 1, data, progress=stop_after_the_first_mib)
    assert seen[-1][0] < len(data) and not db.has_report(model, solver_name, "stopped", 1)

    db.upload_report(model, solver_name, "stopped", 1, data)
    target = tmp_path / "report"
    with pytest.raises(talixdb.Error, match="stopped"):
        db.download_report(model, solver_name, "stopped", 1, target, progress=lambda done, expected: False)
    assert not target.exists()

    seen.clear()
    assert db.download_report(model, solver_name, "stopped", 1, target, progress=lambda *p: seen.append(p)) == len(data)
    assert target.read_bytes() == data and seen[-1] == (len(data), len(data))


def interrupt_when(event, delay=0.0):
    """Ctrl-C from another thread, as a terminal sends it, `delay` seconds
    after `event` is set."""
    def send():
        event.wait(30)
        time.sleep(delay)
        os.kill(os.getpid(), signal.SIGINT)
    threading.Thread(target=send, daemon=True).start()


def test_ctrl_c_stops_a_transfer_and_the_connection_stays_usable(connect, solver):
    model, solver_name, _ = solver
    started = threading.Event()
    seen = []

    def note(done, expected):
        seen.append(done)
        if done > 0:
            started.set()

    db = connect()
    interrupt_when(started)
    with pytest.raises(KeyboardInterrupt):
        db.upload_report(model, solver_name, "interrupted", 1, os.urandom(32 * MIB), progress=note)
    assert seen[-1] < 32 * MIB
    assert not db.has_report(model, solver_name, "interrupted", 1) and db.categories()


def test_ctrl_c_during_a_call_without_a_transfer_ends_it_at_the_time_limit(monkeypatch):
    monkeypatch.setenv("TALIXDB_IO_TIMEOUT", "2")
    with socket.socket() as silent:  # accepts, never answers
        silent.bind(("127.0.0.1", 0))
        silent.listen(8)
        asked = threading.Event()
        interrupt_when(asked, delay=0.5)
        begun = time.monotonic()
        with pytest.raises(KeyboardInterrupt):
            asked.set()
            talixdb.connect("127.0.0.1:%d" % silent.getsockname()[1])
        assert 2 <= time.monotonic() - begun < 10


def test_two_threads_with_a_connection_each(connect, solver):
    model, solver_name, _ = solver
    both_in = threading.Barrier(2, timeout=30)
    results, errors = {}, []

    def work(surface, scale):
        try:
            with connect() as db:
                both_in.wait()
                for number in range(1, 4):
                    db.upload_report(model, solver_name, surface, number, [scale * number, scale, -scale * number])
                    db.upload_report(model, solver_name, surface + "-file", number, os.urandom(4 * MIB))
                results[surface] = db.report_values(model, solver_name, surface, 3)
        except BaseException as error:  # noqa: B902 - reported below
            errors.append(error)

    threads = [threading.Thread(target=work, args=("thread%d" % i, 10.0 ** i)) for i in (1, 2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(120)
    assert not errors, errors
    assert results["thread1"].tolist() == [30.0, 10.0, -30.0] and results["thread2"].tolist() == [300.0, 100.0, -300.0]
