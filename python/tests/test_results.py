"""Arrays from the binding equal to what the C++ library returns for the same
reports (through the talixdb tool, a C++ program over the library)."""

import json
import os
import subprocess

import numpy as np

CLI = os.environ.get("TALIXDB_TEST_CLI", "talixdb")


def library(server, *arguments):
    """The tool's JSON answer, as pool user (it reads the values with the library)."""
    done = subprocess.run([CLI, "--server", server.address, "--user", "cfduser", *arguments, "--json"],
                          capture_output=True, text=True, timeout=60)
    assert done.returncode == 0, done.stderr
    return json.loads(done.stdout)


def test_arrays_equal_the_libraries_and_outlive_the_connection(server, connect, solver):
    model, solver_name, _ = solver
    surface = "arrays"
    rng = np.random.default_rng(7)
    reports = [rng.normal(size=50) * 10.0 ** rng.integers(-8, 8) for _ in range(4)]
    db = connect()
    for number, values in enumerate(reports, start=1):
        assert db.upload_report(model, solver_name, surface, number, values) is True
    place = (model.path, solver_name, surface)

    values = [db.report_values(model, solver_name, surface, n) for n in range(1, 5)]
    amplitudes = db.amplitudes(model, solver_name, surface)
    modes = db.modes(model, solver_name, surface)
    assert amplitudes.shape == (4, db.mode_count(model, solver_name, surface)) and modes.shape[1] == 50
    assert not values[0].flags.owndata  # the library's buffer itself
    db.close()

    for number, row in enumerate(values, start=1):
        # The text a report is written in reads back as the same numbers.
        assert np.array_equal(row, reports[number - 1])
        assert np.array_equal(row, library(server, "report", "values", *place, str(number))["values"])
        assert np.array_equal(amplitudes[number - 1],
                              library(server, "report", "amplitudes", *place, str(number))["amplitudes"])
    for index, mode in enumerate(modes):
        assert np.array_equal(mode, library(server, "report", "mode-values", *place, str(index))["values"])
