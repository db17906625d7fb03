// A catalogue backed up to a local tree and restored, checked object by
// object through the repository client: names, types, every property and
// declaration, and the bytes of every file.
#include <map>

#include "client/ClientTestSupport.h"

namespace talixdb_test {
namespace {

using Tree = std::map<std::string, std::string>;  // by path below the captured folder

class BackupRoundTrip : public ClientTest {
 protected:
  // Every object at and below `path` as a text that reads well in a
  // difference: its type, its values and declarations by name ("m_x type 5
  // list [a][b]"), and a file's bytes.
  Tree capture(const std::string& path, const std::string& relative = "", Tree tree = {}) {
    Object object = find(path);
    EXPECT_TRUE(object) << path;
    if (!object) return tree;
    std::string text = object->getTypeName();
    for (const ns2__SoapVariantMap* map : {object->object()->properties, object->object()->dynProperties}) {
      std::map<std::string, std::string> byName;
      for (const ns2__SoapVariantMapItem* item : map != nullptr ? map->item : std::vector<ns2__SoapVariantMapItem*>{}) {
        std::string& entry = byName[*item->key];
        entry = " type " + std::to_string(item->item->itemType) + (item->item->itemList ? " list" : " single");
        for (const std::string& value : item->item->item) entry += " [" + value + "]";
      }
      for (const auto& [name, entry] : byName) text += "\n" + name + entry;
      text += "\n--";
    }
    if (object->getTypeName() == "Folder") {
      for (const std::string& child : object->getChildNames())
        tree = capture(path + "/" + child, relative + "/" + child, std::move(tree));
    } else {
      char* data = nullptr;
      long size = 0;
      EXPECT_FALSE(client().downloadFileToMemory(path, &data, &size).empty()) << path;
      text += "\n" + std::string(data != nullptr ? data : "", static_cast<size_t>(size));
      delete[] data;
    }
    tree[relative] = text;
    return tree;
  }
};

// Below the test's category (depth 3): the model Shell with ports, parameters
// and species; a solver with a file tree, grid files, two reports with their
// PCA modes, an instance and a precomputed result; a model Plate with empty
// texts and lists.
TEST_F(BackupRoundTrip, RestoreElsewhereOrInPlaceGivesBackEveryObject) {
  const std::string category = std::string(kDatabaseRoot) + "/" + testName(), shell = category + "/Exchangers/Shell";
  TempDir files;
  const std::string binary = testBytes(1000, 3) + std::string("\r\n\0end\0", 7);
  writeLocalFile(files.path() + "/data/mesh/a.txt", "mesh text\n");
  writeLocalFile(files.path() + "/b.bin", binary);
  const std::vector<Port> ports = {{"inlet", "Material", "CAPE_INLET", ""}, {"outlet", "Material", "CAPE_OUTLET", ""}};
  ASSERT_EQ(0, m_db.uploadModel(testName().c_str(), "Exchangers",
                                ModelBuilder("Shell").description("Shell and tube").components({"H2O", "N2"}).ports(ports)
                                    .parameters({{"area", "CAPE_REAL", {}, "0", "100", "", "", "", "12.5"},
                                                 {"scheme", "CAPE_OPTION", {"upwind", "central"}}})
                                    .build().get()));
  ASSERT_EQ(0, m_db.uploadModel(testName().c_str(), "Exchangers", ModelBuilder("Plate").build().get()));
  ASSERT_EQ(0, m_db.importSolver(testName().c_str(), "Exchangers", "Shell",
                                 ModelBuilder("Steady").command("run-steady --fast").localDir(files.path())
                                     .sortedComponents({"N2", "H2O"}).ports(ports)
                                     .parameters({{"area", "CAPE_REAL"}, {"scheme", "CAPE_OPTION", {"central", "upwind"}},
                                                  {"file-system", "CAPE_OPTION", {"data\\mesh/a.txt", "b.bin"}}})
                                     .surface("inlet", "0 0 0\n1 0 0\n", "0 1\n").build().get()));
  for (const auto& [number, body] : {std::make_pair(1, "2\n1.2\n1.6\n"), std::make_pair(2, "2\n0\n1\n")}) {
    const std::string bytes = surfaceReport(body);
    ASSERT_EQ(0, m_db.uploadSurface(shell.c_str(), "Steady", "inlet", number, bytes.data(), static_cast<long>(bytes.size())));
  }
  int instance = 0;
  ASSERT_EQ(0, m_db.uploadInstance(shell.c_str(), "Steady", instance, files.path().c_str()));
  ASSERT_EQ(0, m_db.uploadPreComputedResultsVersion1(shell.c_str(), "Steady", "precomputed\nblock"));
  const std::string outside = testName() + "Other";
  ASSERT_EQ(0, m_db.addCategory(outside.c_str()));
  const Tree original = capture(category);

  EXPECT_EQ(45u, original.size());  // every object above: a guard against a catalogue that stored less

  // The local copy: the files' bytes and one properties file per folder.
  const std::string local = files.path() + "/copy", solver = "/Exchangers/Shell/Solvers/Steady";
  ASSERT_EQ(0, m_db.backupTALIXFolder(category.c_str(), local.c_str()));
  EXPECT_EQ(readLocalFile(local + solver + "/FileSystem/b.bin"), binary);
  EXPECT_EQ(readLocalFile(local + solver + "/Reports/000000001/inlet"), surfaceReport("2\n1.2\n1.6\n"));
  const std::string marker = "EF64F6C7-2C4F-4559-9ADF-61B0C85169CF";
  EXPECT_EQ(readLocalFile(local + solver + "/Grid/TALIX_BackedUp_Properties_" + marker), marker + std::string("\0" "8\0", 3));

  ASSERT_EQ(0, m_db.restoreTALIXFolder((category + "Copy").c_str(), local.c_str()));
  EXPECT_EQ(original, capture(category + "Copy"));
  EXPECT_EQ(original, capture(category));  // the source as it was

  // Changes after the backup (a new type, removed modes, a replaced report)
  // are undone by a restore in place, which stays inside its tree.
  ASSERT_EQ(0, m_db.addType("Stray", testName().c_str()));
  ASSERT_EQ(0, m_db.clearPcaModes(shell.c_str(), "Steady"));
  const std::string changed = surfaceReport("2\n5\n5\n");
  ASSERT_EQ(0, m_db.uploadSurface(shell.c_str(), "Steady", "inlet", 1, changed.data(), static_cast<long>(changed.size())));
  ASSERT_EQ(0, m_db.restoreTALIXFolder(category.c_str(), local.c_str()));
  EXPECT_EQ(original, capture(category));
  EXPECT_TRUE(m_db.checkCategory(outside.c_str()));
}

}  // namespace
}  // namespace talixdb_test
