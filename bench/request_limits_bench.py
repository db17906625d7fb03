#!/usr/bin/env python3
"""Server CPU time and peak memory for hostile or oversize requests.

Usage: request_limits_bench.py SERVER [CASE...]

SERVER is a built talixdb-server. Each case starts a fresh server on a free
loopback port with a temporary store, sends its request(s), and prints the
server's CPU time (user + system, from /proc) spent on them, the server's
peak resident memory (VmHWM) afterwards, the HTTP status of each reply, the
wall time, and the worst latency of a GET /health probe sent every 0.25 s
meanwhile. Cases (all by default):

  attributes  one 419 KiB login whose username element has 40,000 attributes
  xmlns       one login whose username element declares 40,000 namespaces
  text16      one 16 MiB login whose username is a 16 MiB text
  items16     one 16 MiB createModelObject with about 500,000 small items
  text16x8    eight text16 requests at once
  items16x8   eight items16 requests at once
  attrs64     a 2 MiB login full of empty elements with 64 attributes each
              (the most attributes an element may have)
  ns256       a 2 MiB login with 251 namespaces in scope (about the most a request
              may declare) around 100,000 empty elements
  normal      500 createModelObject requests of 12 KiB (40 properties of
              5 items), one after the other in one session
  logins      the median time of 40 failed logins of unknown users and of
              40 with a wrong password, taken in turns (not in the default set)
"""
import os
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

NS1 = "http://quillon.example/quillon/"
NS2 = "http://quillon.example/core/ws/types"
ENVELOPE_HEAD = ('<?xml version="1.0" encoding="UTF-8"?>'
                 '<SOAP-ENV:Envelope xmlns:SOAP-ENV="http://schemas.xmlsoap.org/soap/envelope/" '
                 'xmlns:ns1="' + NS1 + '" xmlns:ns2="' + NS2 + '"><SOAP-ENV:Body>')
ENVELOPE_TAIL = '</SOAP-ENV:Body></SOAP-ENV:Envelope>'
SIXTEEN_MIB = 16 << 20


def login_body(username_open, username="root"):
    return (ENVELOPE_HEAD + '<ns1:LoginRequestElement>' + username_open + username +
            '</ns1:username><ns1:password>wrong</ns1:password><ns1:domain>Default</ns1:domain>'
            '<ns1:locale>en</ns1:locale></ns1:LoginRequestElement>' + ENVELOPE_TAIL)


def attributes_body():
    return login_body('<ns1:username' + ''.join(' a%d="1"' % i for i in range(40000)) + '>')


def xmlns_body():
    return login_body('<ns1:username' + ''.join(' xmlns:p%d="u"' % i for i in range(40000)) + '>')


def text16_body():
    empty = login_body('<ns1:username>', '')
    return login_body('<ns1:username>', 'x' * (SIXTEEN_MIB - len(empty)))


def items16_body():
    head = (ENVELOPE_HEAD + '<ns2:CreateModelObjectElement><name>big</name><parent>/Repository</parent>'
            '<typeName>Folder</typeName><properties><item><key>k</key><item><itemType>5</itemType>'
            '<itemList>true</itemList>')
    tail = '</item></item></properties></ns2:CreateModelObjectElement>' + ENVELOPE_TAIL
    item = '<item>v</item>'
    count = (SIXTEEN_MIB - len(head) - len(tail)) // len(item)
    return head + item * count + ' ' * (SIXTEEN_MIB - len(head) - len(tail) - count * len(item)) + tail


def filled_login(element, size=2 << 20):
    empty = login_body('<ns1:username>')
    count = (size - len(empty)) // len(element)
    return login_body(element * count + '<ns1:username>')


def attrs64_body():
    return filled_login('<x' + ''.join(' a%d="1"' % i for i in range(64)) + '/>')


def ns256_body():
    opening = ''.join('<n%d %s>' % (d, ' '.join('xmlns:p%d_%d="u%d"' % (d, i, i) for i in range(31)))
                      for d in range(8))
    closing = ''.join('</n%d>' % d for d in reversed(range(8)))
    empty = login_body(opening + closing + '<ns1:username>')
    count = ((2 << 20) - len(empty)) // len('<y/>')
    return login_body(opening + '<y/>' * count + closing + '<ns1:username>')


def model_body(index):
    properties = ''.join('<item><key>m_property%02d</key><item><itemType>5</itemType><itemList>true</itemList>%s'
                         '</item></item>' % (p, '<item>value of some length %d</item>' % p * 5) for p in range(40))
    return (ENVELOPE_HEAD + '<ns2:CreateModelObjectElement><name>model%05d</name><parent>/Repository</parent>'
            '<typeName>Folder</typeName><properties>%s</properties></ns2:CreateModelObjectElement>'
            % (index, properties) + ENVELOPE_TAIL)


