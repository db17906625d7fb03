"""The connection: one library handle, opened and logged in, with the
repository's operations as methods that return Python values and raise
talixdb.Error on failure."""

import contextlib
import os
import time

import numpy as np

from . import _talixdb
from ._errors import (AlreadyExists, ConnectionFailed, Error, LoginRefused, NotFound, PermissionDenied,
                      ProgrammingError, failure)
from ._models import ModelRef, model_ref, solver_name

_DEFAULT_DOMAIN = "Default"
# The library's administrator account, when VLT_ADMIN_USER / VLT_ADMIN_PASSWORD
# do not name another (README, Configuration).
_ADMINISTRATOR = ("VLT_ADMIN_USER", "root")
_ADMINISTRATOR_PASSWORD = ("VLT_ADMIN_PASSWORD", "kelp482")
_CONNECT_LIMITS = ("TALIXDB_CONNECT_TIMEOUT", "TALIXDB_IO_TIMEOUT", "TALIXDB_CALL_TIMEOUT")
# The seven browse filters: keyword, the library's label.
_FILTERS = {
    "category": "Category name",
    "type": "Type name",
    "model": "Model name",
    "description": "Model description",
    "parameter": "A model parameter name",
    "species": "A model specie name",
    "port": "A model port name",
}


def connect(address=None, user=None, password=None, domain=_DEFAULT_DOMAIN, *, pool=False, read_only=False,
            check_same_thread=True):
    """Opens a connection to the repository server at `address` and logs in.

    `address`: "HOST:PORT" or "http://HOST:PORT" (plain HTTP), "https://HOST:PORT"
    (TLS, verified against the system's certificates or TALIXDB_CA_FILE), or the
    endpoint URL; None takes MODELDATABASE_HOME. Without `user` the connection
    is opened but not logged in. `pool`: `user` names the pool ("cfduser"), and
    the library picks a free pool account. `read_only`: the login is a
    reading session, which reads all that the user may and changes nothing
    (the server refuses every change); it does not count as the user's login,
    so the user may log in elsewhere meanwhile, and the password is not kept.
    The connection belongs to the
    thread that opens it (`check_same_thread=False` lets it move between
    threads, still one call at a time).

    Use it in a with block: it logs out and closes at the end of the block,
    also when the block ends with an exception or Ctrl-C.
    Raises ConnectionFailed, Timeout or LoginRefused.
    """
    if read_only and pool:
        raise ValueError("a read-only connection names its user: pool accounts are for full logins")
    connection = Connection(_address(address), check_same_thread)
    try:
        connection._open()
        if user is not None and read_only:
            connection._login_to_read(user, password or "", domain)
        elif user is not None:
            connection._login(user, password or "", domain, pool)
    except BaseException:
        connection.close()
        raise
    return connection


def _address(address):
    if address is None:
        home = os.environ.get("MODELDATABASE_HOME")
        if home is None:
            raise ConnectionFailed("no server address: give one or set MODELDATABASE_HOME")
        # An address as connect() takes it, or a file the library reads.
        return _talixdb.server_address(home, True) or None
    found = _talixdb.server_address(os.fspath(address), False)
    if not found:
        raise ValueError("%r is not a server address (HOST:PORT, http://HOST:PORT, https://HOST:PORT or the "
                         "endpoint URL)" % (address,))
    return found


def _instance_numbers(names):
    # Instance folders are named NUMBER-UPLOADTIME ("%09d-%ld").
    numbers = (name.split("-", 1)[0] for name in names)
    return sorted(int(number) for number in numbers if number.isdigit())


class _Progress:
    """The caller's progress callback, remembering whether it stopped the transfer."""

    def __init__(self, callback):
        self.callback = callback
        self.stopped = False

    def __call__(self, done, expected):
        answer = self.callback(done, expected)
        go_on = answer is None or bool(answer)
        self.stopped = self.stopped or not go_on
        return go_on


