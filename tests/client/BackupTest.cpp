// A catalogue backed up to a local tree and restored, checked object by
// object through the repository client: names, types, every property and
// declaration, and the bytes of every file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "QuillonBinding.h"
#include "client/RepositoryClient.h"
#include "client/RepositoryObject.h"
#include "client/RepositorySession.h"
#include "support/TestServer.h"
#include "talixdbapi/VLTDatabase.h"

namespace {

using talixdb_test::TempDir;
using talixdb_test::TestServer;
using VLT_121::CRepositoryClient;
using VLT_121::CRepositoryObject;
using VLT_121::CRepositorySession;
using VLT_121::CVLTDatabase;
using VLT_121::CVLTModel;
using VLT_121::CVLTParameter;
using VLT_121::CVLTPort;

const std::string kRoot = "/Repository/talixdb";
const std::string kShell = kRoot + "/Heat/Exchangers/Shell";

// One repository object as the comparison sees it. Properties are kept as
// printable texts ("type 5, list: [a][b]") so that a difference reads well.
struct Snapshot {
  std::string type;
  std::map<std::string, std::string> properties;
  std::map<std::string, std::string> declarations;
  std::string bytes;  // files only
};
// Objects by their path below the captured folder ("" is the folder itself).
using Tree = std::map<std::string, Snapshot>;

std::map<std::string, std::string> describe(const ns2__SoapVariantMap* map) {
  std::map<std::string, std::string> out;
  if (map == nullptr) return out;
  for (const ns2__SoapVariantMapItem* item : map->item) {
    if (item == nullptr || item->key == nullptr) continue;
    std::ostringstream text;
    if (item->item != nullptr) {
      text << "type " << item->item->itemType << (item->item->itemList ? ", list:" : ", single:");
      for (const std::string& value : item->item->item) text << " [" << value << "]";
    }
    out[*item->key] = text.str();
  }
  return out;
}

std::string readLocalFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeLocalFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Bytes a text-only transfer would spoil: zero bytes, CR LF, high bytes.
std::string binaryBytes() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  return bytes + "\r\n\0end" + std::string(1, '\0');
}

std::string report(const std::string& body) {
  std::string bytes = "TALIX_Report_2";
  bytes.push_back('\0');
  bytes.append(25, '.');
  return bytes + body;
}

CVLTModel* shellModel() {
  CVLTModel* model = CVLTModel::newObject();
  model->setName("Shell");
  model->setDescription("Shell and tube, counter-current");
  model->setNrComponents(2);
  model->setComponent(0, "H2O");
  model->setComponent(1, "N2");
  CVLTPort* ports = CVLTPort::newArray(2);
  ports[0].setName("inlet");
  ports[0].setType("Material");
  ports[0].setDirection("CAPE_INLET");
  ports[1].setName("outlet");
  ports[1].setType("Material");
  ports[1].setDirection("CAPE_OUTLET");
  model->setPorts(2, ports);
  CVLTParameter* parameters = CVLTParameter::newArray(2);
  parameters[0].setName("area");
  parameters[0].setType("CAPE_REAL");
  parameters[0].setDefaultValue("12.5");
  parameters[0].setLowerBound("0");
  parameters[0].setUpperBound("100");
  parameters[1].setName("scheme");
  parameters[1].setType("CAPE_OPTION");
  parameters[1].setNrOptions(2);
  parameters[1].setOption(0, "upwind");
  parameters[1].setOption(1, "central");
  model->setParameters(2, parameters);
  return model;
}

CVLTModel* steadySolver(const std::string& localDir) {
  CVLTModel* solver = CVLTModel::newObject();
  solver->setName("Steady");
  solver->setCommand("run-steady --fast");
  solver->setLocalDir(localDir.c_str());
  solver->setNrSortedModelComponents(2);
  solver->setSortedModelComponent(0, "N2");
  solver->setSortedModelComponent(1, "H2O");
  CVLTPort* ports = CVLTPort::newArray(2);
  ports[0].setName("inlet");
  ports[0].setType("Material");
  ports[0].setDirection("CAPE_INLET");
  ports[1].setName("outlet");
  ports[1].setType("Material");
  ports[1].setDirection("CAPE_OUTLET");
  solver->setPorts(2, ports);
  CVLTParameter* parameters = CVLTParameter::newArray(3);
  parameters[0].setName("area");
  parameters[0].setType("CAPE_REAL");
  parameters[1].setName("scheme");
  parameters[1].setType("CAPE_OPTION");
  parameters[1].setNrOptions(2);
  parameters[1].setOption(0, "central");
  parameters[1].setOption(1, "upwind");
  parameters[2].setName("file-system");
  parameters[2].setType("CAPE_OPTION");
  parameters[2].setNrOptions(2);
  parameters[2].setOption(0, "data\\mesh/a.txt");
  parameters[2].setOption(1, "b.bin");
  solver->setParameters(3, parameters);
  solver->addSurface("inlet");
  solver->setNodePositions(0, "0 0 0\n1 0 0\n");
  solver->setGridConnectivity(0, "0 1\n");
  return solver;
}

