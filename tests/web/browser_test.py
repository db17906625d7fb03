"""The web view in a real browser: headless Chromium driven by Selenium,
against a real talixdb-server filled by the demo host, with the view
started as its README says (python3 -m talixdb.web). Few tests: that the
page works, not the library again.

Usage: browser_test.py TALIXDB_SERVER TALIXDB_DEMO (with PYTHONPATH naming
the built talixdb package)."""

import ctypes
import os
import re
import signal
import subprocess
import sys
import tempfile
import unittest
import urllib.request

try:
    from selenium import webdriver
    from selenium.common.exceptions import (NoAlertPresentException, NoSuchElementException,
                                            StaleElementReferenceException)
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.select import Select
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError as error:
    sys.exit("browser_test: %s (install python3-selenium, chromium and chromium-driver: "
             "scripts/install-deps.sh)" % error)

import talixdb

SERVER, DEMO = sys.argv[1:3]
ADMIN_PASSWORD = "kelp482"
MODEL = ("Equipment", "Pumps", "CentrifugalPump")
# Names the server accepts that a page must not take for markup.
HOSTILE_CATEGORY = "<b>Bold & \"quoted\""
HOSTILE_TYPE = "type 'single' <i>"
HOSTILE_MODEL = "<script>alert(\"model\")"  # names hold no "/"
HOSTILE_TEXT = "first line\n\t<img src=x id=injected></p><script>alert(1)</script>\r\nthird line"


def _die_with_parent(parent=os.getpid()):
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG
    if os.getppid() != parent:
        os._exit(126)


def start(command, env, log, pattern):
    """Starts a program and reads its first line, which must match `pattern`."""
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=log, env=env, preexec_fn=_die_with_parent)
    line = process.stdout.readline().decode()
    found = re.search(pattern, line)
    if not found:
        process.kill()
        raise RuntimeError("%s did not start: %r" % (command[0], line))
    return process, found.group(1)


def soap_call(port, operation, body, cookie=None):
    """One SOAP request to the repository server; the answer and its cookie."""
    ns1 = re.search(r'xmlns:ns1="([^"]+)"', urllib.request.urlopen(
        "http://127.0.0.1:%d/vlt/services/QuillonBinding?wsdl" % port).read().decode()).group(1)
    envelope = ('<?xml version="1.0" encoding="UTF-8"?><SOAP-ENV:Envelope xmlns:SOAP-ENV="http://schemas.xmlsoap.org/'
                'soap/envelope/" xmlns:ns1="%s"><SOAP-ENV:Body>%s</SOAP-ENV:Body></SOAP-ENV:Envelope>' % (ns1, body))
    request = urllib.request.Request("http://127.0.0.1:%d/vlt/services/QuillonBinding" % port, envelope.encode(),
                                     {"Content-Type": "text/xml; charset=utf-8", "SOAPAction": ns1 + operation})
    if cookie:
        request.add_header("Cookie", cookie)
    with urllib.request.urlopen(request) as answer:
        return answer.read().decode(), (answer.headers.get("Set-Cookie") or "").split(";")[0]


