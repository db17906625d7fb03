// What the server takes from a request's bytes, spoken to directly: hostile
// XML, names, uploads over the limit, and how much of a client's text a fault
// or a log line repeats. Each refusal is a fault, and the server goes on.
#include <gtest/gtest.h>

#include <chrono>

#include "RawHttp.h"
#include "ServiceClient.h"
#include "ServiceUris.h"
#include "support/ServerLog.h"

namespace talixdb_test {
namespace {

constexpr std::size_t kUploadLimit = 1 << 20;

std::string envelope(const std::string& body, const std::string& envelopeAttributes = "") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><SOAP-ENV:Envelope "
         "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" xmlns:ns1=\"" TALIXDB_NS1_URI
         "\" xmlns:ns2=\"" TALIXDB_NS2_URI "\"" +
         envelopeAttributes + "><SOAP-ENV:Body>" + body + "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

// A login whose username element carries `attributes` and holds `user`.
std::string loginEnvelope(const std::string& attributes = "", const std::string& user = "root",
                          const std::string& around = "") {
  return envelope("<ns1:LoginRequestElement>" + around + "<ns1:username" + attributes + ">" + user +
                  "</ns1:username><ns1:password>kelp482</ns1:password><ns1:domain>Default</ns1:domain>"
                  "<ns1:locale>en</ns1:locale></ns1:LoginRequestElement>");
}

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

// One DIME record: `flags` 4 begins the message, 2 ends it, 1 is continued
// in the next record; type format 2 is a URI, 1 a media type, 0 unchanged.
std::string dimeRecord(int flags, int typeFormat, const std::string& type, const std::string& id,
                       const std::string& data, std::size_t declaredSize) {
  auto padded = [](std::string bytes) { return bytes.append((4 - bytes.size() % 4) % 4, '\0'); };
  std::string header{static_cast<char>(0x08 | flags), static_cast<char>(typeFormat << 4), 0, 0,
                     static_cast<char>(id.size() >> 8), static_cast<char>(id.size() & 0xff),
                     static_cast<char>(type.size() >> 8), static_cast<char>(type.size() & 0xff)};
  for (int shift = 24; shift >= 0; shift -= 8) header.push_back(static_cast<char>((declaredSize >> shift) & 0xff));
  return header + padded(id) + padded(type) + data;
}

// The start of an uploadFiles request for one file: the HTTP header (for a
// body of `bodySize` bytes after this start) and the envelope record.
std::string uploadStart(const std::string& cookie, const std::string& folder, std::size_t declaredSize,
                        std::size_t attachmentBytes) {
  std::string xml = envelope("<ns2:UploadFilesRequestElement><parent>" + folder +
                             "</parent><uploadFiles><name>big.bin</name><size>" + std::to_string(declaredSize) +
                             "</size><typeName>File</typeName></uploadFiles></ns2:UploadFilesRequestElement>");
  std::string record = dimeRecord(4, 2, "http://schemas.xmlsoap.org/soap/envelope/", "", xml, xml.size());
  record.append((4 - xml.size() % 4) % 4, '\0');
  return "POST /vlt/services/QuillonBinding HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/dime\r\n"
         "Content-Length: " +
         std::to_string(record.size() + attachmentBytes) + "\r\nSOAPAction: \"" + actionOf("uploadFiles") + "\"\r\n" +
         cookie + "\r\n" + record;
}

class InputTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server = new TestServer({"--max-upload", std::to_string(kUploadLimit)});
  }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  void SetUp() override {
    admin = std::make_unique<ServiceClient>(*server);
    ASSERT_TRUE(Succeeds(admin->loginAsAdmin()));
    cookie = "Cookie: TALIXSESSION=" + admin->sessionId() + "\r\n";
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_TRUE(Succeeds(admin->createFolder("/Repository", name, &folder)));
  }
  std::string post(const std::string& operation, const std::string& body) {
    return exchange(server->port(), soapPost(actionOf(operation), body, cookie));
  }
  bool stillServes() {
    admin->clear();
    return admin->exists(folder);
  }
  static TestServer* server;
  std::unique_ptr<ServiceClient> admin;
  std::string cookie;
  std::string folder;
};
TestServer* InputTest::server = nullptr;