// The catalogue below "Heat" (depth 3) is the one backed up: the model Shell
// with ports, parameters and species; a solver with a file tree, grid files,
// two reports with their PCA modes, an instance and a precomputed result; and
// a second model Plate with empty texts and lists.
class BackupRoundTrip : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("VLT_ADMIN_PASSWORD", talixdb_test::kAdminPassword, 1);
    s_server = new TestServer();
    s_files = new TempDir();
    const std::string local = s_files->path() + "/solver";
    ASSERT_EQ(::mkdir(local.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((local + "/data").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((local + "/data/mesh").c_str(), 0755), 0);
    writeLocalFile(local + "/data/mesh/a.txt", "mesh text\n");
    writeLocalFile(local + "/b.bin", binaryBytes());

    CVLTDatabase admin;
    ASSERT_TRUE(admin.open(s_server->address().c_str()));
    ASSERT_EQ(admin.createTalixDb(), 0);
    CVLTModel* shell = shellModel();
    ASSERT_EQ(admin.uploadModel("Heat", "Exchangers", shell), 0);
    CVLTModel::deleteObject(shell);
    CVLTModel* plate = CVLTModel::newObject();
    plate->setName("Plate");
    ASSERT_EQ(admin.uploadModel("Heat", "Exchangers", plate), 0);
    CVLTModel::deleteObject(plate);
    CVLTModel* solver = steadySolver(local);
    ASSERT_EQ(admin.importSolver("Heat", "Exchangers", "Shell", solver), 0);
    CVLTModel::deleteObject(solver);
    for (int number = 1; number <= 2; ++number) {
      std::string bytes = report(number == 1 ? "2\n1.2\n1.6\n" : "2\n0\n1\n");
      ASSERT_EQ(admin.uploadSurface(kShell.c_str(), "Steady", "inlet", number, bytes.data(),
                                    static_cast<long>(bytes.size())),
                0);
    }
    int instance = 0;
    ASSERT_EQ(admin.uploadInstance(kShell.c_str(), "Steady", instance, local.c_str()), 0);
    ASSERT_EQ(admin.uploadPreComputedResultsVersion1(kShell.c_str(), "Steady", "precomputed\nblock"), 0);
    ASSERT_EQ(admin.addCategory("Other"), 0);
    admin.logout();  // a user logged in elsewhere is refused a login

    s_original = new Tree(capture(kRoot + "/Heat"));
  }
  static void TearDownTestSuite() {
    delete s_original;
    delete s_files;
    delete s_server;
  }

  void SetUp() override {
    ASSERT_TRUE(m_db.open(s_server->address().c_str()));
    ASSERT_TRUE(m_db.login("root", talixdb_test::kAdminPassword, "Default", 0));
  }
  void TearDown() override { m_db.logout(); }

  // Every object at and below `path`, read through a separate administrator
  // session of the repository client.
  static Tree capture(const std::string& path) {
    const std::string endpoint = s_server->endpoint();
    QuillonBinding binding;
    binding.endpoint = endpoint.c_str();
    CRepositorySession session(&binding);
    CRepositoryClient client(&binding);
    Tree tree;
    EXPECT_TRUE(session.login("root", talixdb_test::kAdminPassword, "Default", 0, 0, true));
    captureInto(client, path, "", tree);
    session.logout();
    return tree;
  }

  static void captureInto(CRepositoryClient& client, const std::string& path, const std::string& relative,
                          Tree& tree) {
    std::unique_ptr<CRepositoryObject> object(client.findByPath(path));
    ASSERT_TRUE(object) << path;
    Snapshot& entry = tree[relative];
    entry.type = object->getTypeName();
    entry.properties = describe(object->object()->properties);
    entry.declarations = describe(object->object()->dynProperties);
    const std::vector<std::string> children = object->getChildNames();
    object->release();
    if (entry.type != "Folder") {
      char* data = nullptr;
      long size = 0;
      ASSERT_FALSE(client.downloadFileToMemory(path, &data, &size).empty()) << path;
      entry.bytes.assign(data, static_cast<size_t>(size));
      delete[] data;
      return;
    }
    for (const std::string& child : children) captureInto(client, path + "/" + child, relative + "/" + child, tree);
  }

  static void expectSameTree(const Tree& expected, const Tree& actual) {
    std::vector<std::string> expectedPaths, actualPaths;
    for (const auto& entry : expected) expectedPaths.push_back(entry.first);
    for (const auto& entry : actual) actualPaths.push_back(entry.first);
    ASSERT_EQ(actualPaths, expectedPaths);
    for (const auto& [path, want] : expected) {
      const Snapshot& got = actual.at(path);
      EXPECT_EQ(got.type, want.type) << path;
      EXPECT_EQ(got.properties, want.properties) << path;
      EXPECT_EQ(got.declarations, want.declarations) << path;
      EXPECT_TRUE(got.bytes == want.bytes) << path << ": file contents differ";
    }
  }

  static TestServer* s_server;
  static TempDir* s_files;
  static Tree* s_original;
  CVLTDatabase m_db;
  TempDir m_local;
};
TestServer* BackupRoundTrip::s_server = nullptr;
TempDir* BackupRoundTrip::s_files = nullptr;
Tree* BackupRoundTrip::s_original = nullptr;

