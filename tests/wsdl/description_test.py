"""The service description, used by an independent SOAP toolkit.

python3-zeep loads the WSDL from the running talixdb-server and performs the
repository operations with it; every message zeep and the library (the demo
host) exchange with the server passes a recording relay and is checked with
lxml: the SOAPAction names an operation, the Body holds its element, and the
element is valid against the schema.   description_test.py SERVER DEMO WSDL
"""
import collections
import ctypes
import os
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import unittest

try:
    import requests
    import zeep
    from lxml import etree
except ImportError as error:
    sys.exit("description_test: %s (install python3-zeep and python3-lxml: scripts/install-deps.sh)" % error)

SERVER, DEMO, BUILT_WSDL = sys.argv[1:4]
ADMIN_PASSWORD = "kelp482"
SERVICE_PATH = "/vlt/services/QuillonBinding"
WSDL_NS = "http://schemas.xmlsoap.org/wsdl/"
WSDL_SOAP_NS = "http://schemas.xmlsoap.org/wsdl/soap/"
XSD_NS = "http://www.w3.org/2001/XMLSchema"
ENVELOPE_NS = "http://schemas.xmlsoap.org/soap/envelope/"
DIME_MEDIA_TYPE, DIME_URI = 1, 2


# ---- DIME: the attachment format of uploadFiles and downloadFiles ----------

def dime_message(records):
    """A DIME message of (id, type, type format, data) records."""
    out = b""
    for index, (record_id, record_type, type_format, data) in enumerate(records):
        flags = 0x08 | (0x04 if index == 0 else 0) | (0x02 if index == len(records) - 1 else 0)
        record_id, record_type = record_id.encode(), record_type.encode()
        out += bytes([flags, type_format << 4]) + struct.pack(">HHHI", 0, len(record_id), len(record_type), len(data))
        for field in (record_id, record_type, data):
            out += field + b"\0" * (-len(field) % 4)
    return out


def dime_records(message):
    """The (id, type, data) records of a DIME message, chunks joined."""
    records, position, current = [], 0, None
    while position < len(message):
        flags = message[position]
        lengths = struct.unpack(">HHHI", message[position + 2:position + 12])
        position += 12
        fields = []
        for length in lengths:
            fields.append(message[position:position + length])
            position += length + (-length % 4)
        current = current or [fields[1].decode(), fields[2].decode(), b""]
        current[2] += fields[3]
        if not flags & 0x01:
            records.append(tuple(current))
            current = None
        if flags & 0x02:
            break
    return records


# ---- the server and a relay that records what passes ----------------------

class Message(collections.namedtuple("Message", "start headers body")):
    def envelope(self):
        """The SOAP envelope: the body, or the first record of a DIME body."""
        if self.headers.get("content-type", "").startswith("application/dime"):
            return dime_records(self.body)[0][2]
        return self.body


def read_message(stream, is_request):
    """One HTTP message from `stream`: (Message, its raw bytes), or None at the end."""
    start = stream.readline()
    if not start:
        return None
    raw, headers = start, {}
    while True:
        line = stream.readline()
        raw += line
        if line in (b"\r\n", b"\n", b""):
            break
        key, _, value = line.decode("latin-1").partition(":")
        headers[key.strip().lower()] = value.strip()
    body = b""
    if headers.get("transfer-encoding", "").lower() == "chunked":
        while True:
            size_line = stream.readline()
            raw += size_line
            size = int(size_line.split(b";")[0], 16)
            chunk = stream.read(size + 2)
            raw += chunk
            if size == 0:
                break
            body += chunk[:-2]
    elif "content-length" in headers:
        body = stream.read(int(headers["content-length"]))
        raw += body
    elif not is_request:
        body = stream.read()
        raw += body
    return Message(start.decode("latin-1").strip(), headers, body), raw


