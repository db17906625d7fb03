// The service operations over the wire: what each answers, and its refusals
// as faults (code 12) with their texts. The rules behind them are checked in
// process on each engine (storage/RepositoryTest); here the requests, answers
// and faults that carry them, which do not depend on the engine.
#include <gtest/gtest.h>

#include <tuple>

#include "RawHttp.h"
#include "ServiceClient.h"
#include "support/TestCertificates.h"

namespace talixdb_test {
namespace {

constexpr auto npos = std::string::npos;

TEST(ServiceTest, SessionsFilesAndOperationsNeedingOutsideMachinery) {
  TestServer server({"--max-upload", "4194304"});
  ServiceClient client(server);
  ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
  const std::string folder = "/Repository";
  ns2__SoapModelObject object;
  EXPECT_EQ(ServiceClient(server).find("/Repository", object).fault, "not logged in");
  const std::string id = client.sessionId();
  EXPECT_TRUE(id.size() == 32 && id.find_first_not_of("0123456789abcdef") == npos) << id;
  std::string owner;
  ASSERT_EQ(client.binding().authenticate(id, owner), 0);
  EXPECT_EQ(owner, "root");
  ServiceClient other(server);
  ASSERT_TRUE(Succeeds(other.loginAsAdmin()));
  bool ended = false;
  ASSERT_EQ(client.binding().invalidate(other.sessionId(), ended), 0);
  EXPECT_TRUE(ended);
  EXPECT_EQ(other.sessionId(), "");

  std::string text;
  ASSERT_EQ(client.binding().getProcessTranscript("1", text), 12);
  EXPECT_STREQ(soap_fault_string(client.soap()), "not supported by this server");
  ns2__SoapModelArray models;
  EXPECT_EQ(client.binding().getModelSpecs("x", models), 12);
  LONG64 size = 0;
  EXPECT_EQ(client.binding().exportObjectToFTP(folder, size), 12);
  ns1__GetWorkspacesResponseElement workspaces;
  ASSERT_EQ(client.binding().getWorkspaces(workspaces), 0);
  EXPECT_EQ(workspaces.workspaces, std::vector<std::string>{"Default"});

  // Files travel as DIME attachments (large ones: OperationsTest), in versions, within the limits.
  std::string back;
  ASSERT_TRUE(Succeeds(client.upload(folder, "empty", "")));  // answers the stored path
  ASSERT_TRUE(Succeeds(client.download(folder + "/empty", back)));
  EXPECT_EQ(back, "");
  ASSERT_TRUE(Succeeds(client.find(folder + "/empty", object)));
  EXPECT_TRUE(object.file && !object.folder && object.typeName == "File");

  ASSERT_TRUE(Succeeds(client.upload(folder, "v.txt", "first")));
  ASSERT_TRUE(Succeeds(client.upload(folder, "v.txt", "second")));
  ns1__GetVersionNamesResponseElement names;
  ASSERT_EQ(client.binding().getVersionNames(folder + "/v.txt", names), 0);
  EXPECT_EQ(names.names, (std::vector<std::string>{"1", "2"}));
  ns2__ChangeLogs logs;
  ASSERT_EQ(client.binding().getChangeLogs(folder + "/v.txt", logs), 0);
  ASSERT_EQ(logs.entry.size(), 2u);
  EXPECT_EQ(logs.entry[1]->version, "2");
  EXPECT_EQ(logs.entry[1]->creator, "root");

  const std::tuple<CallResult, const char*, std::string> refusals[] = {  // fault text (part), what stays absent
      {client.upload(folder, "wrong.bin", "12345", 4), "size mismatch", folder + "/wrong.bin"},
      {client.upload(folder, "big.bin", patterned(5 << 20)), "too large", folder + "/big.bin"},
      {client.download(folder + "/missing", back), "", ""},
      {client.upload(folder + "/empty", "inner", "y"), "", folder + "/empty/inner"},
  };
  for (const auto& [outcome, fault, absent] : refusals) {
    EXPECT_EQ(outcome.code, 12) << absent;
    EXPECT_NE(outcome.fault.find(fault), npos) << outcome.fault;
    EXPECT_TRUE(absent.empty() || !client.exists(absent)) << absent;
  }
}

// Over TLS (which the server sets up itself, not the runtime) the
// description names the service at an https address, and the session cookie
// is Secure and HttpOnly; the library still sends it back on its next call.
TEST(ServiceTest, OverTlsTheDescriptionSaysHttpsAndTheSessionCookieIsSecure) {
  TestCertificates certificates;
  TestServer server(certificates.serverOptions(certificates.server()));
  const std::string path = "/vlt/services/QuillonBinding", port = std::to_string(server.port());
  const std::pair<std::string, std::string> descriptions[] = {  // the Host line, the address described
      {"Host: 127.0.0.1:" + port + "\r\n", "https://127.0.0.1:" + port + path},
      {"", "https://localhost" + path},
  };
  for (const auto& [host, address] : descriptions) {
    std::string reply = tlsExchange(server.port(), "GET " + path + "?wsdl HTTP/1.0\r\n" + host + "\r\n");
    EXPECT_NE(reply.find("<SOAP:address location=\"" + address + "\"/>"), npos) << host << reply.substr(0, 300);
  }
  std::string login = tlsExchange(server.port(), soapPost(actionOf("login"), loginEnvelope()));
  EXPECT_TRUE(contains(login, "\r\nSet-Cookie: TALIXSESSION=")) << login;
  EXPECT_TRUE(contains(login, "; Path=/; HttpOnly; Secure\r\n")) << login;

  ServiceClient client(server);
  ASSERT_EQ(client.binding().setEndpoint("https" + server.endpoint().substr(4), certificates.authority()), "");
  ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
  EXPECT_TRUE(client.exists("/Repository"));
}

// Failed logins in a row delay the next tries for that user and from that
// address: refused at once, the password unchecked. The user still gets in
// at once from an address it logged in from lately; the delay is logged.
TEST(ServiceTest, FailedLoginsInARowDelayTheNextTriesButNotTheUserWhereItLoggedIn) {
  TestServer server;
  ServiceClient admin(server);
  ASSERT_TRUE(Succeeds(admin.loginAsAdmin()));  // from 127.0.0.1
  auto login = [&](const char* source, const std::string& user, const char* password) {
    std::string body = loginEnvelope("", user);
    body.replace(body.find("kelp482"), 7, password);
    return exchange(server.port(), soapPost(actionOf("login"), body), Ending::KeepOpen, std::chrono::seconds(10), source);
  };
  for (int i = 0; i < 6; ++i)  // five are free, the sixth begins a delay
    EXPECT_TRUE(contains(login("127.0.0.2", "root", "guess"), "wrong user name or password for root")) << i;
  const std::string delayed = "too many failed logins for root: try again in 1 s";
  EXPECT_TRUE(contains(login("127.0.0.2", "root", kAdminPassword), delayed));
  EXPECT_TRUE(contains(login("127.0.0.3", "root", kAdminPassword), delayed));
  EXPECT_TRUE(Succeeds(admin.loginAsAdmin()));
  for (int i = 0; i < 11; ++i) login("127.0.0.4", "nobody" + std::to_string(i), "guess");  // ten are free
  EXPECT_TRUE(contains(login("127.0.0.4", "someone", "guess"), "too many failed logins for someone: try again in 1 s"));
  EXPECT_TRUE(contains(server.log(), " warning login delay: 6 failed logins in a row for 'root', the last from 127.0.0.2"))
      << server.log();
  EXPECT_TRUE(contains(server.log(), " warning login delay: 11 failed logins in a row from 127.0.0.4, the last for "
                                     "'nobody10': its next try waits 1 s\n"));
}

// GET /metrics serves the Prometheus text to the listed addresses only (to
// no one by default); its counters move with the calls served between two pages.
TEST(ServiceTest, MetricsCountTheCallsAndAreShownToListedAddressesOnly) {
  TestServer server({"--metrics-from", "127.0.0.1,10.0.0.0/8"});
  auto page = [&](const char* source = nullptr) {
    return exchange(server.port(), "GET /metrics HTTP/1.0\r\n\r\n", Ending::KeepOpen, std::chrono::seconds(10), source);
  };
  auto value = [](const std::string& text, const std::string& series) {  // -1 when absent
    std::size_t at = text.find("\n" + series + " ");
    return at == npos ? -1.0 : std::stod(text.substr(at + series.size() + 2));
  };
  EXPECT_EQ(page("127.0.0.2").rfind("HTTP/1.1 403", 0), 0u);
  TestServer closed;
  EXPECT_EQ(exchange(closed.port(), "GET /metrics HTTP/1.0\r\n\r\n").rfind("HTTP/1.1 404", 0), 0u);

  ServiceClient client(server);
  ASSERT_TRUE(Succeeds(client.loginAsAdmin()));
  const std::string before = page();
  EXPECT_TRUE(contains(before, "Content-Type: text/plain; version=0.0.4")) << before;
  ASSERT_TRUE(Succeeds(client.upload("/Repository", "f.bin", std::string(5000, 'x'))));
  EXPECT_FALSE(client.exists("/Repository/missing"));
  EXPECT_TRUE(Succeeds(client.loginAsAdmin()));
  const std::string after = page();
  const std::pair<std::string, double> moved[] = {  // series, by how much
      {"talixdb_requests_total{operation=\"login\",outcome=\"ok\"}", 1},
      {"talixdb_requests_total{operation=\"findByPath\",outcome=\"refused\"}", 1},
      {"talixdb_requests_total{operation=\"uploadFiles\",outcome=\"ok\"}", 1},
      {"talixdb_requests_total{operation=\"metrics\",outcome=\"ok\"}", 1},
      {"talixdb_request_duration_seconds_count{operation=\"login\"}", 1},
      {"talixdb_request_duration_seconds_bucket{operation=\"login\",le=\"+Inf\"}", 1},
      {"talixdb_store_content_bytes", 5000},
      {"talixdb_store_objects", 1},
      {"talixdb_sessions", 0},  // the second login ended the first session
  };
  for (const auto& [series, by] : moved) EXPECT_EQ(value(after, series) - std::max(0.0, value(before, series)), by) << series;
  EXPECT_GT(value(after, "talixdb_received_bytes_total") - value(before, "talixdb_received_bytes_total"), 5000);
  // Transactions of the upload, the lookup, the login and the first page, at least.
  EXPECT_GE(value(after, "talixdb_transactions_total") - value(before, "talixdb_transactions_total"), 4);
  EXPECT_EQ(value(after, "talixdb_database_round_trips_total"), -1);  // a PostgreSQL store's only
  EXPECT_EQ(value(after, "talixdb_sessions"), 1);
  EXPECT_GE(value(after, "talixdb_requests_in_progress"), 1);  // the page's own, and a call's still ending
  EXPECT_GE(value(after, "talixdb_workers{state=\"busy\"}"), 1);
  EXPECT_EQ(value(after, "talixdb_transfers_in_progress"), 0);
  EXPECT_EQ(value(after, "talixdb_store_usable"), 1);
  EXPECT_GE(value(after, "talixdb_connections_open"), 1);
}

}  // namespace
}  // namespace talixdb_test