class WebView(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.directory = tempfile.TemporaryDirectory(prefix="talixdb-web-")
        work = cls.directory.name
        env = dict(os.environ, VLT_ADMIN_PASSWORD=ADMIN_PASSWORD)
        cls.log = open(os.path.join(work, "server.log"), "wb")
        cls.server, address = start([SERVER, "--data", os.path.join(work, "store"), "--host", "127.0.0.1", "--port",
                                     "0", "--metrics-from", "127.0.0.1"], env, cls.log, r"(127\.0\.0\.1:\d+)")
        cls.address = address
        cls.port = int(address.rsplit(":", 1)[1])
        subprocess.run([DEMO, address, os.path.join(work, "demo")], check=True, stdout=subprocess.DEVNULL,
                       env=env, timeout=300)
        # A user without rights, and a model whose names and text are hostile.
        _, cookie = soap_call(cls.port, "login", "<ns1:LoginRequestElement><ns1:username>root</ns1:username>"
                              "<ns1:password>%s</ns1:password><ns1:domain>Default</ns1:domain><ns1:locale>en"
                              "</ns1:locale></ns1:LoginRequestElement>" % ADMIN_PASSWORD)
        soap_call(cls.port, "createUser", "<ns1:CreateUserRequestElement><ns1:username>nobody</ns1:username>"
                  "<ns1:password>nobody-pw</ns1:password></ns1:CreateUserRequestElement>", cookie)
        soap_call(cls.port, "logout", "<ns1:LogoutRequestElement>0</ns1:LogoutRequestElement>", cookie)
        with talixdb.connect(address, user="root", password=ADMIN_PASSWORD) as db:
            db.upload_model(talixdb.Model(HOSTILE_MODEL, HOSTILE_CATEGORY, HOSTILE_TYPE, description=HOSTILE_TEXT,
                                          species=[HOSTILE_MODEL]))
        with talixdb.connect(address, user="root", password=ADMIN_PASSWORD, read_only=True) as db:
            cls.modes = db.mode_count(MODEL, "FlowSolver", "blade")
            cls.reports = db.report_numbers(MODEL, "FlowSolver", "blade")
        cls.web, cls.url = start([sys.executable, "-m", "talixdb.web", "--server", address, "--listen",
                                  "127.0.0.1:0"], env, cls.log, r"serving (http://\S+)")
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for argument in ("--no-sandbox", "--headless", "--disable-gpu", "--disable-background-networking",
                         "--disable-component-update", "--disable-sync", "--no-first-run",
                         "--user-data-dir=" + os.path.join(work, "chromium"), "--window-size=1280,1600"):
            options.add_argument(argument)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        # The browser runs without the sanitizers' runtime a sanitized build preloads.
        plain = {key: value for key, value in os.environ.items() if key not in ("LD_PRELOAD", "ASAN_OPTIONS")}
        cls.browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver", env=plain), options=options)

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()
        for process in (cls.web, cls.server):
            process.terminate()
            process.wait(timeout=60)
        cls.log.close()
        cls.directory.cleanup()

    # ---- helpers ---------------------------------------------------------------------

    def wait(self, condition, seconds=20):
        # A page being drawn replaces what a condition may have found a moment before.
        return WebDriverWait(self.browser, seconds, ignored_exceptions=(
            NoSuchElementException, StaleElementReferenceException)).until(lambda _: condition())

    def heading(self):
        return self.browser.execute_script("const h = document.querySelector('main h1'); return h && h.textContent;")

    def log_in(self, user, password):
        self.browser.get(self.url)
        shown = lambda id: self.browser.find_element(By.ID, id).is_displayed()
        self.wait(lambda: shown("login") or shown("logout"))
        if shown("logout"):
            self.log_out()
        self.browser.find_element(By.ID, "user").send_keys(user)
        self.browser.find_element(By.ID, "password").send_keys(password)
        self.browser.find_element(By.CSS_SELECTOR, "#login button").click()
        self.wait(lambda: self.heading() == "Categories")

    def log_out(self):
        self.browser.find_element(By.ID, "logout").click()
        self.wait(lambda: self.browser.find_element(By.ID, "login").is_displayed())

    def follow(self, name, heading):
        self.browser.find_element(By.LINK_TEXT, name).click()
        self.wait(lambda: self.heading() == heading)

    def live_sessions(self):
        metrics = urllib.request.urlopen("http://127.0.0.1:%d/metrics" % self.port).read().decode()
        return int(float(re.search(r"^talixdb_sessions (\S+)$", metrics, re.M).group(1)))

    def chart(self, canvas):
        """[points of each series] of the chart drawn on a canvas, read from Chart.js."""
        return self.browser.execute_script(
            "const chart = Chart.getChart(document.getElementById(arguments[0]));"
            "return chart ? chart.data.datasets.map((set) => set.data.length) : null;", canvas)

    def no_policy_violations(self):
        messages = [entry["message"] for entry in self.browser.get_log("browser")]
        self.assertEqual([m for m in messages if "Content Security Policy" in m or "Refused" in m], [])

    # ---- tests -------------------------------------------------------------------------

    def test_walk_to_a_surface_and_see_its_three_plots(self):
        self.log_in("root", ADMIN_PASSWORD)
        self.follow("Equipment", "Types of Equipment")
        self.follow("Pumps", "Models of Equipment / Pumps")
        self.follow("CentrifugalPump", "CentrifugalPump")
        self.assertIn("water", self.browser.find_element(By.TAG_NAME, "main").text)  # a species
        self.follow("FlowSolver", "FlowSolver")
        self.assertIn("mesh/grid.msh", self.browser.find_element(By.TAG_NAME, "main").text)  # a file
        self.follow("blade", "Surface blade")
        self.wait(lambda: self.chart("mode-plot") is not None)
        modes = self.modes
        self.assertGreaterEqual(modes, 2)
        self.assertEqual(self.reports, list(range(1, 13)))
        self.assertEqual(self.chart("singular"), [modes, modes])  # the values and their shares
        self.assertEqual(self.chart("amplitudes"), [len(self.reports)] * modes)  # one line per mode
        self.assertEqual(self.chart("mode-plot"), [200])  # one point per node
        shares = self.browser.execute_script(
            "return Chart.getChart(document.getElementById('singular')).data.datasets[1].data;")
        self.assertAlmostEqual(sum(shares), 100.0, places=6)
        self.assertEqual(shares, sorted(shares, reverse=True))
        # The numbers, one click away.
        self.browser.find_element(By.ID, "amplitudes-numbers").click()
        rows = self.browser.find_elements(By.XPATH, "//button[@id='amplitudes-numbers']/../../div/table/tbody/tr")
        self.assertEqual(len(rows), len(self.reports))
        csv = self.browser.execute_script(
            "return fetch(document.getElementById('singular-csv').href).then((r) => r.text());")
        self.assertEqual(len(csv.strip().splitlines()), modes + 1)
        Select(self.browser.find_element(By.ID, "mode-choice")).select_by_index(modes - 1)
        self.wait(lambda: self.browser.execute_script(
            "return Chart.getChart(document.getElementById('mode-plot')).data.datasets[0].label;") ==
            "mode %d" % (modes - 1))
        self.no_policy_violations()

    def test_hostile_names_are_shown_as_text(self):
        self.log_in("root", ADMIN_PASSWORD)
        self.follow(HOSTILE_CATEGORY, "Types of " + HOSTILE_CATEGORY)
        self.follow(HOSTILE_TYPE, "Models of %s / %s" % (HOSTILE_CATEGORY, HOSTILE_TYPE))
        self.follow(HOSTILE_MODEL, HOSTILE_MODEL)
        description = self.browser.find_element(By.CSS_SELECTOR, "main p.text")
        self.assertEqual(description.get_attribute("textContent"), HOSTILE_TEXT)
        self.assertEqual(self.browser.find_elements(By.ID, "injected"), [])
        self.assertEqual(self.browser.find_elements(By.CSS_SELECTOR, "main b, main i, main img, main script"), [])
        self.assertEqual(len(self.browser.find_elements(By.TAG_NAME, "script")), 3)  # the page's own
        with self.assertRaises(NoAlertPresentException):
            self.browser.switch_to.alert.text
        self.no_policy_violations()

    def test_a_user_without_rights_sees_nothing(self):
        self.log_in("nobody", "nobody-pw")
        self.assertEqual(self.browser.find_elements(By.CSS_SELECTOR, "main li"), [])
        self.browser.get(self.url + "#/model?" + "category=Equipment&type=Pumps&model=CentrifugalPump")
        self.wait(lambda: self.heading() == "Not shown")
        self.assertNotIn("water", self.browser.find_element(By.TAG_NAME, "main").text)
        self.log_out()

    def test_log_out_ends_the_reading_session(self):
        self.log_in("root", ADMIN_PASSWORD)
        before = self.live_sessions()
        # The web login did not take the user's one login: the library logs in.
        with talixdb.connect(self.address, user="root", password=ADMIN_PASSWORD) as db:
            self.assertTrue(db.database_exists())
        self.log_out()
        self.assertEqual(self.live_sessions(), before - 1)
        answer = self.browser.execute_script("return fetch('/api/categories').then((r) => r.status);")
        self.assertEqual(answer, 401)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
