// A host with gSOAP code of its own (HostEcho.cpp, its own contract, its own
// global namespace table and Header and Fault serialisers) serves and calls
// its operation while it runs a library session against the stand-in server
// in the same process. CMake links this test in each order a host may link.
#include <atomic>
#include <string>
#include <thread>

#include "HostEcho.h"
#include "api/ApiTestSupport.h"

using namespace talixdb_test;

namespace {

// The host's own traffic in a thread: echo calls until told to stop.
class EchoTraffic {
 public:
  explicit EchoTraffic(int port)
      : m_thread([this, port] {
          do {
            const std::string tag = std::to_string(++m_calls);
            if (host_echo::call(port, "call " + tag, "t" + tag) != "call " + tag + " t" + tag + "|t" + tag)
              ++m_failures;
          } while (!m_stop && m_calls < 500);
        }) {}
  ~EchoTraffic() { finish(); }
  EchoTraffic(const EchoTraffic&) = delete;
  EchoTraffic& operator=(const EchoTraffic&) = delete;

  // Stops the calls; returns how many failed.
  int finish() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    return m_failures;
  }

 private:
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_calls{0};
  std::atomic<int> m_failures{0};
  std::thread m_thread;
};

TEST(HostWithItsOwnGsoapCode, ItsServiceAndALibrarySessionBothWork) {
  host_echo::Server echoServer;
  ASSERT_EQ("hello t1|t1", host_echo::call(echoServer.port(), "hello", "t1"));

  TestServer server;
  TempDir temp;
  const std::string local = temp.path() + "/solver";
  writeLocalFile(local + "/case.cfg", awkwardBytes("case"));
  writeLocalFile(local + "/mesh/a.txt", "a");
  {
    EchoTraffic traffic(echoServer.port());
    VLT_121::CVLTDatabase db;
    ASSERT_TRUE(db.open(server.address().c_str()));
    ASSERT_TRUE(db.login("root", kAdminPassword, "Default", 0));
    EXPECT_FALSE(db.isTalixDatabaseInstantiated());
    ASSERT_EQ(0, db.createTalixDb());
    EXPECT_TRUE(db.isTalixDatabaseInstantiated());
    ModelPtr model = ModelBuilder("Pump").build();
    ASSERT_EQ(0, db.uploadModel("Equipment", "Pumps", model.get()));
    ModelPtr solver = ModelBuilder("S").localDir(local).files({"case.cfg", "mesh/a.txt"}).build();
    ASSERT_EQ(0, db.importSolver("Equipment", "Pumps", "Pump", solver.get()));
    const std::string copy = temp.path() + "/copy";
    ASSERT_EQ(
        0, db.downloadSolver((std::string(kDatabaseRoot) + "/Equipment/Pumps/Pump/Solvers/S").c_str(), copy.c_str()));
    EXPECT_EQ((Names{"case.cfg", "mesh/a.txt"}), localTree(copy));
    EXPECT_EQ(awkwardBytes("case"), readLocalFile(copy + "/case.cfg"));
    EXPECT_TRUE(db.logout());
    EXPECT_EQ(0, traffic.finish());
  }
  EXPECT_EQ("bye t2|t2", host_echo::call(echoServer.port(), "bye", "t2"));
}

}  // namespace
