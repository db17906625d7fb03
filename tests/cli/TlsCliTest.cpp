// talixdb against a server that speaks TLS only: https addresses given and
// taken from MODELDATABASE_HOME.
#include <gtest/gtest.h>

#include "cli/CliTestSupport.h"
#include "support/TestCertificates.h"
#include "support/TestServer.h"

namespace talixdb_test {
namespace {


TEST(TlsCli, TalksHttpsWithTheTrustFileAndSaysWhyItCannotWithout) {
  TestCertificates certificates;
  TestServer server(certificates.serverOptions(certificates.server()));
  const std::string https = "https://" + server.address();
  const std::pair<std::string, std::string> trust{"TALIXDB_CA_FILE", certificates.authority()};

  CliRun run;
  run.env = {trust};
  run.args = {"--server", https, "db", "create"};
  CliResult created = runCli(run);
  EXPECT_EQ(created.exitCode, 0) << created.err;
  run.env = {trust, {"MODELDATABASE_HOME", https + "/vlt/services/QuillonBinding"}};
  run.args = {"db", "status"};
  CliResult status = runCli(run);
  EXPECT_EQ(status.exitCode, 0) << status.err;
  EXPECT_TRUE(contains(status.out, "/Repository/talixdb exists")) << status.out;
  run.env = {};  // the library's refusal (its texts are the API tests'), as an unreachable server
  EXPECT_EQ(runCli(run).exitCode, 31);
}

}  // namespace
}  // namespace talixdb_test
