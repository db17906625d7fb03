"""talixdb: the TALIXDBAPI repository from Python.

A client over the C++ library (libtalixdbapi): the same wire, sessions, TLS,
time limits and transfer progress, with the shape of a Python database client::

    import talixdb

    with talixdb.connect("https://db.example:8443", user="alice", password="...") as db:
        model = db.download_model(("Equipment", "Pumps", "CentrifugalPump"))
        amplitudes = db.amplitudes(model, "FlowSolver", "blade")   # report x mode

connect() opens and logs in; the connection logs out and closes at the end
of the with block. Failures raise talixdb.Error or one of its subclasses
(NotFound, AlreadyExists, PermissionDenied, LoginRefused, ConnectionFailed,
Timeout, ProgrammingError), carrying the library's result code and text.
Models and solvers are dataclasses (Model, Solver, Port, Parameter, Surface)
that read and write the JSON files of the talixdb tool. Report values, PCA
modes and amplitudes are NumPy arrays.

A connection belongs to the thread that made it, as the library's handle
does: connect once in each thread. Library messages go to the logger
"talixdb" of the logging module.
"""

from ._connection import Connection, connect
from ._errors import (AlreadyExists, ConnectionFailed, Error, LoginRefused, NotFound, PermissionDenied,
                      ProgrammingError, Timeout)
from ._models import Model, ModelRef, Parameter, Port, Solver, Surface
from ._talixdb import library_version

__version__ = library_version

__all__ = [
    "connect", "Connection",
    "Error", "NotFound", "AlreadyExists", "PermissionDenied", "LoginRefused", "ConnectionFailed", "Timeout",
    "ProgrammingError",
    "Model", "Solver", "Port", "Parameter", "Surface", "ModelRef",
    "library_version",
]