class Connection:
    """A connection to the repository: one library handle, used by one thread
    at a time. Made by talixdb.connect().

    Models are named by a ModelRef, (category, type, name), a Model,
    "CATEGORY/TYPE/MODEL" or the model folder's repository path; solvers by a
    Solver or its name. Calls that wait on the network release the GIL, so
    other threads run meanwhile (each with a connection of its own).

    Ctrl-C: a file transfer stops within a MiB, cleanly (nothing partial
    stays), and KeyboardInterrupt is raised; a call that moves no file is not
    cut short: it runs until it ends or the library's time limits end it
    (TALIXDB_IO_TIMEOUT, TALIXDB_CALL_TIMEOUT), then KeyboardInterrupt is
    raised instead of its result.
    """

    def __init__(self, address, check_same_thread=True):
        self._h = _talixdb.Handle(check_same_thread)
        self._address = address
        self._login_args = None
        self._read_only = False
        self._closed = False

    # ---- connection and session -------------------------------------------

    @property
    def address(self):
        """The address as the library was given it (None: from MODELDATABASE_HOME)."""
        return self._address

    @property
    def user(self):
        """The user logged in as, or None."""
        return self._login_args[0] if self._login_args else None

    @property
    def read_only(self):
        """Whether the login is a reading session (connect(read_only=True))."""
        return self._read_only

    @property
    def closed(self):
        """Whether close() was called (or the with block ended)."""
        return self._closed

    def close(self):
        """Logs out and closes; closing again does nothing."""
        if self._closed:
            return
        logged_in = self._h.is_logged_in()  # ProgrammingError in another thread
        self._closed = True
        try:
            if logged_in:
                self._h.logout()
        finally:
            self._h.close()

    def __enter__(self):
        return self

    def __del__(self):
        # A connection dropped without close() logs out too: the library
        # refuses a second login of a user whose session is live.
        try:
            self.close()
        except Exception:
            pass

    def __exit__(self, *exc_info):
        self.close()
        return False

    def __repr__(self):
        state = "closed" if self._closed else "user %s" % self.user if self.user else "not logged in"
        return "<talixdb.Connection %s, %s>" % (self._address or "MODELDATABASE_HOME", state)

    def _live(self):
        if self._closed:
            raise ProgrammingError("the talixdb connection is closed")
        return self._h

    def _open(self):
        started = time.monotonic()
        if not self._h.open(self._address):
            raise failure(self._h, "cannot reach the server at %s" % (self._address or "MODELDATABASE_HOME"),
                          started=started, kind=ConnectionFailed, limits=_CONNECT_LIMITS)

    def _login(self, user, password, domain, pool):
        started = time.monotonic()
        if self._h.login(user, password, domain, 1 if pool else 0):
            self._login_args = (user, password, domain, pool)
            return
        what = "login refused for user %s in domain %s" % (user, domain)
        # A server that still answers refused the login; one that does not
        # is out of reach.
        if not _talixdb.Handle(False).open(self._address):
            what = "cannot reach the server at %s to log in" % (self._address or "MODELDATABASE_HOME")
            raise failure(self._h, what, started=started, kind=ConnectionFailed)
        raise failure(self._h, what, started=started, kind=LoginRefused)

    def _login_to_read(self, user, password, domain):
        started = time.monotonic()
        if self._h.login_to_read(user, password, domain):
            self._login_args = (user, None, domain, False)  # the password is not kept
            self._read_only = True
            return
        if not _talixdb.Handle(False).open(self._address):
            raise failure(self._h, "cannot reach the server at %s to log in" % (self._address or "MODELDATABASE_HOME"),
                          started=started, kind=ConnectionFailed)
        raise failure(self._h, "login to read refused for user %s in domain %s" % (user, domain), started=started,
                      kind=LoginRefused)

    # ---- catalogue -----------------------------------------------------------

    def database_exists(self):
        """Whether the catalogue's root folder "/Repository/talixdb" exists."""
        return self._live().database_exists()

    def create_database(self):
        """Makes the catalogue's root folder as the administrator. True when made
        now, False when it was there already. Raises PermissionDenied when the
        administrator login fails."""
        with self._as_administrator("create the database"):
            return self._live().create_database() == 0

    def categories(self):
        """The category names (a fresh look at the catalogue, as every listing)."""
        self._snapshot()
        return self._h.category_names()

    def types(self, category):
        """The type names of a category."""
        self._snapshot()
        return self._h.type_names(category)

    def models(self, category, type):
        """The models of a type, as ModelRefs."""
        self._snapshot()
        return [ModelRef(category, type, name) for name in self._h.model_names(category, type)]

    def solvers(self, model):
        """The solver names of a model."""
        ref = model_ref(model)
        self._snapshot()
        return self._h.solver_names(*ref)

    def instances(self, model, solver):
        """The instance numbers of a solver."""
        ref = model_ref(model)
        self._snapshot()
        return _instance_numbers(self._h.instance_names(*ref, solver_name(solver)))

    def catalogue(self):
        """The names of the whole catalogue from one look at it, as nested dicts
        in the server's order: {category: {type: {model: {solver: [instance
        numbers]}}}}."""
        h = self._live()
        self._snapshot()
        tree = {}
        for category in h.category_names():
            types = tree.setdefault(category, {})
            for type in h.type_names(category):
                models = types.setdefault(type, {})
                for model in h.model_names(category, type):
                    solvers = models.setdefault(model, {})
                    for solver in h.solver_names(category, type, model):
                        solvers[solver] = _instance_numbers(h.instance_names(category, type, model, solver))
        return tree

    def browse(self, **filters):
        """The models that match every filter given, as ModelRefs. Each filter
        keeps what holds its text (case-sensitive): category, type, model (the
        name), description, parameter, species, port (a name of one of the
        model's)."""
        unknown = set(filters) - set(_FILTERS)
        if unknown:
            raise TypeError("unknown filter(s) %s; the filters are %s" % (", ".join(sorted(unknown)),
                                                                          ", ".join(_FILTERS)))
        rows = [(_FILTERS[key], value) for key, value in filters.items() if value]
        self._snapshot(rows)
        return [ModelRef(*leaf.split("/", 2)) for leaf in self._h.model_leaf_names()]

    def _snapshot(self, rows=()):
        self._live().take_snapshot(list(rows))

    def add_category(self, category):
        """Makes a category; False when it exists already."""
        if self._live().check_category(category):
            return False
        self._check(self._h.add_category(category), "adding category %s" % category)
        return True

    def add_type(self, category, type):
        """Makes a type in a category; False when it exists already."""
        if self._live().check_type(type, category):
            return False
        self._check(self._h.add_type(type, category), "adding type %s/%s" % (category, type))
        return True

    def upload_model(self, model, category=None, type=None):
        """Stores a Model (without its solvers: import_solver stores those) in
        its category and type, or in those given, making them when missing.
        Returns its ModelRef. Raises AlreadyExists, or ValueError for a model
        the talixdb tool would not read either."""
        category = category or model.category
        type = type or model.type
        ref = model_ref((category, type, model.name))
        self._check(self._live().upload_model(category, type, model), "uploading model %s" % (ref,))
        return ref

    def download_model(self, model):
        """The Model with its solvers. Raises NotFound."""
        ref = model_ref(model)
        started = time.monotonic()
        found = self._live().download_model(*ref)
        if found is None:
            raise failure(self._h, "no model %s" % (ref,), started=started, kind=NotFound)
        return found

    def export_solver(self, model, solver):
        """The stored Solver of a model. Raises NotFound."""
        ref = model_ref(model)
        started = time.monotonic()
        found = self._live().export_solver(*ref, solver_name(solver))
        if found is None:
            raise failure(self._h, "no solver %s of model %s" % (solver_name(solver), ref), started=started,
                          kind=NotFound)
        return found

    def import_solver(self, model, solver, directory=None, *, progress=None):
        """Checks a Solver against its stored model and stores it, uploading the
        files its "file-system" parameter lists from `directory`. A solver
        without species gets the model's (set in `solver` too). Raises
        AlreadyExists, NotFound (no such model), Error (not compatible: codes
        15 to 17; a file not stored: 20) or FileNotFoundError (a listed file
        is missing; nothing is stored then)."""
        ref = model_ref(model)
        directory = os.fspath(directory) if directory is not None else "."
        missing = _talixdb.missing_solver_file(solver, directory)
        if missing:
            raise FileNotFoundError(missing)
        with self._transfer(progress) as watch:
            code, species = self._live().import_solver(*ref, solver, directory)
        if code == 0 and list(solver.species) != species:
            solver.species = species
        self._check(code, "importing solver %s into model %s" % (solver.name, ref), watch)

    def download_solver(self, model, solver, directory, *, progress=None):
        """Copies a solver's files into `directory`. Raises NotFound."""
        ref = model_ref(model)
        path = ref.path + "/Solvers/" + solver_name(solver)
        with self._transfer(progress) as watch:
            code = self._live().download_solver(path, os.fspath(directory))
        self._check(code, "downloading solver %s of model %s" % (solver_name(solver), ref), watch)

    def delete(self, item):
        """Deletes a model (any form that names one) or the repository folder at
        a full path ("/Repository/talixdb/Equipment"), with everything below.
        Raises NotFound when nothing was deleted."""
        path = item if isinstance(item, str) and item.startswith("/") else model_ref(item).path
        started = time.monotonic()
        if not self._live().delete_item(path):
            raise failure(self._h, "%s was not deleted" % path, started=started, kind=NotFound)

    # ---- reports, PCA modes, amplitudes ---------------------------------------

    def upload_report(self, model, solver, surface, number, data, *, progress=None):
        """Stores report `number` of a surface and updates its PCA modes.

        `data`: the values (a NumPy array or a sequence of numbers), written as
        a surface report; or the report itself as bytes-like, a path, or a
        binary file object. Returns True, or False when the report was stored
        but the modes were left as they were (their file could not be read).
        Raises Error (20: not stored; also when `progress` stopped it)."""
        h = self._live()
        args = (model_ref(model).path, solver_name(solver), surface, number)
        with self._transfer(progress) as watch:
            if isinstance(data, (bytes, bytearray, memoryview)):
                code = h.upload_surface(*args, data)
            elif isinstance(data, (str, os.PathLike)):
                with open(data, "rb") as source:
                    code = h.upload_surface(*args, source.read())
            elif hasattr(data, "read"):
                code = h.upload_surface(*args, data.read())
            else:
                code = h.upload_values(*args, np.asarray(data, dtype=np.float64))
                if code is None:
                    raise ValueError("a report's values must be finite numbers")
        if code == 26:  # stored; the modes stay as they were
            return False
        self._check(code, "uploading report %d of surface %s" % (number, surface), watch)
        return True

    def download_report(self, model, solver, surface, number, to=None, *, progress=None):
        """Report `number` of a surface as it was stored: a read-only memoryview
        over the library's buffer (no copy), or, with `to` (a path or a binary
        file object), written there, returning the number of bytes. Raises
        NotFound, or Error when `progress` stopped it (nothing is written then)."""
        ref = model_ref(model)
        with self._transfer(progress) as watch:
            data = self._live().download_surface(ref.path, solver_name(solver), number, surface)
        if data is None:
            what = "no report %d of surface %s of solver %s in %s" % (number, surface, solver_name(solver), ref)
            raise self._stopped(watch, what) or failure(self._h, what, started=watch.started, kind=NotFound)
        if to is None:
            return data
        if hasattr(to, "write"):
            to.write(data)
        else:
            with open(to, "wb") as target:
                target.write(data)
        return len(data)

    def has_report(self, model, solver, surface, number):
        """Whether report `number` of the surface is stored."""
        return self._live().is_surface_uploaded(model_ref(model).path, solver_name(solver), number, surface)

    def report_values(self, model, solver, surface, number):
        """The values of a stored surface report as a 1-D array (the library's
        buffer, no copy). Raises NotFound (no such report, or one without the
        surface report header)."""
        return self._numbers(self._live().download_surface_values, "values of report %d" % number,
                             model, solver, surface, number)

    def mode_count(self, model, solver, surface):
        """The number of PCA modes of a surface (0: none)."""
        return self._live().pca_mode_count(model_ref(model).path, solver_name(solver), surface)

    def modes(self, model, solver, surface):
        """The PCA modes of a surface as a 2-D array, mode x component (0 x 0
        when there are none)."""
        rows, _ = self._live().pca_modes(model_ref(model).path, solver_name(solver), surface, 0, -1)
        return rows

    def mode_values(self, model, solver, surface, index):
        """The components of PCA mode `index` (from 0). Raises NotFound."""
        rows, missing = self._live().pca_modes(model_ref(model).path, solver_name(solver), surface, index, index)
        if len(rows) == 0:
            raise failure(self._h, "no PCA mode %d of surface %s" % (index, surface), kind=NotFound)
        return rows[0]

    def singular_values(self, model, solver, surface):
        """The weights of the surface's PCA modes (their singular values) in mode
        order, as the modes file holds them (not sorted); empty without modes."""
        weights = self._live().pca_weights(model_ref(model).path, solver_name(solver), surface)
        return np.asarray(weights, dtype=np.float64)

    def modes_text(self, model, solver, surface):
        """The PCA modes file of a surface as text, or None when it has none."""
        text = self._live().download_pca_modes(model_ref(model).path, solver_name(solver), surface)
        return None if text is None else text.decode("utf-8", "replace")

    def clear_modes(self, model, solver):
        """Removes the PCA modes of every surface of the solver; the reports stay."""
        self._live().clear_pca_modes(model_ref(model).path, solver_name(solver))

    def amplitude(self, model, solver, surface, number):
        """One report's amplitude on each PCA mode, a 1-D array (the library's
        buffer, no copy). Raises NotFound."""
        return self._numbers(self._live().modal_amplitudes, "amplitudes of report %d" % number,
                             model, solver, surface, number)

    def amplitudes(self, model, solver, surface, reports=None):
        """The amplitudes of reports on the surface's PCA modes as a 2-D array,
        report x mode: of the report numbers in `reports`, or of reports 1, 2,
        ... up to the first the surface does not have. Raises NotFound for a
        report without amplitudes (missing, not a surface report, or no modes)."""
        ref = model_ref(model)
        numbers = None if reports is None else [int(number) for number in reports]
        started = time.monotonic()
        rows, missing = self._live().amplitude_rows(ref.path, solver_name(solver), surface, numbers)
        if missing and (numbers is not None or self.has_report(ref, solver, surface, missing)):
            raise failure(self._h, "no amplitudes for report %d of surface %s of solver %s in %s" % (
                missing, surface, solver_name(solver), ref), started=started, kind=NotFound)
        return rows

    def _numbers(self, download, what, model, solver, surface, number):
        ref = model_ref(model)
        started = time.monotonic()
        values = download(ref.path, solver_name(solver), surface, number)
        if values is None:
            raise failure(self._h, "no %s of surface %s of solver %s in %s" % (what, surface, solver_name(solver),
                                                                               ref), started=started, kind=NotFound)
        return values

    def report_numbers(self, model, solver, surface):
        """The numbers of the reports the surface has, ascending (read from the
        server each time; [] also when the solver cannot be read)."""
        return self._live().report_numbers(model_ref(model).path, solver_name(solver), surface)

    def node_positions(self, model, solver, surface=None):
        """The node positions file of a surface (None: the solver's own grid) as
        bytes, or None when there is none."""
        return self._live().grid_text(model_ref(model).path, solver_name(solver), surface, False)

    def grid_connectivity(self, model, solver, surface=None):
        """The grid connectivity file of a surface (None: the solver's own grid)
        as bytes, or None when there is none."""
        return self._live().grid_text(model_ref(model).path, solver_name(solver), surface, True)

    # ---- instances and precomputed results ------------------------------------

    def upload_instance(self, model, solver, directory, instance=None, *, progress=None):
        """Saves the files the solver's "file-system" parameter lists, from
        `directory`, as a new instance (or as `instance`, replacing it).
        Returns the instance number."""
        ref = model_ref(model)
        with self._transfer(progress) as watch:
            code, number = self._live().upload_instance(ref.path, solver_name(solver), -1 if instance is None
                                                        else instance, os.fspath(directory))
        self._check(code, "uploading an instance of solver %s of %s" % (solver_name(solver), ref), watch)
        return number

    def download_instance(self, model, solver, instance, directory, *, progress=None):
        """Downloads an instance into `directory`; one that does not exist gives
        the solver's own files instead. Returns the instance number, or -1 for
        the solver's own files."""
        ref = model_ref(model)
        with self._transfer(progress) as watch:
            code, number = self._live().download_instance(ref.path, solver_name(solver), instance,
                                                          os.fspath(directory))
        self._check(code, "downloading instance %d of solver %s of %s" % (instance, solver_name(solver), ref),
                    watch)
        return number

    def has_instance(self, model, solver, instance):
        """Whether the solver has instance number `instance`."""
        return self._live().is_instance_uploaded(model_ref(model).path, solver_name(solver), instance)

    def delete_instance(self, model, solver, instance):
        """Deletes an instance. Raises NotFound when it was not deleted."""
        ref = model_ref(model)
        if not self._live().delete_instance(*ref, solver_name(solver), instance):
            raise failure(self._h, "instance %d of solver %s of %s was not deleted" % (
                instance, solver_name(solver), ref), kind=NotFound)

    def delete_all_instances(self, path):
        """Empties every "Instances" and "Reports" folder below the repository path."""
        self._live().delete_all_folder_instances(path)

    def upload_precomputed(self, model, solver, text):
        """Stores a block of text as the solver's next precomputed result."""
        ref = model_ref(model)
        self._check(self._live().upload_precomputed(ref.path, solver_name(solver), text),
                    "storing a precomputed result of solver %s of %s" % (solver_name(solver), ref))

    # ---- administration ---------------------------------------------------------

    def backup(self, path, directory, *, progress=None):
        """Copies the repository folder tree at `path` ("/Repository/talixdb/
        Equipment") into `directory`, which must not exist or be empty."""
        with self._transfer(progress) as watch:
            code = self._live().backup(path, os.fspath(directory))
        self._check(code, "backing up %s" % path, watch)

    def restore(self, path, directory, *, progress=None):
        """Rebuilds the tree at `path` from a backup in `directory`; `path` has as
        many "/" as the folder that was backed up. The copy is checked before
        the existing tree is replaced."""
        with self._transfer(progress) as watch:
            code = self._live().restore(path, os.fspath(directory))
        self._check(code, "restoring %s" % path, watch)

    def create_pool_users(self, count):
        """Makes the database root and `count` pool users ("cfduser_000", ...,
        password = name), as the library does: only on a repository without
        the root (AlreadyExists otherwise). Returns the number made."""
        with self._as_administrator("create pool users"):
            if self._h.database_exists():
                raise failure(self._h, "the pool users are made with the database, which exists already",
                              kind=AlreadyExists)
            return self._h.create_pool_users(count)

    def pool_user_count(self):
        """The number of pool users."""
        with self._as_administrator("count the pool users"):
            return self._h.pool_user_count()

    def disconnect_pool_users(self):
        """Ends the sessions of every pool user."""
        with self._as_administrator("disconnect the pool users"):
            self._h.disconnect_pool_users()

    def delete_pool_users(self):
        """Deletes every pool user."""
        with self._as_administrator("delete the pool users"):
            self._h.delete_pool_users()

    def register_server(self, name, keep_existing=True):
        """Registers a simulation server; True when its register folder exists."""
        return self._live().register_server(name, keep_existing)

    def servers(self):
        """The names of the registered simulation servers."""
        return self._live().servers()

    @contextlib.contextmanager
    def _as_administrator(self, what):
        """The library logs in as the administrator for these calls and ends
        logged out or as the administrator. The administrator's login is
        tried first (PermissionDenied when refused), and this connection's
        user is logged in again afterwards."""
        h = self._live()
        if self._read_only:
            raise PermissionDenied("cannot %s: the connection is read-only" % what)
        h.logout()
        try:
            user = os.environ.get(*_ADMINISTRATOR)
            if not h.login(user, os.environ.get(*_ADMINISTRATOR_PASSWORD), _DEFAULT_DOMAIN, 0):
                raise failure(h, "cannot %s: the administrator %s cannot log in (VLT_ADMIN_USER and "
                              "VLT_ADMIN_PASSWORD name the account; it may have a live session elsewhere)"
                              % (what, user), kind=PermissionDenied)
            h.logout()
            yield
        except BaseException:
            self._resume(quiet=True)
            raise
        else:
            self._resume()

    def _resume(self, quiet=False):
        """Logs this connection's user in again after an administration call
        (`quiet`: a failure to do so does not hide the call's own)."""
        self._h.logout()
        if self._login_args:
            try:
                self._login(*self._login_args)
            except Error:
                if not quiet:
                    raise

    # ---- failures and transfers ---------------------------------------------------

    @contextlib.contextmanager
    def _transfer(self, callback):
        """Hands `callback` the progress of the transfers of the call, and
        notes when the call started and whether the callback stopped it."""
        watch = _Progress(callback)
        watch.started = time.monotonic()
        self._h.set_progress(watch if callback is not None else None)
        try:
            yield watch
        finally:
            self._h.set_progress(None)

    def _stopped(self, watch, what):
        if watch is not None and watch.stopped:
            return Error("%s: the progress callback stopped the transfer" % what)
        return None

    def _check(self, code, what, watch=None):
        if code != 0:
            raise self._stopped(watch, what) or failure(self._h, what, code,
                                                        started=watch.started if watch is not None else None)
