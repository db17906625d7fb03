"""The exceptions of talixdb, and the one place that decides which is raised."""

import os
import time

from . import _talixdb


class Error(Exception):
    """A call to the repository failed.

    ``code`` is the library's result code (``None`` for a call that reports
    only success or failure) and ``text`` says why: the library's own words
    for the failure (its getLastErrorText, as the talixdb tool prints it), or
    when it gave none, the text of the result code.
    """

    def __init__(self, message, code=None, text=""):
        super().__init__(message)
        self.code = code
        self.text = text


class NotFound(Error):
    """The model, solver, report or folder named is not in the repository."""


class AlreadyExists(Error):
    """A model or solver of that name is there already."""


class PermissionDenied(Error):
    """The server refused: the administrator login for an administration call failed."""


class LoginRefused(Error):
    """The server answered but refused the user name, password or domain."""


class ConnectionFailed(Error):
    """The server cannot be reached, or the connection broke."""


class Timeout(ConnectionFailed):
    """The server did not answer within the library's time limits."""


class ProgrammingError(Error):
    """The connection was used in a way it cannot be: by a second thread, from
    its own progress callback, or after it was closed."""


# Result codes whose failure has an exception of its own; the rest raise Error.
_BY_CODE = {
    14: NotFound,        # no such model
    21: NotFound,        # no such solver
    28: NotFound,        # no such repository folder
    23: AlreadyExists,   # the solver exists
    24: AlreadyExists,   # the model exists
}

# The library's time limits (VLTDatabase.h): variable, default seconds.
_LIMITS = {"TALIXDB_CONNECT_TIMEOUT": 30, "TALIXDB_IO_TIMEOUT": 300, "TALIXDB_CALL_TIMEOUT": 600}


def _seconds(name):
    try:
        return max(0, int(os.environ.get(name, _LIMITS[name])))
    except ValueError:
        return _LIMITS[name]


def _ran_out_of_time(started, limits):
    """Whether a failed call took as long as the shortest of the library's
    limits that apply: the library fails such a call as one the server never
    answered."""
    seconds = [_seconds(name) for name in limits if _seconds(name) > 0]
    return bool(seconds) and time.monotonic() - started >= min(seconds) - 0.25


def failure(handle, what, code=None, started=None, kind=None,
            limits=("TALIXDB_IO_TIMEOUT", "TALIXDB_CALL_TIMEOUT")):
    """The exception for a failed call: `what` failed, with the library's
    result code (None: none) and its text for why. A call that ran out of
    time (it started at `started`, time.monotonic()) raises Timeout; else
    `kind`, or the exception of the code."""
    text = _talixdb.result_text(code) if code is not None else ""
    if started is not None and _ran_out_of_time(started, limits):
        kind = Timeout
        text = "no answer within the time limit" + ("; " + text if text else "")
    text = handle.last_error_text() or text
    kind = kind or _BY_CODE.get(code, Error)
    message = what + (" (%d: %s)" % (code, text) if code is not None else (": " + text if text else ""))
    return kind(message, code, text)

