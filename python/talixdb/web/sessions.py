"""Web sessions: a random token in the browser's cookie names an entry here
that holds one talixdb connection logged in with a reading session. Calls
on one connection take turns (the library's handle serves one call at a
time); an entry unused for the idle time is ended, and its reading session
with it."""

import secrets
import threading
import time

from .views import Catalogue


class WebSession:
    """One browser login: its connection, the lock that serialises calls on
    it, and the catalogue names it read last."""

    def __init__(self, token, connection, catalogue_age):
        self.token = token
        self.connection = connection
        self.lock = threading.Lock()
        self.catalogue = Catalogue(catalogue_age)
        self.last_used = time.monotonic()

    def close(self):
        """Logs the reading session out and closes the connection (after the
        call in progress, if any)."""
        with self.lock:
            self.connection.close()


class SessionStore:
    """The live web sessions, by token."""

    def __init__(self, idle_seconds, catalogue_age, clock=time.monotonic):
        self.idle_seconds = idle_seconds
        self.catalogue_age = catalogue_age
        self._clock = clock
        self._sessions = {}
        self._lock = threading.Lock()

    def add(self, connection):
        """Keeps a logged-in connection under a new random token; returns the session."""
        session = WebSession(secrets.token_urlsafe(32), connection, self.catalogue_age)
        with self._lock:
            self._sessions[session.token] = session
        return session

    def find(self, token):
        """The live session of `token` (its use noted), or None. Ends the
        sessions that were idle too long first."""
        self.sweep()
        with self._lock:
            session = self._sessions.get(token) if token else None
            if session is not None:
                session.last_used = self._clock()
        return session

    def end(self, token):
        """Ends the session of `token`, if any; True when there was one."""
        with self._lock:
            session = self._sessions.pop(token, None) if token else None
        if session is not None:
            session.close()
        return session is not None

    def sweep(self):
        now = self._clock()
        with self._lock:
            idle = [token for token, session in self._sessions.items()
                    if now - session.last_used > self.idle_seconds]
            ended = [self._sessions.pop(token) for token in idle]
        for session in ended:
            session.close()

    def end_all(self):
        with self._lock:
            ended = list(self._sessions.values())
            self._sessions.clear()
        for session in ended:
            session.close()

    def __len__(self):
        with self._lock:
            return len(self._sessions)
