"""talixdb.web: a read-only view of the repository's catalogue in a browser.

Run it against a repository server with ``python3 -m talixdb.web --server
URL``; it reads only through the talixdb module, so every page shows what
the logged-in user may read, with the library's TLS and time limits. Each
browser login holds one library handle with a reading session, which never
locks the user out of the library or the talixdb tool.
"""