class Relay:
    """Passes HTTP requests on to the server and keeps each exchange."""

    def __init__(self, server_port):
        self.server_port = server_port
        self.exchanges = []
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                connection, _ = self.listener.accept()
            except OSError:
                return
            threading.Thread(target=self._serve, args=(connection,), daemon=True).start()

    def _serve(self, connection):
        with connection, connection.makefile("rb") as client:
            while True:
                request = read_message(client, True)
                if request is None:
                    return
                with socket.create_connection(("127.0.0.1", self.server_port)) as upstream:
                    upstream.sendall(request[1])
                    with upstream.makefile("rb") as server:
                        reply = read_message(server, False)
                self.exchanges.append((request[0], reply[0]))  # before the client can go on
                connection.sendall(reply[1])
                if "close" in (request[0].headers.get("connection", ""), reply[0].headers.get("connection", "")):
                    return


def die_with_parent(parent=os.getpid()):
    """In a child: killed when this test process ends, however it ends."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG
    if os.getppid() != parent:  # gone already: no signal will come
        os._exit(126)


def start_server(directory):
    environment = dict(os.environ, VLT_ADMIN_PASSWORD=ADMIN_PASSWORD)
    with open(os.path.join(directory, "server.log"), "wb") as log:
        process = subprocess.Popen(
            [SERVER, "--data", os.path.join(directory, "store"), "--host", "127.0.0.1", "--port", "0"],
            stdout=subprocess.PIPE, stderr=log, env=environment, preexec_fn=die_with_parent)
    line = process.stdout.readline().decode()
    if ":" not in line:
        process.kill()
        raise RuntimeError("talixdb-server did not start: %r" % line)
    return process, int(line.rsplit(":", 1)[1])


# ---- the description, read with lxml ---------------------------------------

class Description:
    """The operations of a WSDL text and a validator for its elements."""

    def __init__(self, text, directory):
        self.document = etree.fromstring(text)
        messages = {}
        for message in self.document.iterfind("{%s}message" % WSDL_NS):
            part = message.find("{%s}part" % WSDL_NS)
            messages[message.get("name")] = None if part is None else self._qname(part, part.get("element"))
        self.operations = {}  # name -> (input element, output element)
        for operation in self.document.iterfind("{%s}portType/{%s}operation" % (WSDL_NS, WSDL_NS)):
            input_message = operation.find("{%s}input" % WSDL_NS).get("message").split(":")[1]
            output_message = operation.find("{%s}output" % WSDL_NS).get("message").split(":")[1]
            self.operations[operation.get("name")] = (messages[input_message], messages[output_message])
        self.actions = {}  # SOAPAction -> operation name
        for operation in self.document.iterfind("{%s}binding/{%s}operation" % (WSDL_NS, WSDL_NS)):
            action = operation.find("{%s}operation" % WSDL_SOAP_NS).get("soapAction")
            self.actions[action] = operation.get("name")
        self.address = self.document.find(".//{%s}address" % WSDL_SOAP_NS).get("location")
        self.schema = self._schema(directory)

    @staticmethod
    def _qname(node, prefixed):
        prefix, local = prefixed.split(":")
        return "{%s}%s" % (node.nsmap[prefix], local)

    def _schema(self, directory):
        # The inline schemas import each other by namespace alone: give each
        # a file and the imports their places, under one driver schema.
        schemas = self.document.findall("{%s}types/{%s}schema" % (WSDL_NS, XSD_NS))
        places = {s.get("targetNamespace"): os.path.join(directory, "schema%d.xsd" % i) for i, s in enumerate(schemas)}
        for schema in schemas:
            for imported in schema.iterfind("{%s}import" % XSD_NS):
                if imported.get("namespace") in places:
                    imported.set("schemaLocation", places[imported.get("namespace")])
            etree.ElementTree(schema).write(places[schema.get("targetNamespace")])
        driver = etree.Element("{%s}schema" % XSD_NS, nsmap={"xsd": XSD_NS})
        for namespace, place in places.items():
            etree.SubElement(driver, "{%s}import" % XSD_NS, namespace=namespace, schemaLocation=place)
        return etree.XMLSchema(driver)

    def check_exchange(self, request, reply):
        """Raises AssertionError unless the exchange is one the description
        describes; returns the operation's name."""
        action = request.headers.get("soapaction", "").strip('"')
        assert action in self.actions, "SOAPAction %r names no operation" % action
        name = self.actions[action]
        expected_input, expected_output = self.operations[name]
        self._check_body(name, "request", request.envelope(), expected_input)
        if reply.start.split()[1] == "200":
            self._check_body(name, "reply", reply.envelope(), expected_output)
        else:
            body = etree.fromstring(reply.envelope()).find("{%s}Body" % ENVELOPE_NS)
            assert [child.tag for child in body] == ["{%s}Fault" % ENVELOPE_NS], "%s: %s" % (name, reply.start)
        return name

    def _check_body(self, name, kind, envelope, expected):
        body = etree.fromstring(envelope).find("{%s}Body" % ENVELOPE_NS)
        children = list(body)
        assert [child.tag for child in children] == ([expected] if expected else []), \
            "%s %s holds %s, not %s" % (name, kind, [child.tag for child in children], expected)
        for child in children:
            element = etree.fromstring(etree.tostring(child))
            assert self.schema.validate(element), "%s %s is not valid: %s\n%s" % (
                name, kind, self.schema.error_log, etree.tostring(child).decode())


