"""Times the web view's pages on the demo catalogue: a talixdb-server on a
temporary store filled by the demo host, the view (python3 -m talixdb.web)
before it, and each page's requests (the page itself and its JSON) made
ROUNDS times by one logged-in client. Prints the median and the worst
milliseconds of each page; exit status 1 when a median reaches 200 ms.
Optionally adds a type of --models N models first, to time the listing
and the catalogue's first read at that size.

Usage: python3 bench/web_bench.py BUILD_DIR [--rounds R] [--models N]
(PYTHONPATH: BUILD_DIR/python)."""

import argparse
import http.cookiejar
import json
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

PASSWORD = "kelp482"
MODEL = {"category": "Equipment", "type": "Pumps", "model": "CentrifugalPump"}
SURFACE = dict(MODEL, solver="FlowSolver", surface="blade")


def started(command, env, pattern):
    """The program, and what `pattern` found in its first line."""
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env)
    line = process.stdout.readline().decode()
    found = re.search(pattern, line)
    if not found:
        process.kill()
        sys.exit("%s did not start: %r" % (command[0], line))
    return process, found.group(1)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--rounds", type=int, default=20)
    parser.add_argument("--models", type=int, default=0)
    options = parser.parse_args()
    env = dict(os.environ, VLT_ADMIN_PASSWORD=PASSWORD)
    env["PYTHONPATH"] = os.path.join(options.build, "python") + os.pathsep + env.get("PYTHONPATH", "")
    sys.path.insert(0, os.path.join(options.build, "python"))
    import talixdb

    with tempfile.TemporaryDirectory(prefix="talixdb-web-bench-") as work:
        server, address = started([os.path.join(options.build, "server", "talixdb-server"), "--data",
                                   os.path.join(work, "store"), "--host", "127.0.0.1", "--port", "0"], env,
                                  r"(127\.0\.0\.1:\d+)")
        web = None
        try:
            subprocess.run([os.path.join(options.build, "examples", "talixdb_demo"), address,
                            os.path.join(work, "demo")], check=True, stdout=subprocess.DEVNULL, env=env)
            if options.models:
                with talixdb.connect(address, user="root", password=PASSWORD) as db:
                    for index in range(options.models):
                        db.upload_model(talixdb.Model("Model%04d" % index, "Many", "Models"))
            web, url = started([sys.executable, "-m", "talixdb.web", "--server", address, "--listen", "127.0.0.1:0"],
                               env, r"serving (\S+)")
            return measure(url.rstrip("/"), options)
        finally:
            for process in (web, server):
                if process is not None:
                    process.terminate()
                    process.wait()


def measure(url, options):
    client = urllib.request.build_opener(urllib.request.HTTPCookieProcessor(http.cookiejar.CookieJar()))

    def get(path, params=None):
        with client.open(url + path + ("?" + urllib.parse.urlencode(params) if params else "")) as answer:
            return answer.read()

    login = urllib.request.Request(url + "/api/login", json.dumps({"user": "root", "password": PASSWORD}).encode(),
                                   {"Content-Type": "application/json"})
    started = time.perf_counter()
    client.open(login).read()
    get("/api/categories")
    print("login and the catalogue's first read: %.1f ms" % (1000 * (time.perf_counter() - started)))
    pages = {
        "page (index.html, app.js, plots.js, style.css, chart.js)":
            [("/", None), ("/static/app.js", None), ("/static/plots.js", None), ("/static/style.css", None),
             ("/static/chart.js", None)],
        "categories": [("/api/categories", None)],
        "types": [("/api/types", {"category": "Equipment"})],
        "models": [("/api/models", {"category": "Equipment", "type": "Pumps"})],
        "model": [("/api/model", MODEL)],
        "solver": [("/api/solver", dict(MODEL, solver="FlowSolver"))],
        "surface (reports, modes, amplitudes, mode 0 on the nodes)":
            [("/api/surface", SURFACE), ("/api/mode", dict(SURFACE, mode=0))],
    }
    if options.models:
        pages["models, a page of 50 of %d" % options.models] = [("/api/models", {"category": "Many",
                                                                                 "type": "Models"})]
    print("%-60s %10s %10s" % ("page (%d rounds)" % options.rounds, "median ms", "worst ms"))
    slow = False
    for name, requests in pages.items():
        times = []
        for _ in range(options.rounds):
            started = time.perf_counter()
            for path, params in requests:
                get(path, params)
            times.append(1000 * (time.perf_counter() - started))
        median = statistics.median(times)
        slow = slow or median >= 200
        print("%-60s %10.1f %10.1f" % (name, median, max(times)))
    return 1 if slow else 0


if __name__ == "__main__":
    sys.exit(main())