// Each costs the parser time or memory out of proportion (the first two
// grow with the square of their count) or is no request of the contract.
TEST_F(InputTest, HostileRequestsGetAClientFaultAndTheServerKeepsServing) {
  struct Case {
    const char* what;
    std::string request;
    const char* fault;
  };
  auto login = [](const std::string& body) { return soapPost(actionOf("login"), body); };
  std::string deep = repeated(70, "<d", ">") + repeated(70, "</d", ">");
  std::string mime = "--XYZ\r\nContent-Type: text/xml\r\n\r\n" + loginEnvelope() + "\r\n--XYZ--\r\n";
  const Case cases[] = {
      {"attributes", login(loginEnvelope(repeated(40000, " a", "=\"1\""))), "an element has more than 64 attributes"},
      {"namespaces", login(loginEnvelope(repeated(33, " xmlns:p", "=\"u\""))),
       "an element declares more than 32 namespaces"},
      {"namespaces in all", login(loginEnvelope("", "root", repeated(9, "<x", repeated(30, " xmlns:q", "=\"u\"") + "/>"))),
       "the request declares more than 256 namespaces"},
      {"depth", login(loginEnvelope("", "root", deep)), "elements nest deeper than 64 levels"},
      {"DTD", login("<!DOCTYPE x [<!ENTITY e \"root\">]>" + loginEnvelope("", "&e;")),
       "the request holds a document type or entity declaration: DTDs are not accepted"},
      {"size", login(loginEnvelope("", "root", "<pad>" + std::string(2u << 20, 'p') + "</pad>")),
       "the XML part is larger than 2097152 bytes"},
      {"compressed", soapPost(actionOf("login"), loginEnvelope(), "Content-Encoding: gzip\r\n"),
       "compressed requests are not accepted"},
      {"MIME", login(mime).replace(login(mime).find("text/xml"), 8, "multipart/related; boundary=\"XYZ\""),
       "MIME attachments are not accepted: files travel as DIME attachments"},
  };
  for (const Case& c : cases) {
    std::string reply = exchange(server->port(), c.request);
    EXPECT_EQ(reply.rfind("HTTP/1.1 500", 0), 0u) << c.what << ": " << reply.substr(0, 200);
    EXPECT_NE(reply.find("<faultcode>SOAP-ENV:Client</faultcode>"), std::string::npos) << c.what;
    EXPECT_EQ(faultString(reply), c.fault) << c.what;
  }
  EXPECT_TRUE(stillServes());
}

// Names go through createModelObject as raw XML, so that bytes no client
// library would send arrive as they are. Refused names store nothing;
// accepted ones are stored exactly as sent.
TEST_F(InputTest, NamesAreStoredAsSentOrRefusedWithTheReason) {
  struct Case {
    std::string xml;     // the name element's content
    std::string stored;  // the name stored, or "" when refused
    const char* fault;   // part of the fault text when refused
  };
  const std::string longest(255, 'n');
  const Case cases[] = {
      {"Centrifugal Pump", "Centrifugal Pump", ""},
      {"caf\xc3\xa9", "caf\xc3\xa9", ""},
      {"D&#xFC;se 1", "D\xc3\xbcse 1", ""},
      {"000000007-Run", "000000007-Run", ""},
      {"  spaced  ", "  spaced  ", ""},
      {"a&amp;b", "a&b", ""},
      {"\xf0\x9d\x84\x9e", "\xf0\x9d\x84\x9e", ""},
      {longest, longest, ""},
      {"", "", "invalid object name: '' (empty)"},
      {".", "", "invalid object name: '.' ("},
      {"..", "", "invalid object name"},
      {"a/b", "", "invalid object name: 'a/b' (holds "},
      {"a&#1;b", "", "invalid object name: 'a\\x01b' (holds the control character U+0001)"},
      {"a\x1f", "", "U+001F"},
      {"a&#x7F;", "", "U+007F"},
      {"a&#x85;", "", "U+0085"},
      {std::string(256, 'n'), "", "(longer than 255 bytes)"},
      {std::string("a\0b", 3), "", "the request holds the character U+0000, which XML does not allow"},
      {"a&#0;b", "", "the request holds the character U+0000, which XML does not allow"},
      {"a\xff", "", "the request is not valid UTF-8"},
      {"\xc0\xaf", "", "the request is not valid UTF-8"},
      {"\xed\xa0\x80", "", "the request is not valid UTF-8"},
      {"&#xD800;", "", "the request refers to U+D800, which is no character XML allows"},
      {"a&unknown;b", "", "the request refers to an unknown entity '&amp;unknown;'"},
  };
  std::vector<std::string> stored;
  for (const Case& c : cases) {
    std::string reply = post("createModelObject",
                             envelope("<ns2:CreateModelObjectElement><name>" + c.xml + "</name><parent>" + folder +
                                      "</parent><typeName>Folder</typeName></ns2:CreateModelObjectElement>"));
    if (c.stored.empty()) {
      EXPECT_EQ(reply.rfind("HTTP/1.1 500", 0), 0u) << c.xml;
      EXPECT_NE(faultString(reply).find(c.fault), std::string::npos) << c.xml << ": " << faultString(reply);
    } else {
      EXPECT_NE(reply.find("<ns1:CreateModelObjectResponseElement>" + folder + "/"), std::string::npos)
          << c.xml << ": " << faultString(reply);
      stored.push_back(c.stored);
    }
  }
  EXPECT_EQ(admin->childNames(folder), stored);
}

