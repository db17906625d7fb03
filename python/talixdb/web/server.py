"""The web view's HTTP server: static files (the page, its script and style,
Chart.js from the system), a JSON API over the views, CSV downloads of the
plots' numbers, and the login that makes a web session. Every answer carries
a strict Content-Security-Policy; repository text travels only as JSON and
the page puts it in with textContent."""

import csv
import http.server
import io
import json
import os
import ssl
import sys
import threading
import traceback
import urllib.parse

import talixdb

from . import views
from .sessions import SessionStore

COOKIE = "talixdb_view"
STATIC = os.path.join(os.path.dirname(os.path.abspath(__file__)), "static")
# Debian's libjs-chart.js; TALIXDB_CHART_JS names another copy of the UMD build.
CHART_JS = os.environ.get("TALIXDB_CHART_JS", "/usr/share/javascript/chart.js/chart.min.js")
_STATIC_FILES = {
    "/": ("index.html", "text/html; charset=utf-8"),
    "/static/app.js": ("app.js", "text/javascript; charset=utf-8"),
    "/static/plots.js": ("plots.js", "text/javascript; charset=utf-8"),
    "/static/style.css": ("style.css", "text/css; charset=utf-8"),
}
# Only this origin's script, style, fetches and images; nothing inline, no
# frames, no plugins, no form posting elsewhere.
CSP = ("default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
       "form-action 'self'; frame-ancestors 'none'; base-uri 'none'")
MAX_BODY = 16 * 1024


class Settings:
    """What the server is told at start."""

    def __init__(self, server, tls=False, idle_seconds=900, catalogue_age=60, domain="Default"):
        self.server = server
        self.tls = tls
        self.idle_seconds = idle_seconds
        self.catalogue_age = catalogue_age
        self.domain = domain


class WebServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, address, settings, tls_context=None):
        super().__init__(address, Handler)
        self.settings = settings
        self.sessions = SessionStore(settings.idle_seconds, settings.catalogue_age)
        if tls_context is not None:
            # The handshake happens in the request's thread, on its first read.
            self.socket = tls_context.wrap_socket(self.socket, server_side=True, do_handshake_on_connect=False)
        self._stop = threading.Event()
        threading.Thread(target=self._sweep, name="talixdb-web-sweep", daemon=True).start()

    def handle_error(self, request, client_address):
        # A client that went away, or spoke no TLS to a TLS view, is no fault of the view.
        if not isinstance(sys.exc_info()[1], (ConnectionError, ssl.SSLError, TimeoutError)):
            super().handle_error(request, client_address)

    def _sweep(self):
        while not self._stop.wait(30):
            self.sessions.sweep()

    def server_close(self):
        self._stop.set()
        super().server_close()
        self.sessions.end_all()


def tls_context(cert, key):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.minimum_version = ssl.TLSVersion.TLSv1_2
    context.load_cert_chain(cert, key)
    return context


class HttpError(Exception):
    def __init__(self, status, message):
        super().__init__(message)
        self.status = status


