// What the proxy writes on the wire and how it reads replies, checked against
// literal texts rather than against the declaration that generated it.
#include "client/ClientTestSupport.h"
#include "ServiceUris.h"
#include "support/CannedServer.h"

namespace talixdb_test {
namespace {

const std::string kNs1 = TALIXDB_NS1_URI;

class Wire : public ::testing::Test {
 protected:
  void pointAt(QuillonBinding& binding, const CannedServer& server) {
    m_endpoint = server.endpoint();
    binding.endpoint = m_endpoint.c_str();
  }
  // The text between `open` and `close` in `text`, or "".
  static std::string between(const std::string& text, const std::string& open, const std::string& close) {
    const size_t from = text.find(open), to = text.find(close, from);
    if (from == std::string::npos || to == std::string::npos) return "";
    return text.substr(from + open.size(), to - from - open.size());
  }
  static std::string body(const std::string& wire) { return between(wire, "<SOAP-ENV:Body>", "</SOAP-ENV:Body>"); }
  std::string m_endpoint;
};

// Per operation: the canned reply's body, the call (which checks what it
// read), the SOAPAction and the request body expected byte for byte. Fields
// are qualified, in declaration order, without wrapper or xsi:type.
TEST_F(Wire, EachOperationWritesItsActionAndBodyAndReadsItsReply) {
  struct Case {
    const char* action;
    std::string reply;
    bool (*call)(QuillonBinding&);
    std::string body;
  };
  const Case cases[] = {
      {"login", "<ns1:LoginResponseElement><ns1:activeUri>/Repository</ns1:activeUri><ns1:xferAction>0</ns1:xferAction>"
                "<ns1:svcHostPort>0</ns1:svcHostPort></ns1:LoginResponseElement>",
       [](QuillonBinding& b) {
         ns1__LoginRequestStruct request;
         request.username = "alice", request.password = "secret", request.domain = "Default", request.locale = "en";
         ns1__LoginResponseElement response;
         return b.login(&request, response) == 0 && response.activeUri == "/Repository";
       },
       "<ns1:LoginRequestElement><ns1:username>alice</ns1:username><ns1:password>secret</ns1:password>"
       "<ns1:domain>Default</ns1:domain><ns1:locale>en</ns1:locale></ns1:LoginRequestElement>"},
      {"isLoggedIn", "<ns1:IsLoggedInResponseElement>true</ns1:IsLoggedInResponseElement>",
       [](QuillonBinding& b) {
         ns1__IsLoggedInRequestElement request;
         request.username = "bob", request.workspace = "Default", request.sessionId = "";
         bool loggedIn = false;
         return b.isLoggedIn(&request, loggedIn) == 0 && loggedIn;
       },
       "<ns1:IsLoggedInRequestElement><ns1:username>bob</ns1:username><ns1:workspace>Default</ns1:workspace>"
       "<ns1:sessionId/></ns1:IsLoggedInRequestElement>"},
      {"logout", "<ns1:LogoutResponseElement>true</ns1:LogoutResponseElement>",
       [](QuillonBinding& b) { bool answer = false; return b.logout(0, answer) == 0 && answer; },
       "<ns1:LogoutRequestElement>0</ns1:LogoutRequestElement>"},
      {"getWorkspaces", "<ns1:GetWorkspacesResponseElement><ns1:workspaces>Default</ns1:workspaces></ns1:GetWorkspacesResponseElement>",
       [](QuillonBinding& b) {
         ns1__GetWorkspacesResponseElement response;
         return b.getWorkspaces(response) == 0 && response.workspaces == std::vector<std::string>{"Default"};
       },
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.action);
    CannedServer server(soapEnvelope(c.reply));
    QuillonBinding binding;
    pointAt(binding, server);
    EXPECT_TRUE(c.call(binding));
    ASSERT_EQ(1u, server.requests().size());
    const std::string wire = server.requests()[0];
    EXPECT_EQ(0u, wire.find("POST /vlt/services/QuillonBinding HTTP/1.1"));
    EXPECT_EQ("\"" + kNs1 + c.action + "\"", between(wire, "SOAPAction: ", "\r\n"));
    EXPECT_EQ(c.body, body(wire));
    EXPECT_EQ(std::string::npos, wire.find("SOAP-ENV:Header"));
    EXPECT_NE(std::string::npos, wire.find("xmlns:ns1=\"" + kNs1 + "\""));
    EXPECT_NE(std::string::npos, wire.find("xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\""));
  }
}

// A folder as the client writes it: an empty text is an empty element
// (<path/>), an empty map too, an empty list (childNames) is omitted.
TEST_F(Wire, ModelObjectFieldsAreUnqualifiedAndEmptyListsOmitted) {
  CannedServer server(soapEnvelope(
      "<ns1:CreateModelObjectResponseElement>/Repository/x</ns1:CreateModelObjectResponseElement>"));
  QuillonBinding binding;
  pointAt(binding, server);
  VLT_121::CRepositoryObject object(&binding);
  object.setName("x");
  object.setParent("/Repository");
  object.setTypeName("Folder");
  object.setListProperty("m_aszComponents", {"a", "b", "c"});
  EXPECT_EQ("/Repository/x", object.create());
  EXPECT_EQ(
      "<ns2:CreateModelObjectElement><name>x</name><parent>/Repository</parent><path/>"
      "<typeName>Folder</typeName><children></children><properties><item><key>m_aszComponents</key><item>"
      "<itemType>5</itemType><itemList>true</itemList><item>a</item><item>b</item><item>c</item></item></item>"
      "</properties><dynProperties></dynProperties><folder>false</folder><file>false</file>"
      "</ns2:CreateModelObjectElement>",
      body(server.requests().at(0)));
}

// One operation of each kind of response (every structure or list is read by
// one function, every single value by another). A reply whose body lacks the
// response element is an error (SOAP_NO_TAG); a qualified fault code reads as 12.
TEST_F(Wire, AReplyWithoutTheResponseElementOrAFaultIsAnError) {
  CannedServer empty(soapEnvelope("")), faulting(soapEnvelope(
      "<SOAP-ENV:Fault><faultcode>SOAP-ENV:Client.Repository</faultcode>"
      "<faultstring>no such object</faultstring></SOAP-ENV:Fault>"));
  QuillonBinding binding;
  pointAt(binding, empty);
  ns2__SoapModelObject object;
  EXPECT_EQ(SOAP_NO_TAG, binding.findByPath("/Repository", object));
  ns1__IsLoggedInRequestElement request;
  bool answer = true;
  EXPECT_EQ(SOAP_NO_TAG, binding.isLoggedIn(&request, answer));
  pointAt(binding, faulting);
  EXPECT_EQ(12, binding.findByPath("/nowhere", object));
}

// An upload streamed from a local file or from memory writes exactly what the
// runtime writes for the same attachment handed to it whole: one DIME record
// for the file, as peers have always received it.
TEST_F(Wire, StreamedUploadsWriteTheBytesOfAnAttachmentHeldWhole) {
  const std::string bytes = testBytes(300000, 5);
  CannedServer server(soapEnvelope("<ns2:UploadFilesResponseElement><item>/f.bin</item></ns2:UploadFilesResponseElement>"));
  QuillonBinding whole, streamed;
  pointAt(whole, server);
  ns2__UploadFile file;
  file.name = "f.bin";
  file.size = static_cast<LONG64>(bytes.size());
  file.typeName = "File";
  ns2__UploadFilesRequestStruct request;
  request.uploadFiles.push_back(&file);
  soap_set_dime(whole.soap);
  soap_set_dime_attachment(whole.soap, bytes.data(), bytes.size(), "application/octet-stream", "f.bin", 0, nullptr);
  ns2__UploadFilesResponseStruct response;
  EXPECT_EQ(0, whole.uploadFiles(&request, response));
  TempDir local;
  writeLocalFile(local.path() + "/f.bin", bytes);
  pointAt(streamed, server);
  VLT_121::CRepositoryClient client(&streamed);
  EXPECT_EQ("/f.bin", client.uploadLocalFile("", local.path() + "/f.bin"));
  EXPECT_EQ("/f.bin", client.uploadBytes("/f.bin", bytes.data(), bytes.size()));
  const std::vector<std::string> requests = server.requests();
  ASSERT_EQ(3u, requests.size());
  ASSERT_NE(std::string::npos, requests[0].find(bytes));
  EXPECT_TRUE(requests[0] == requests[1] && requests[0] == requests[2]);
}

// A reply whose records end before its Content-Length (as from a server that
// wrote the length of a 4 GiB + 10 byte file modulo 2^32) is a failed
// download that leaves nothing behind, never a short file; the same records
// with their own length are read.
TEST_F(Wire, ADownloadReplyShorterThanItsLengthIsAFailureNotAShortFile) {
  const std::string envelope =
      soapEnvelope("<ns2:DownloadFilesResponseElement><item>/f.bin</item></ns2:DownloadFilesResponseElement>");
  const std::string dime = dimeRecord(4, 2, "http://schemas.xmlsoap.org/soap/envelope/", "", envelope, envelope.size()) +
                           dimeRecord(2, 1, "application/octet-stream", "/f.bin", "0123456789", 10);
  auto reply = [&](std::uint64_t length) {
    return "HTTP/1.1 200 OK\r\nContent-Type: application/dime\r\nContent-Length: " + std::to_string(length) +
           "\r\nConnection: close\r\n\r\n" + dime;
  };
  CannedServer truncated(reply(dime.size() + (std::uint64_t(4) << 30)) + std::string(65536, 'x'), CannedServer::kRaw);
  CannedServer whole(reply(dime.size()), CannedServer::kRaw);
  TempDir local;
  for (CannedServer* server : {&truncated, &whole}) {
    QuillonBinding binding;
    pointAt(binding, *server);
    VLT_121::CRepositoryClient client(&binding);
    const bool expected = server == &whole;
    EXPECT_EQ(expected, !client.downloadFileToDisk("/f.bin", local.path() + "/f.bin").empty());
    EXPECT_EQ(expected ? Names{"f.bin"} : Names{}, localTree(local.path()));
  }
  EXPECT_EQ("0123456789", readLocalFile(local.path() + "/f.bin"));
}

// Only the attachment a download asked for extends a call's deadline, and a
// reply holds at most 64 MiB besides it: a server that streams XML without
// end (a name that never ends) is cut at TALIXDB_CALL_TIMEOUT, or without
// one at that size.
TEST_F(Wire, AServerCannotHoldACallWithAnEndlessReply) {
  const std::string envelope = soapEnvelope("<ns2:ReadModelObjectElement><name>");
  CannedServer server(envelope.substr(0, envelope.find("</name>")), CannedServer::kFlood);
  for (const char* timeout : {"1", "0"}) {
    setenv("TALIXDB_CALL_TIMEOUT", timeout, 1);
    QuillonBinding binding;
    pointAt(binding, server);
    VLT_121::CRepositoryClient client(&binding);
    const auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(nullptr, client.findByPath("/Repository"));
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5)) << timeout;
  }
  unsetenv("TALIXDB_CALL_TIMEOUT");
}

}  // namespace
}  // namespace talixdb_test