# ---- the tests -------------------------------------------------------------

class DescriptionTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.directory = tempfile.TemporaryDirectory(prefix="talixdb-wsdl-")
        cls.server, cls.port = start_server(cls.directory.name)
        with open(BUILT_WSDL, "rb") as built:
            cls.description = Description(built.read(), cls.directory.name)

    @classmethod
    def tearDownClass(cls):
        cls.server.terminate()
        status = cls.server.wait(timeout=60)
        with open(os.path.join(cls.directory.name, "server.log"), errors="replace") as log:
            server_log = log.read()
        cls.directory.cleanup()
        if status != 0:  # a clean stop exits with 0, also under the sanitizers
            raise AssertionError("talixdb-server exited with %d:\n%s" % (status, server_log))

    def setUp(self):
        self.relay = Relay(self.port)

    def tearDown(self):
        self.relay.listener.close()

    def url(self, port, query="?wsdl"):
        return "http://127.0.0.1:%d%s%s" % (port, SERVICE_PATH, query)

    def check_recorded(self):
        """Checks every recorded SOAP exchange; the operations seen."""
        seen = set()
        for request, reply in self.relay.exchanges:
            if request.start.startswith("POST"):
                seen.add(self.description.check_exchange(request, reply))
        return seen

    def test_server_answers_with_the_built_description_and_its_own_address(self):
        with open(BUILT_WSDL, "rb") as built:
            installed = built.read()
        self.assertEqual(self.description.address, "http://localhost" + SERVICE_PATH)
        for port, query in ((self.port, "?wsdl"), (self.relay.port, "?WSDL")):
            reply = requests.get(self.url(port, query), timeout=30)
            self.assertEqual((reply.status_code, reply.headers["Content-Type"]), (200, "text/xml; charset=utf-8"))
            address = "http://127.0.0.1:%d%s" % (port, SERVICE_PATH)
            self.assertEqual(reply.content, installed.replace(self.description.address.encode(), address.encode()))

    def test_zeep_performs_the_repository_operations(self):
        client = zeep.Client(self.url(self.relay.port))
        service = client.service
        binding = service._binding
        # The address zeep calls is the one the server wrote: the relay's.
        self.assertEqual(service._binding_options["address"], self.url(self.relay.port, ""))

        def simple_call(operation, /, *args, **kwargs):
            # zeep 4.2 cannot unwrap a reply whose Body holds one element of a
            # simple type (bool, int: "object of type 'bool' has no len()");
            # its schema layer reads that element from the raw reply instead.
            with client.settings(raw_response=True):
                reply = getattr(service, operation)(*args, **kwargs)
            self.assertEqual(reply.status_code, 200, reply.content)
            (element,) = etree.fromstring(reply.content).find("{%s}Body" % ENVELOPE_NS)
            return binding.get(operation).output.body.parse(element, client.wsdl.types)

        def dime_call(operation, /, attachments=(), **kwargs):
            # zeep has no DIME: it writes the envelope, which travels as the
            # first record with the files after it; the reply's envelope goes
            # back to zeep.
            envelope = etree.tostring(client.create_message(service, operation, **kwargs))
            records = [("", ENVELOPE_NS, DIME_URI, envelope)]
            records += [(file_id, "application/octet-stream", DIME_MEDIA_TYPE, data) for file_id, data in attachments]
            reply = client.transport.session.post(
                service._binding_options["address"], data=dime_message(records),
                headers={"Content-Type": "application/dime", "SOAPAction": '"%s"' % binding.get(operation).soapaction})
            self.assertEqual(reply.status_code, 200, reply.content)
            records = [("", "", reply.content)]
            if reply.headers["Content-Type"].startswith("application/dime"):
                records = dime_records(reply.content)
            result = binding.get(operation).process_reply(etree.fromstring(records[0][2]))
            return result, [record[2] for record in records[1:]]

        # The session cookie of the login travels in zeep's requests.Session:
        # the calls below are the administrator's, until the logout.
        login = service.login(username="root", password=ADMIN_PASSWORD, domain="Default", locale="en")
        self.assertEqual(login.activeUri, "/Repository")
        self.assertIs(simple_call("isLoggedIn", username="root", workspace="Default", sessionId=""), True)

        folder = {"name": "zeep", "parent": "/Repository", "path": "", "typeName": "Folder",
                  "properties": {"item": [{"key": "m_szNote", "item": {"itemType": 5, "itemList": True,
                                                                      "item": ["made", "by zeep"]}}]},
                  "folder": False, "file": False}
        self.assertEqual(simple_call("createModelObject", **folder), "/Repository/zeep")
        found = service.findByPath("/Repository/zeep")
        self.assertEqual((found.name, found.parent, found.typeName, found.folder), ("zeep", "/Repository", "Folder", True))
        self.assertEqual(found.properties.item[0].key, "m_szNote")
        self.assertEqual(found.properties.item[0].item.item, ["made", "by zeep"])

        folder["properties"]["item"][0]["item"]["item"] = ["changed"]
        folder["path"] = "/Repository/zeep"
        updated = service.updateModelObject(**folder)
        self.assertEqual(updated.path, "/Repository/zeep")
        self.assertEqual(updated.properties.item[0].item.item, ["changed"])

        content = b"three\x00binary\xffbytes\n"
        stored, _ = dime_call("uploadFiles", attachments=[("notes.bin", content)], parent="/Repository/zeep",
                              uploadFiles=[{"name": "notes.bin", "size": len(content), "typeName": "File"}])
        self.assertEqual(stored, ["/Repository/zeep/notes.bin"])
        listed, attachments = dime_call("downloadFiles", PathElement=["/Repository/zeep/notes.bin"])
        self.assertEqual(listed, ["/Repository/zeep/notes.bin"])
        self.assertEqual(attachments, [content])

        self.assertIs(simple_call("deleteModelObject", "/Repository/zeep"), True)
        with self.assertRaises(zeep.exceptions.Fault):
            service.findByPath("/Repository/zeep")
        self.assertIs(simple_call("logout", 0), True)
        with self.assertRaises(zeep.exceptions.Fault):
            service.findByPath("/Repository")

        self.assertEqual(self.check_recorded(), {"login", "isLoggedIn", "createModelObject", "findByPath",
                                                 "updateModelObject", "uploadFiles", "downloadFiles",
                                                 "deleteModelObject", "logout"})

    def test_library_messages_match_the_description(self):
        work = os.path.join(self.directory.name, "demo")
        run = subprocess.run([DEMO, "127.0.0.1:%d" % self.relay.port, work], capture_output=True, timeout=300,
                             preexec_fn=die_with_parent)
        self.assertEqual(run.returncode, 0, run.stdout.decode() + run.stderr.decode())
        seen = self.check_recorded()
        self.assertTrue({"login", "isLoggedIn", "getSessionId", "findByPath", "createModelObject", "uploadFiles",
                         "downloadFiles", "logout"} <= seen, sorted(seen))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