class Handler(http.server.BaseHTTPRequestHandler):
    server_version = "talixdb-web"
    sys_version = ""
    protocol_version = "HTTP/1.1"
    timeout = 60

    # ---- dispatch ---------------------------------------------------------------

    def do_GET(self):
        self._serve(self._get)

    def do_HEAD(self):
        self._serve(self._get)

    def do_POST(self):
        self._serve(self._post)

    def _serve(self, route):
        try:
            route(urllib.parse.urlsplit(self.path))
        except HttpError as error:
            self._json(error.status, {"error": str(error)})
        except talixdb.NotFound as error:
            self._json(404, {"error": str(error)})
        except talixdb.ProgrammingError:  # the session ended meanwhile
            self._json(401, {"error": "not logged in"})
        except talixdb.Error as error:
            self._json(502, {"error": str(error)})
        except (ValueError, TypeError) as error:
            self._json(400, {"error": "bad request: %s" % error})
        except (ConnectionError, ssl.SSLError):
            self.close_connection = True  # the client went, or its TLS failed
        except Exception:
            # A fault of the view itself: said in the log, not to the client.
            traceback.print_exc(file=sys.stderr)
            self._json(500, {"error": "the view failed; its log says why"})

    def _get(self, url):
        if url.path in _STATIC_FILES:
            name, kind = _STATIC_FILES[url.path]
            return self._file(os.path.join(STATIC, name), kind)
        if url.path == "/static/chart.js":
            return self._file(CHART_JS, "text/javascript; charset=utf-8")
        query = _query(url.query)
        if url.path == "/api/session":
            session = self._session()
            return self._json(200, {"user": session.connection.user})
        if url.path.startswith("/api/"):
            return self._read(url.path[len("/api/"):], query)
        raise HttpError(404, "no such page")

    def _post(self, url):
        length = int(self.headers.get("Content-Length") or 0)
        if length < 0 or length > MAX_BODY:
            self.close_connection = True  # the body stays unread
            raise HttpError(413, "request too large")
        data = self.rfile.read(length)
        # A JSON body only: a form of another site cannot send one.
        if self.headers.get_content_type() != "application/json":
            raise HttpError(415, "JSON expected")
        body = json.loads(data or b"{}")
        if not isinstance(body, dict):
            raise HttpError(400, "a JSON object expected")
        if url.path == "/api/login":
            return self._login(body)
        if url.path == "/api/logout":
            self.server.sessions.end(self._token())
            return self._json(200, {"user": None}, cookie="")
        raise HttpError(404, "no such operation")

    # ---- sessions -----------------------------------------------------------------

    def _login(self, body):
        user = body.get("user")
        if not isinstance(user, str) or not user or not isinstance(body.get("password"), str):
            raise HttpError(400, "user and password expected")
        settings = self.server.settings
        try:
            # The password goes to the library and is kept nowhere.
            connection = talixdb.connect(settings.server, user=user, password=body.pop("password"),
                                         domain=settings.domain, read_only=True, check_same_thread=False)
        except talixdb.LoginRefused:
            raise HttpError(401, "wrong user name or password")
        except talixdb.Error as error:
            raise HttpError(502, "the repository server cannot be reached: %s" % error)
        self.server.sessions.end(self._token())
        session = self.server.sessions.add(connection)
        self._json(200, {"user": user}, cookie=session.token)

    def _token(self):
        for part in (self.headers.get("Cookie") or "").split(";"):
            name, _, value = part.strip().partition("=")
            if name == COOKIE:
                return value
        return None

    def _session(self):
        session = self.server.sessions.find(self._token())
        if session is None:
            raise HttpError(401, "not logged in")
        return session

    # ---- reading ------------------------------------------------------------------

    def _read(self, what, query):
        session = self._session()
        with session.lock:  # one call at a time on the session's handle
            connection = session.connection
            if what == "categories":
                return self._json(200, views.categories(session.catalogue.tree(connection, "fresh" in query)))
            tree = session.catalogue.tree(connection)
            if what == "types":
                return self._json(200, views.types(tree, _text(query, "category")))
            if what == "models":
                return self._json(200, views.models(tree, _text(query, "category"), _text(query, "type"),
                                                    int(query.get("offset", 0)), int(query.get("limit", 50)),
                                                    query.get("contains", "")))
            ref = talixdb.ModelRef(_text(query, "category"), _text(query, "type"), _text(query, "model"))
            if what == "model":
                return self._json(200, views.model(connection, ref))
            solver = _text(query, "solver")
            if what == "solver":
                return self._json(200, views.solver(connection, tree, ref, solver))
            surface = _text(query, "surface")
            if what == "surface":
                return self._json(200, views.surface(connection, ref, solver, surface))
            if what == "mode":
                return self._json(200, views.mode(connection, ref, solver, surface, int(query.get("mode", 0))))
            if what == "surface.csv":
                return self._csv(query.get("part", ""), connection, ref, solver, surface, query)
        raise HttpError(404, "no such page")

    def _csv(self, part, connection, ref, solver, surface, query):
        rows = io.StringIO()
        table = csv.writer(rows, lineterminator="\r\n")
        if part == "singular":
            data = views.surface(connection, ref, solver, surface)
            table.writerow(["rank", "mode", "singular value", "share"])
            table.writerows([rank + 1, row["mode"], repr(row["value"]), repr(row["share"])]
                            for rank, row in enumerate(data["singular"]))
        elif part == "amplitudes":
            data = views.surface(connection, ref, solver, surface)
            table.writerow(["report"] + ["mode %d" % mode for mode in range(data["modes"])])
            table.writerows([row["report"]] + [repr(value) for value in row["values"]] for row in data["amplitudes"])
        elif part == "mode":
            data = views.mode(connection, ref, solver, surface, int(query.get("mode", 0)))
            table.writerow(["node"] + data["axes"] + ["value"])
            table.writerows([node] + [repr(value) for value in point] for node, point in enumerate(data["points"]))
            part = "mode-%d" % data["mode"]
        else:
            raise HttpError(404, "no such table")
        self._send(200, rows.getvalue().encode(), "text/csv; charset=utf-8",
                   {"Content-Disposition": 'attachment; filename="%s.csv"' % part})

    # ---- answers ------------------------------------------------------------------

    def _file(self, path, kind):
        try:
            with open(path, "rb") as source:
                body = source.read()
        except OSError:
            raise HttpError(404, "no such file")
        self._send(200, body, kind, {"Cache-Control": "no-cache"})

    def _json(self, status, value, cookie=None):
        headers = {"Cache-Control": "no-store"}
        if cookie is not None:
            attributes = "; Path=/; HttpOnly; SameSite=Strict" + ("; Secure" if self.server.settings.tls else "")
            headers["Set-Cookie"] = COOKIE + "=" + cookie + attributes + ("" if cookie else "; Max-Age=0")
        self._send(status, json.dumps(value).encode(), "application/json", headers)

    def _send(self, status, body, kind, headers):
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Content-Security-Policy", CSP)
        self.send_header("X-Content-Type-Options", "nosniff")
        self.send_header("Referrer-Policy", "no-referrer")
        self.send_header("X-Frame-Options", "DENY")
        if self.server.settings.tls:
            self.send_header("Strict-Transport-Security", "max-age=31536000")
        for name, value in headers.items():
            self.send_header(name, value)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def log_message(self, format, *args):
        pass  # no line per request: the repository server logs what was read


def _query(text):
    return {key: values[0] for key, values in urllib.parse.parse_qs(text, keep_blank_values=True).items()}


def _text(query, name):
    value = query.get(name)
    if not value:
        raise HttpError(400, "%s expected" % name)
    return value
