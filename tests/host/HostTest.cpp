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

TEST(HostWithItsOwnGsoapCode, ItsServiceAndALibrarySessionBothWork) {
  host_echo::Server echoServer;
  ASSERT_EQ("hello t1|t1", host_echo::call(echoServer.port(), "hello", "t1"));
  TestServer server;
  TempDir temp;
  const std::string local = temp.path() + "/solver", copy = temp.path() + "/copy";
  writeLocalFile(local + "/case.cfg", awkwardBytes("case"));
  // The host's own traffic in a thread meanwhile: echo calls until told to stop.
  std::atomic<bool> stop{false};
  std::atomic<int> calls{0}, failures{0};
  std::thread traffic([&] {
    do {
      const std::string tag = std::to_string(++calls);
      failures += host_echo::call(echoServer.port(), "call " + tag, "t" + tag) != "call " + tag + " t" + tag + "|t" + tag;
    } while (!stop && calls < 500);
  });
  VLT_121::CVLTDatabase db;
  EXPECT_TRUE(db.open(server.address().c_str()));
  EXPECT_TRUE(db.login("root", kAdminPassword, "Default", 0));
  EXPECT_EQ(0, db.createTalixDb());
  EXPECT_EQ(0, db.uploadModel("Equipment", "Pumps", ModelBuilder("Pump").build().get()));
  EXPECT_EQ(0, db.importSolver("Equipment", "Pumps", "Pump",
                               ModelBuilder("S").localDir(local).files({"case.cfg"}).build().get()));
  EXPECT_EQ(0, db.downloadSolver((std::string(kDatabaseRoot) + "/Equipment/Pumps/Pump/Solvers/S").c_str(), copy.c_str()));
  EXPECT_EQ(Names{"case.cfg"}, localTree(copy));
  EXPECT_EQ(awkwardBytes("case"), readLocalFile(copy + "/case.cfg"));
  EXPECT_TRUE(db.logout());
  stop = true;
  traffic.join();
  EXPECT_EQ(0, failures.load());
  EXPECT_EQ("bye t2|t2", host_echo::call(echoServer.port(), "bye", "t2"));
}

}  // namespace