TEST_F(BackupRoundTrip, CapturedCatalogueHoldsEveryKindOfObject) {
  // Guards the comparisons below against a setup that stored less.
  const Tree& tree = *s_original;
  const std::string solver = "/Exchangers/Shell/Solvers/Steady";
  EXPECT_EQ(tree.at(solver + "/FileSystem/b.bin").bytes, binaryBytes());
  EXPECT_EQ(tree.at(solver + "/FileSystem/data/mesh/a.txt").bytes, "mesh text\n");
  EXPECT_EQ(tree.at(solver + "/Grid/NodePositions_inlet.txt").bytes, "0 0 0\n1 0 0\n");
  EXPECT_EQ(tree.count(solver + "/Reports/000000002/inlet"), 1u);
  EXPECT_EQ(tree.count(solver + "/Reports/PcaModes/inlet"), 1u);
  EXPECT_FALSE(tree.at("/Exchangers/Shell").properties.empty());
  EXPECT_FALSE(tree.at("/Exchangers/Shell/Parameters/scheme").properties.empty());
  int instanceFiles = 0, precomputed = 0;
  for (const auto& [path, object] : tree) {
    if (path.rfind(solver + "/Instances/000000001-", 0) == 0 && object.type != "Folder") ++instanceFiles;
    if (path.rfind(solver + "/PreComputedResults v1.0/000000001-", 0) == 0) {
      ++precomputed;
      EXPECT_EQ(object.properties.count("m_szContent"), 1u);
    }
  }
  EXPECT_EQ(instanceFiles, 2);
  EXPECT_EQ(precomputed, 1);
}

TEST_F(BackupRoundTrip, LocalCopyHoldsTheFilesBytesAndOnePropertiesFilePerFolder) {
  const std::string local = m_local.path() + "/heat";
  ASSERT_EQ(m_db.backupTALIXFolder((kRoot + "/Heat").c_str(), local.c_str()), 0);
  const std::string solver = local + "/Exchangers/Shell/Solvers/Steady";
  EXPECT_EQ(readLocalFile(solver + "/FileSystem/b.bin"), binaryBytes());
  EXPECT_EQ(readLocalFile(solver + "/Reports/000000001/inlet"), report("2\n1.2\n1.6\n"));
  const std::string marker = "EF64F6C7-2C4F-4559-9ADF-61B0C85169CF";
  const std::string properties = readLocalFile(solver + "/Grid/TALIX_BackedUp_Properties_" + marker);
  EXPECT_EQ(properties, marker + std::string(1, '\0') + "8" + std::string(1, '\0'));
}

TEST_F(BackupRoundTrip, RestoreElsewhereAtTheSameDepthCopiesEveryObject) {
  const std::string local = m_local.path() + "/heat";
  ASSERT_EQ(m_db.backupTALIXFolder((kRoot + "/Heat").c_str(), local.c_str()), 0);
  ASSERT_EQ(m_db.restoreTALIXFolder((kRoot + "/HeatCopy").c_str(), local.c_str()), 0);
  expectSameTree(*s_original, capture(kRoot + "/HeatCopy"));
  // The source is left as it was.
  expectSameTree(*s_original, capture(kRoot + "/Heat"));
}

TEST_F(BackupRoundTrip, RestoreInPlaceUndoesEveryLaterChange) {
  const std::string local = m_local.path() + "/heat";
  ASSERT_EQ(m_db.backupTALIXFolder((kRoot + "/Heat").c_str(), local.c_str()), 0);
  // Changes after the backup: a new type, a removed file, a replaced report.
  ASSERT_EQ(m_db.addType("Stray", "Heat"), 0);
  ASSERT_TRUE(m_db.clearPcaModes(kShell.c_str(), "Steady") == 0);
  const std::string changed = report("2\n5\n5\n");
  ASSERT_EQ(m_db.uploadSurface(kShell.c_str(), "Steady", "inlet", 1, changed.data(), static_cast<long>(changed.size())),
            0);
  ASSERT_NE(capture(kRoot + "/Heat").size(), s_original->size());

  ASSERT_EQ(m_db.restoreTALIXFolder((kRoot + "/Heat").c_str(), local.c_str()), 0);
  expectSameTree(*s_original, capture(kRoot + "/Heat"));
  EXPECT_TRUE(m_db.checkCategory("Other"));  // the restore stays inside its tree
}

}  // namespace