TEST_F(InputTest, EveryOperationThatNamesSomethingChecksTheName) {
  ASSERT_TRUE(Succeeds(admin->createFolder(folder, "source")));
  ns1__MoveRequestElement move;
  move.source = folder + "/source";
  std::string answer;
  for (const char* name : {"..", "tab\there"}) {
    EXPECT_NE(admin->upload(folder, name, "x").fault.find("invalid file name"), std::string::npos) << name;
    EXPECT_NE(admin->createUser(name, "pw").fault.find("invalid user name"), std::string::npos) << name;
    move.destination = folder + "/" + name;
    EXPECT_EQ(admin->binding().move(&move, answer), 12) << name;
    EXPECT_NE(std::string(soap_fault_string(admin->soap())).find("invalid object name"), std::string::npos);
  }
  EXPECT_EQ(admin->childNames(folder), std::vector<std::string>{"source"});
  EXPECT_EQ(admin->childNames("/System/Users"), std::vector<std::string>{"root"});
}

// The fault comes as soon as the DIME record (or the envelope, for a record
// in chunks) declares more than the limit: the client has sent none of the
// file's bytes yet and waits for the reply.
TEST_F(InputTest, UploadDeclaredOverTheLimitIsRefusedBeforeItsBytes) {
  const std::size_t size = kUploadLimit + 1;
  const std::string media = "application/octet-stream";
  struct Case {
    const char* what;
    std::string request;
  };
  const Case cases[] = {
      {"record", uploadStart(cookie, folder, size, 12 + 4 + 24 + size) + dimeRecord(2, 1, media, "id1", "", size)},
      {"envelope", uploadStart(cookie, folder, size, 12 + 4 + 24 + size) + dimeRecord(1, 1, media, "id1", "", 4096)},
  };
  for (const Case& c : cases) {
    auto began = std::chrono::steady_clock::now();
    std::string reply = exchange(server->port(), c.request, Ending::KeepOpen, std::chrono::seconds(5));
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(4)) << c.what;
    EXPECT_EQ(faultString(reply), "file too large: 'id1' exceeds the upload limit of 1048576 bytes") << c.what;
    EXPECT_FALSE(admin->exists(folder + "/big.bin")) << c.what;
  }
  EXPECT_TRUE(stillServes());
}

// The limit itself is allowed: a file of exactly that size is stored whole.
TEST_F(InputTest, UploadOfExactlyTheLimitIsStored) {
  const std::string bytes(kUploadLimit, 'e');
  ASSERT_TRUE(admin->upload(folder, "limit.bin", bytes).ok());
  std::string back;
  ASSERT_TRUE(admin->download(folder + "/limit.bin", back).ok());
  EXPECT_EQ(back, bytes);
  EXPECT_TRUE(admin->remove(folder + "/limit.bin"));
}

// A file in DIME chunks declares no size of its own: it is refused once its
// bytes pass the limit, while the client still has more to send.
TEST_F(InputTest, ChunkedUploadStopsAtTheLimit) {
  const std::string chunk(256 * 1024, 'c');
  std::string request = uploadStart(cookie, folder, 1000, 8 * (12 + 4 + 24 + chunk.size()));
  request += dimeRecord(1, 1, "application/octet-stream", "id1", chunk, chunk.size());
  for (int i = 0; i < 4; ++i) request += dimeRecord(1, 0, "", "", chunk, chunk.size());
  std::string reply = exchange(server->port(), request, Ending::KeepOpen, std::chrono::seconds(5));
  EXPECT_EQ(faultString(reply), "file too large: 'id1' exceeds the upload limit of 1048576 bytes");
  EXPECT_FALSE(admin->exists(folder + "/big.bin"));
  EXPECT_TRUE(stillServes());
}

TEST_F(InputTest, FaultsAndLogLinesShowAShortPrefixOfClientText) {
  const std::string user(100000, 'u');
  std::string reply = exchange(server->port(), soapPost(actionOf("login"), loginEnvelope("", user)));
  EXPECT_EQ(faultString(reply), "wrong user name or password for " + std::string(64, 'u') + "\xE2\x80\xA6");
  std::vector<LoggedRequest> requests = loggedRequests(server->log());
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back().user, std::string(64, 'u') + "\xE2\x80\xA6");
  EXPECT_LT(requests.back().outcome.size(), 200u);
}

}  // namespace
}  // namespace talixdb_test
