"""python3 -m talixdb.web --server URL [--listen HOST:PORT] [--tls-cert FILE --tls-key FILE]"""

import argparse
import signal
import sys

import talixdb

from .server import Settings, WebServer, tls_context


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="python3 -m talixdb.web",
        description="A read-only view of a TALIXDBAPI repository's catalogue in a browser.")
    parser.add_argument("--server", required=True,
                        help="the repository server: HOST:PORT, http://HOST:PORT or https://HOST:PORT")
    parser.add_argument("--listen", default="127.0.0.1:8090", help="where the view answers (default %(default)s)")
    parser.add_argument("--tls-cert", help="serve over TLS with this certificate chain (PEM)")
    parser.add_argument("--tls-key", help="and this private key (PEM)")
    parser.add_argument("--allow-plain", action="store_true",
                        help="serve plain HTTP although the repository server is reached over TLS")
    parser.add_argument("--idle-minutes", type=float, default=15,
                        help="a web session unused this long ends, and its reading session (default %(default)s)")
    parser.add_argument("--catalogue-seconds", type=float, default=60,
                        help="how long a session's listings reuse one read of the catalogue's names "
                             "(default %(default)s; the categories page's Reload reads it anew)")
    parser.add_argument("--domain", default="Default", help="the login domain (default %(default)s)")
    options = parser.parse_args(argv)

    if bool(options.tls_cert) != bool(options.tls_key):
        parser.error("--tls-cert and --tls-key go together")
    tls = bool(options.tls_cert)
    if options.server.lower().startswith("https://") and not tls and not options.allow_plain:
        parser.error("the repository server is reached over TLS: serve the view over TLS too (--tls-cert and "
                     "--tls-key), or say --allow-plain")
    host, _, port = options.listen.rpartition(":")
    if not host or not port.isdigit():
        parser.error("--listen takes HOST:PORT")
    host = host.strip("[]")

    try:  # a wrong address is told at once; a server that is down may come up later
        talixdb.connect(options.server).close()
    except ValueError as error:
        parser.error(str(error))
    except talixdb.Error as error:
        print("talixdb.web: %s; serving all the same" % error, file=sys.stderr)

    settings = Settings(options.server, tls=tls, idle_seconds=options.idle_minutes * 60,
                        catalogue_age=options.catalogue_seconds, domain=options.domain)
    try:
        context = tls_context(options.tls_cert, options.tls_key) if tls else None
        server = WebServer((host, int(port)), settings, context)
    except (OSError, ValueError) as error:
        print("talixdb.web: cannot serve on %s: %s" % (options.listen, error), file=sys.stderr)
        return 1
    # SIGTERM ends it like Ctrl-C: the web sessions log out on the way.
    signal.signal(signal.SIGTERM, _interrupt)
    bound_host, bound_port = server.server_address[:2]
    print("talixdb.web: serving %s://%s:%d/ for %s" % ("https" if tls else "http", bound_host, bound_port,
                                                          options.server), flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()
    return 0


def _interrupt(*_):
    raise KeyboardInterrupt


if __name__ == "__main__":
    sys.exit(main())