def post(operation, body, headers=''):
    data = body.encode()
    return (('POST /vlt/services/QuillonBinding HTTP/1.1\r\nHost: 127.0.0.1\r\n'
             'Content-Type: text/xml; charset=utf-8\r\nContent-Length: %d\r\n'
             'SOAPAction: "%s%s"\r\n%s\r\n') % (len(data), NS1, operation, headers)).encode() + data


def exchange(port, request, timeout=300, whole=False):
    """Sends the request, reads until the server closes; the status line
    and the fault text (or the whole reply)."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        try:
            s.sendall(request)
        except OSError:
            pass
        reply = b""
        try:
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    break
                reply += chunk
        except OSError:
            pass
    if whole:
        return reply
    if not reply:
        return "(connection closed without a reply)"
    line = reply.split(b"\r\n", 1)[0].decode(errors="replace")
    fault = reply.split(b"<faultstring>", 1)
    if len(fault) == 2:
        line += ": " + fault[1].split(b"</faultstring>", 1)[0][:60].decode(errors="replace")
    return line


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def peak_rss_mib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
    return float("nan")


CASES = {
    "attributes": ("login", attributes_body, 1),
    "xmlns": ("login", xmlns_body, 1),
    "text16": ("login", text16_body, 1),
    "items16": ("createModelObject", items16_body, 1),
    "text16x8": ("login", text16_body, 8),
    "items16x8": ("createModelObject", items16_body, 8),
    "attrs64": ("login", attrs64_body, 1),
    "ns256": ("login", ns256_body, 1),
}


def run_normal(port):
    """500 createModelObject requests in one session; the statuses seen."""
    login = login_body('<ns1:username>').replace('wrong', 'kelp482')
    reply = exchange(port, post("login", login), whole=True)
    cookie = reply.split(b"Set-Cookie: ", 1)[1].split(b";", 1)[0].decode()
    statuses = set()
    for i in range(500):
        statuses.add(exchange(port, post("createModelObject", model_body(i), "Cookie: %s\r\n" % cookie)))
    return statuses


def login_time(port, user):
    began = time.monotonic()
    exchange(port, post("login", login_body('<ns1:username>', user)))
    return time.monotonic() - began


def run_logins(port):
    unknown, wrong = [], []
    for i in range(40):
        unknown.append(login_time(port, "nobody%d" % i))
        wrong.append(login_time(port, "root"))
    unknown.sort()
    wrong.sort()
    print("logins     unknown user %.2f ms, wrong password %.2f ms (medians)" % (1000 * unknown[20], 1000 * wrong[20]))


def run_case(server, name):
    if name in ("normal", "logins"):
        operation, request, copies = None, len(post("createModelObject", model_body(0))), 500
    else:
        operation, make_body, copies = CASES[name]
        request = post(operation, make_body())
    with tempfile.TemporaryDirectory() as store:
        env = dict(os.environ, VLT_ADMIN_PASSWORD="kelp482")
        process = subprocess.Popen([server, "--data", store + "/store", "--port", "0", "--quiet"],
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env)
        try:
            port = int(process.stdout.readline().decode().rsplit(":", 1)[1])
            if name == "logins":
                run_logins(port)
                return
            exchange(port, b"GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
            cpu_before = cpu_seconds(process.pid)
            statuses = [None] * copies
            done = threading.Event()
            worst_probe = [0.0]

            def probe():
                while not done.is_set():
                    began = time.monotonic()
                    exchange(port, b"GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
                    worst_probe[0] = max(worst_probe[0], time.monotonic() - began)
                    done.wait(0.25)

            def send(i):
                statuses[i] = exchange(port, request)

            began = time.monotonic()
            prober = threading.Thread(target=probe)
            prober.start()
            if operation is None:
                statuses = sorted(run_normal(port))
                copies = 0
            senders = [threading.Thread(target=send, args=(i,)) for i in range(copies)]
            for t in senders:
                t.start()
            for t in senders:
                t.join()
            wall = time.monotonic() - began
            done.set()
            prober.join()
            cpu = cpu_seconds(process.pid) - cpu_before
            peak = peak_rss_mib(process.pid)
        finally:
            process.send_signal(signal.SIGTERM)
            process.wait(timeout=120)
    size = request if isinstance(request, int) else len(request)
    copies = 500 if operation is None else copies
    print("%-10s %6d KiB x%d  cpu %7.2f s  peak RSS %7.1f MiB  wall %6.2f s  worst probe %6.2f s  %s" %
          (name, size // 1024, copies, cpu, peak, wall, worst_probe[0], sorted(set(statuses))))
    sys.stdout.flush()


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    server = sys.argv[1]
    for name in sys.argv[2:] or list(CASES) + ["normal"]:
        run_case(server, name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
