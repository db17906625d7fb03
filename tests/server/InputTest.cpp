// What the server takes from a request's bytes, spoken to directly: requests
// no proper client sends (malformed, hostile XML, other methods and paths),
// names, uploads over the limit, and how much of a client's text a fault or a
// log line repeats. Each refusal is a fault or a closed connection, the
// server logs one line per request, and it goes on serving.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <set>
#include <thread>

#include "RawHttp.h"
#include "ServiceClient.h"
#include "support/ServerLog.h"

namespace talixdb_test {
namespace {

constexpr std::size_t kUploadLimit = 1 << 20;

std::string repeated(int count, const std::string& prefix, const std::string& suffix) {
  std::string text;
  for (int i = 0; i < count; ++i) text += prefix + std::to_string(i) + suffix;
  return text;
}

std::string faultString(const std::string& reply) {
  std::size_t begin = reply.find("<faultstring>");
  std::size_t end = reply.find("</faultstring>");
  if (begin == std::string::npos || end == std::string::npos) return "<no fault in: " + reply.substr(0, 300) + ">";
  return reply.substr(begin + 13, end - begin - 13);
}

// The start of an uploadFiles request for one file: the HTTP header (for
// `attachmentBytes` more after this start) and the envelope record.
std::string uploadStart(const std::string& cookie, const std::string& folder, long long declaredSize,
                        std::size_t attachmentBytes) {
  std::string xml = soapEnvelope("<ns2:UploadFilesRequestElement><parent>" + folder +
                                 "</parent><uploadFiles><name>big.bin</name><size>" + std::to_string(declaredSize) +
                                 "</size><typeName>File</typeName></uploadFiles></ns2:UploadFilesRequestElement>");
  std::string record = dimeRecord(4, 2, "http://schemas.xmlsoap.org/soap/envelope/", "", xml, xml.size());
  return "POST /vlt/services/QuillonBinding HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/dime\r\n"
         "Content-Length: " +
         std::to_string(record.size() + attachmentBytes) + "\r\nSOAPAction: \"" + actionOf("uploadFiles") + "\"\r\n" +
         cookie + "\r\n" + record;
}

class InputTest : public ::testing::Test {
 protected:
  static void TearDownTestSuite() { server.reset(); }
  void SetUp() override {
    if (!server) server.reset(new TestServer({"--max-upload", std::to_string(kUploadLimit)}));
    admin = std::make_unique<ServiceClient>(*server);
    ASSERT_TRUE(Succeeds(admin->loginAsAdmin()));
    cookie = "Cookie: TALIXSESSION=" + admin->sessionId() + "\r\n";
    const char* name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_TRUE(Succeeds(admin->createFolder("/Repository", name, &folder)));
  }
  static inline std::unique_ptr<TestServer> server;  // one for the suite
  std::unique_ptr<ServiceClient> admin;
  std::string cookie;
  std::string folder;
};

// Hostile requests cost the parser time or memory out of proportion (the
// first two grow with the square of their count) or are no request of the
// contract: each gets a client fault. Malformed ones get a fault, a 400
// when the head is malformed, or, where the server cannot tell a request, a
// closed connection; a body cut short is closed. None sets a cookie.
TEST_F(InputTest, HostileAndMalformedRequestsGetAFaultAndTheServerKeepsServing) {
  auto login = [](const std::string& body) { return soapPost(actionOf("login"), body); };
  auto client = [](const std::string& text) {
    return "<faultcode>SOAP-ENV:Client</faultcode><faultstring>" + text + "</faultstring>";
  };
  const std::string mime = "--XYZ\r\nContent-Type: text/xml\r\n\r\n" + loginEnvelope() + "\r\n--XYZ--\r\n";
  const std::string garbage = patterned(5000, 3);
  std::string truncated = loginEnvelope();
  truncated.resize(truncated.find("<ns1:LoginRequestElement>") + 20);  // in the middle of a tag
  std::string shortBody = login(std::string(500, ' '));
  shortBody.resize(shortBody.size() - 490);
  const std::string badRequest = "HTTP/1.1 400 Bad Request\r\n";
  struct Case {
    const char* what;
    std::string request;
    std::string expected;  // in the reply; "" also takes a closed connection or a 4xx status
    Ending ending = Ending::KeepOpen;
    bool unanswered = false;  // the connection is closed without a reply
  };
  const Case cases[] = {
      {"attributes", login(loginEnvelope(repeated(40000, " a", "=\"1\""))),
       client("an element has more than 64 attributes")},
      {"namespaces", login(loginEnvelope(repeated(33, " xmlns:p", "=\"u\""))),
       client("an element declares more than 32 namespaces")},
      {"namespaces in all",
       login(loginEnvelope("", "root", repeated(9, "<x", repeated(30, " xmlns:q", "=\"u\"") + "/>"))),
       client("the request declares more than 256 namespaces")},
      {"depth", login(loginEnvelope("", "root", repeated(70, "<d", ">") + repeated(70, "</d", ">"))),
       client("elements nest deeper than 64 levels")},
      {"DTD", login("<!DOCTYPE x [<!ENTITY e \"root\">]>" + loginEnvelope("", "&e;")),
       client("the request holds a document type or entity declaration: DTDs are not accepted")},
      {"size", login(loginEnvelope("", "root", "<pad>" + std::string(2u << 20, 'p') + "</pad>")),
       client("the XML part is larger than 2097152 bytes")},
      {"compressed", soapPost(actionOf("login"), loginEnvelope(), "Content-Encoding: gzip\r\n"),
       client("compressed requests are not accepted")},
      {"MIME", login(mime).replace(login(mime).find("text/xml"), 8, "multipart/related; boundary=\"XYZ\""),
       client("MIME attachments are not accepted: files travel as DIME attachments")},
      {"garbage", garbage, "", Ending::CloseSending},
      {"no XML", login("hello, not XML at all"), client("the request is not a SOAP envelope")},
      {"truncated XML", login(truncated), "Fault"},
      {"short body", shortBody, "", Ending::CloseSending, true},
      {"short upload", uploadStart(cookie, folder, 1000, 2000), "", Ending::CloseSending, true},
      {"two lengths", soapPost(actionOf("login"), loginEnvelope(), "Content-Length: 5\r\n"),
       badRequest + "Content-Type: text/plain; charset=utf-8\r\nConnection: close\r\nContent-Length: 46\r\n\r\n"
                    "the request has two different Content-Lengths\n"},
      {"control byte", "GET /health HTTP/1.1\r\nHost: \x7f\r\n\r\n", badRequest},
      {"unknown action", soapPost("urn:no-such-operation", loginEnvelope()), "Fault"},
      {"oversize", soapPost(actionOf("findByPath"), soapEnvelope("<x>" + std::string(17u << 20, 'a') + "</x>")), ""},
  };
  for (const Case& c : cases) {
    std::string reply = exchange(server->port(), c.request, c.ending);
    const bool answered = c.expected.empty() ? reply.empty() || reply.find("Fault") != std::string::npos ||
                                                   reply.rfind("HTTP/1.1 4", 0) == 0
                                             : reply.find(c.expected) != std::string::npos;
    EXPECT_TRUE(answered) << c.what << ": " << reply.substr(0, 300);
    EXPECT_TRUE(!c.unanswered || reply.empty()) << c.what << ": " << reply.substr(0, 300);
    EXPECT_TRUE(c.expected.rfind("<faultcode>", 0) != 0 || reply.rfind("HTTP/1.1 500", 0) == 0) << c.what;
    EXPECT_EQ(reply.find("Set-Cookie"), std::string::npos) << c.what;
  }
  admin->clear();
  EXPECT_TRUE(admin->exists(folder));  // still served
}

// Only a POST to the service path and the two reads are served; any other
// path is not found, any other method there not allowed.
TEST_F(InputTest, OnlyTheServicePostAndTheTwoReadsAreServed) {
  const char* service = "/vlt/services/QuillonBinding";
  const std::string wsdl = service + std::string("?wsdl"), xsd = service + std::string("?xsd");
  const std::vector<std::array<std::string, 3>> cases = {  // method, path, status
      {"GET", "/health", "200"},   {"GET", "/health?probe=1", "200"},      {"GET", wsdl, "200"},
      {"POST", service, "200"},    {"GET", "/", "404"},                    {"GET", "/other?wsdl", "404"},
      {"POST", "/", "404"},        {"POST", "/vlt/services/Other", "404"}, {"HEAD", "/", "404"},
      {"GET", service, "405"},     {"GET", xsd, "405"},                    {"HEAD", "/health", "405"},
      {"OPTIONS", service, "405"}, {"PUT", service, "405"},                {"PATCH", service, "405"},
      {"DELETE", "/health", "405"},
  };
  for (const auto& [method, path, status] : cases) {
    std::string request = method == "POST" ? soapPost(actionOf("login"), loginEnvelope())
                                           : method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    if (method == "POST") request.replace(5, std::strlen(service), path);
    std::string reply = exchange(server->port(), request);
    EXPECT_EQ(reply.rfind("HTTP/1.1 " + status, 0), 0u) << method << " " << path << "\n" << reply.substr(0, 300);
  }
  std::string notAllowed = exchange(server->port(), "PUT /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  EXPECT_NE(notAllowed.find("\r\nAllow: GET\r\n"), std::string::npos) << notAllowed;
  std::string health = exchange(server->port(), "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  EXPECT_NE(health.find("Content-Type: application/json"), std::string::npos) << health;
  EXPECT_NE(health.find("\r\n\r\n{\"server\":\"talixdb-server\",\"version\":\"" TALIXDB_VERSION
                        "\",\"store\":\"usable\"}\n"),
            std::string::npos)
      << health;
}

// The description names the server as the client reached it (as the wsdl
// tests show with plain addresses), and keeps its placeholder address when
// the Host header is missing or is no host name.
TEST_F(InputTest, DescriptionNamesTheServiceAtTheHostTheClientUsed) {
  const std::string path = "/vlt/services/QuillonBinding", placeholder = "http://localhost" + path;
  const std::pair<const char*, std::string> cases[] = {  // the Host line, the address described
      {"Host: [::1]:8080\r\n", "http://[::1]:8080" + path},
      {"Host: a\"/><x y=\"\r\n", placeholder},
      {"", placeholder},
  };
  for (const auto& [host, address] : cases) {
    std::string reply = exchange(server->port(), "GET " + path + "?wsdl HTTP/1.0\r\n" + host + "\r\n");
    EXPECT_EQ(reply.rfind("HTTP/1.1 200", 0), 0u) << host << reply.substr(0, 200);
    EXPECT_NE(reply.find("<SOAP:address location=\"" + address + "\"/>"), std::string::npos) << host;
  }
}

// One line per served request, written before the reply leaves; a
// connection that sends nothing is no request.
TEST_F(InputTest, EveryServedRequestLogsExactlyOneShortLineBeforeItsReply) {
  const std::size_t before = loggedRequests(server->log()).size();  // login lines: see OperationsTest
  admin->exists("/Repository/first-look");
  std::vector<LoggedRequest> requests = loggedRequests(server->log());
  ASSERT_EQ(requests.size(), before + 1);
  EXPECT_EQ(requests.back().summary(), "findByPath root fault: no such object: /Repository/first-look");
  exchange(server->port(), "", Ending::CloseSending);
  exchange(server->port(), soapPost("urn:no-such-operation", loginEnvelope()));
  // A fault and a log line show a short prefix of a client's text.
  const std::string user(100000, 'u');
  std::string reply = exchange(server->port(), soapPost(actionOf("login"), loginEnvelope("", user)));
  EXPECT_EQ(faultString(reply), "wrong user name or password for " + std::string(64, 'u') + "\xE2\x80\xA6");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // time for a line the empty connection must not get
  requests = loggedRequests(server->log());
  ASSERT_EQ(requests.size(), before + 3);
  EXPECT_EQ(requests.back().user, std::string(64, 'u') + "\xE2\x80\xA6");
  EXPECT_LT(requests.back().outcome.size(), 200u);
}

// Names go through createModelObject as raw XML, so that bytes no client
// library would send arrive as they are. Refused names store nothing;
// accepted ones are stored exactly as sent. Uploads, users and moves check
// their names as well. What the request scanner refuses in any text is shown
// in process (storage/ServerTextsTest); here the bytes it meets in names.
TEST_F(InputTest, NamesAreStoredAsSentOrRefusedWithTheReason) {
  struct Case {
    std::string xml;     // the name element's content
    std::string stored;  // the name stored, or "" when refused
    const char* fault;   // part of the fault text when refused
  };
  const std::string longest(255, 'n');
  const Case cases[] = {
      {"D&#xFC;se 1", "D\xc3\xbcse 1", ""},        {"000000007-Run", "000000007-Run", ""},
      {"  spaced  ", "  spaced  ", ""},            {"a&amp;b", "a&b", ""},
      {"\xf0\x9d\x84\x9e", "\xf0\x9d\x84\x9e", ""}, {longest, longest, ""},
      {"", "", "invalid object name: '' (empty)"}, {".", "", "invalid object name: '.' ("},
      {"..", "", "invalid object name"},          {"a/b", "", "invalid object name: 'a/b' (holds "},
      {"a&#1;b", "", "invalid object name: 'a\\x01b' (holds the control character U+0001)"},
      {"a\x1f", "", "U+001F"}, {"a&#x7F;", "", "U+007F"}, {"a&#x85;", "", "U+0085"},
      {std::string(256, 'n'), "", "(longer than 255 bytes)"},
      {std::string("a\0b", 3), "", "the request holds the character U+0000, which XML does not allow"},
      {"\xc0\xaf", "", "the request is not valid UTF-8"},
      {"\xed\xa0\x80", "", "the request is not valid UTF-8"},
  };
  std::vector<std::string> stored;
  for (const Case& c : cases) {
    const std::string body = soapEnvelope("<ns2:CreateModelObjectElement><name>" + c.xml + "</name><parent>" + folder +
                                          "</parent><typeName>Folder</typeName></ns2:CreateModelObjectElement>");
    std::string reply = exchange(server->port(), soapPost(actionOf("createModelObject"), body, cookie));
    if (c.stored.empty()) {
      EXPECT_EQ(reply.rfind("HTTP/1.1 500", 0), 0u) << c.xml;
      EXPECT_NE(faultString(reply).find(c.fault), std::string::npos) << c.xml << ": " << faultString(reply);
    } else {
      EXPECT_NE(reply.find("<ns1:CreateModelObjectResponseElement>" + folder + "/"), std::string::npos)
          << c.xml << ": " << faultString(reply);
      stored.push_back(c.stored);
    }
  }
  // Every other operation that names something checks the name too.
  ns1__MoveRequestElement move;
  move.source = folder + "/" + stored[0];
  std::string answer;
  for (const char* name : {"..", "tab\there"}) {
    EXPECT_NE(admin->upload(folder, name, "x").fault.find("invalid file name"), std::string::npos) << name;
    EXPECT_NE(admin->createUser(name, "pw").fault.find("invalid user name"), std::string::npos) << name;
    move.destination = folder + "/" + name;
    EXPECT_EQ(admin->binding().move(&move, answer), 12) << name;
    EXPECT_NE(std::string(soap_fault_string(admin->soap())).find("invalid object name"), std::string::npos);
  }
  EXPECT_EQ(admin->childNames(folder), stored);
  EXPECT_EQ(admin->childNames("/System/Users"), std::vector<std::string>{"root"});
}

// Every stored text comes back in replies, which are XML 1.0: a property
// value (raw or as a character reference), key, type name or check-in
// comment holding a character XML 1.0 cannot carry is refused with the
// reason; what XML carries, tab and line ends included, is stored as sent.
TEST_F(InputTest, TextsXmlCannotCarryAreRefusedWhereverTheyEnter) {
  const std::pair<std::string, std::string> cases[] = {  // the value element's content, the fault ("": stored)
      {"a&#1;b", "invalid value of property 'k': 'a\\x01b' (holds the control character U+0001)"},
      {"a\x01", "(holds the control character U+0001)"},
      {"\xef\xbf\xbf", "(holds U+FFFF, which is no character)"},
      {"tab\tline&#10;&#x85;", ""},
  };
  for (const auto& [xml, fault] : cases) {
    const std::string body = soapEnvelope(
        "<ns2:CreateModelObjectElement><name>v</name><parent>" + folder +
        "</parent><typeName>Folder</typeName><properties><item><key>k</key><item><itemType>0</itemType>"
        "<itemList>false</itemList><item>" + xml + "</item></item></item></properties></ns2:CreateModelObjectElement>");
    std::string reply = exchange(server->port(), soapPost(actionOf("createModelObject"), body, cookie));
    if (fault.empty()) EXPECT_TRUE(contains(reply, "<ns1:CreateModelObjectResponseElement>")) << xml << reply;
    else EXPECT_TRUE(contains(faultString(reply), fault)) << xml << ": " << faultString(reply);
  }
  ns2__SoapModelObject stored;
  ASSERT_TRUE(Succeeds(admin->find(folder + "/v", stored)));
  ASSERT_EQ(stored.properties->item.size(), 1u);
  EXPECT_EQ(stored.properties->item[0]->item->item, std::vector<std::string>{"tab\tline\n\xc2\x85"});

  // Updates, uploads and check-ins check what they store too.
  std::string key = "k\x02";
  ns2__SoapVariantMapItem item;
  item.key = &key;
  item.item = nullptr;
  ns2__SoapVariantMap map;
  map.item.push_back(&item);
  ns2__SoapModelObject update, answer;
  update.path = folder + "/v";
  update.properties = &map;
  EXPECT_EQ(admin->binding().updateModelObject(&update, answer), 12);
  EXPECT_TRUE(contains(soap_fault_string(admin->soap()), "invalid property name: 'k\\x02'"));
  ns2__UploadFile file;
  file.name = "f";
  file.typeName = "File\x03";
  ns2__UploadFilesRequestStruct upload;
  upload.parent = folder;
  upload.uploadFiles.push_back(&file);
  ns2__UploadFilesResponseStruct uploaded;
  soap_set_dime(admin->soap());
  soap_set_dime_attachment(admin->soap(), "", 0, "application/octet-stream", "f", 0, nullptr);
  EXPECT_EQ(admin->binding().uploadFiles(&upload, uploaded), 12);
  soap_clr_dime(admin->soap());
  EXPECT_TRUE(contains(soap_fault_string(admin->soap()), "invalid type name: 'File\\x03'"));
  ns1__CheckinRequestElement checkin;
  checkin.id = folder;
  checkin.comment = "\x04";
  bool done = false;
  EXPECT_EQ(admin->binding().checkin(&checkin, done), 12);
  EXPECT_TRUE(contains(soap_fault_string(admin->soap()), "invalid check-in comment"));
  EXPECT_EQ(admin->childNames(folder), std::vector<std::string>{"v"});
}

// The fault comes as soon as the DIME record (or the envelope, for a record
// in chunks) declares more than the limit: the client has sent none of the
// file's bytes yet and waits for the reply. A file in chunks whose envelope
// declares no size is refused once its bytes pass the limit, one that
// declares a size once its bytes pass that. A file of exactly the limit's
// size is taken (that files arrive whole: the round trips elsewhere).
TEST_F(InputTest, UploadOverTheLimitIsRefusedAsSoonAsItShows) {
  const std::size_t size = kUploadLimit + 1;
  const std::string media = "application/octet-stream";
  const std::string chunk(256 * 1024, 'c');
  auto chunked = [&](long long declared) {
    std::string request = uploadStart(cookie, folder, declared, 8 * (12 + 4 + 24 + chunk.size())) +
                          dimeRecord(1, 1, media, "id1", chunk, chunk.size());
    for (int i = 0; i < 4; ++i) request += dimeRecord(1, 0, "", "", chunk, chunk.size());
    return request;
  };
  const std::string tooLarge = "file too large: 'id1' exceeds the upload limit of 1048576 bytes";
  const std::tuple<const char*, std::string, std::string> cases[] = {
      {"record", uploadStart(cookie, folder, size, 12 + 4 + 24 + size) + dimeRecord(2, 1, media, "id1", "", size),
       tooLarge},
      {"envelope", uploadStart(cookie, folder, size, 12 + 4 + 24 + size) + dimeRecord(1, 1, media, "id1", "", 4096),
       tooLarge},
      {"chunks", chunked(-1), tooLarge},
      {"chunks beyond the size declared", chunked(1000),
       "size mismatch: attachment 1 holds more than the 1000 bytes declared for it"},
  };
  for (const auto& [what, request, fault] : cases) {
    auto began = std::chrono::steady_clock::now();
    std::string reply = exchange(server->port(), request, Ending::KeepOpen, std::chrono::seconds(5));
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(4)) << what;
    EXPECT_EQ(faultString(reply), fault) << what;
    EXPECT_FALSE(admin->exists(folder + "/big.bin")) << what;
  }
  EXPECT_TRUE(Succeeds(admin->upload(folder, "limit.bin", std::string(kUploadLimit, 'e'))));
}

// A transfer is admitted by the session its cookie names as soon as its head
// has arrived: without a live one it gets its fault at once (an upload before
// any byte of its body), and nothing is staged.
TEST_F(InputTest, TransfersWithoutALiveSessionAreRefusedAtTheirHead) {
  auto head = [](const std::string& request) { return request.substr(0, request.find("\r\n\r\n") + 4); };
  const std::string download = soapPost(actionOf("downloadFiles"),
                                        soapEnvelope("<ns1:DownloadFilesRequestElement><ns1:PathElement>/Repository"
                                                     "</ns1:PathElement></ns1:DownloadFilesRequestElement>"),
                                        "Cookie: TALIXSESSION=0123456789abcdef\r\n");
  const std::pair<const char*, std::string> cases[] = {
      {"upload without a cookie", head(uploadStart("", folder, 200 << 20, 200 << 20))},
      {"download with a stale cookie", download},
  };
  auto contents = [] {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(server->dataDir() + "/blobs")) names.insert(entry.path());
    return names;
  };
  const std::set<std::string> before = contents();
  for (const auto& [what, request] : cases) {
    RawConnection connection(server->port());
    connection.send(request);
    EXPECT_EQ(faultString(connection.reply(std::chrono::milliseconds(1000))), "not logged in") << what;
    EXPECT_EQ(before, contents()) << what;
  }
}

// downloadFiles names at most 4096 paths (a catalogue's largest folder has a
// few hundred files): more are refused before any file is looked up.
TEST_F(InputTest, ADownloadNamesAtMost4096Paths) {
  const std::string paths = repeated(4097, "<ns1:PathElement>/Repository/f", "</ns1:PathElement>");
  const std::string request = soapPost(
      actionOf("downloadFiles"),
      soapEnvelope("<ns1:DownloadFilesRequestElement>" + paths + "</ns1:DownloadFilesRequestElement>"), cookie);
  EXPECT_EQ(faultString(exchange(server->port(), request)), "too many paths: 4097, at most 4096 per downloadFiles request");
}

// An upload larger than the store's free space is refused by the size its
// envelope declares, before any of its bytes is stored.
TEST(InputSpace, AnUploadTheStoreHasNoRoomForIsRefusedBeforeItsBytes) {
  const std::uint64_t ceiling = std::uint64_t(1) << 40;
  TestServer server({"--max-upload", std::to_string(ceiling)});
  ServiceClient admin(server);
  ASSERT_TRUE(Succeeds(admin.loginAsAdmin()));
  const std::uint64_t needed = std::filesystem::space(server.dataDir()).available + (1 << 20);
  ASSERT_LE(needed, ceiling) << "the test needs a store with less than 1 TiB free";
  const std::string request =
      uploadStart("Cookie: TALIXSESSION=" + admin.sessionId() + "\r\n", "/Repository", static_cast<long long>(needed),
                  12 + 4 + 24 + needed) +
      dimeRecord(2, 1, "application/octet-stream", "id1", "", needed);
  const std::string fault = faultString(exchange(server.port(), request, Ending::KeepOpen, std::chrono::seconds(5)));
  EXPECT_EQ(fault.rfind("no room for 'id1': it needs " + std::to_string(needed) + " bytes and the store has ", 0), 0u)
      << fault;
  EXPECT_FALSE(admin.exists("/Repository/big.bin"));
}

}  // namespace
}  // namespace talixdb_test
