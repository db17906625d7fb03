// The snapshot walk over an in-memory catalogue that records every folder read.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "browse/Snapshot.h"

namespace VLT_121 {
namespace {

using Names = std::vector<std::string>;

// Folders by path; a path not entered reads as missing. Every read is logged
// as one request.
class RecordingReader : public CFolderReader {
 public:
  std::map<std::string, Names> children;
  std::map<std::string, std::string> descriptions;
  std::map<std::string, Names> components;
  Names requests;

  Names readChildNames(const std::string& path) override {
    requests.push_back("children " + path);
    auto found = children.find(path);
    return found == children.end() ? Names{} : found->second;
  }
  std::string readProperty(const std::string& path, const std::string& name) override {
    requests.push_back(name + " " + path);
    auto found = descriptions.find(path);
    return found == descriptions.end() || name != "m_szDescription" ? "" : found->second;
  }
  Names readListProperty(const std::string& path, const std::string& name) override {
    requests.push_back(name + " " + path);
    auto found = components.find(path);
    return found == components.end() || name != "m_aszComponents" ? Names{} : found->second;
  }
};

const std::string kRoot = "/Repository/talixdb";
const std::string kModel = kRoot + "/Cat/Type/M";

// /Cat/Type/M with a description, species, ports, parameters and solver S
// with two instances; the root lists Cat in an unsorted order with Z.
RecordingReader sampleCatalogue() {
  RecordingReader reader;
  reader.children[kRoot] = {"Z", "Cat"};
  reader.children[kRoot + "/Cat"] = {"Type"};
  reader.children[kRoot + "/Cat/Type"] = {"M"};
  reader.descriptions[kModel] = "a model";
  reader.components[kModel] = {"H2O", "N2"};
  reader.children[kModel + "/Ports"] = {"in", "out"};
  reader.children[kModel + "/Parameters"] = {"speed"};
  reader.children[kModel + "/Solvers"] = {"S"};
  reader.children[kModel + "/Solvers/S/Instances"] = {"000000002-7", "000000001-4"};
  return reader;
}

TEST(SnapshotWalk, WithoutDetailsReadsEachFolderOnceInWalkOrder) {
  RecordingReader reader = sampleCatalogue();
  SnapshotTree tree = readSnapshot(reader, kRoot, false);
  EXPECT_EQ(reader.requests,
            (Names{"children " + kRoot, "children " + kRoot + "/Z", "children " + kRoot + "/Cat",
                   "children " + kRoot + "/Cat/Type", "m_szDescription " + kModel,
                   "children " + kModel + "/Solvers", "children " + kModel + "/Solvers/S/Instances"}));
  ASSERT_EQ(tree.size(), 2u);
  const CSnapshotModel& model = tree[1].m_vecTypes[0].m_vecModels[0];
  EXPECT_EQ(model.m_strDescription, "a model");
  EXPECT_TRUE(model.m_vecSpecies.empty());
  EXPECT_TRUE(model.m_vecPorts.empty());
  EXPECT_TRUE(model.m_vecParameters.empty());
}

TEST(SnapshotWalk, WithDetailsReadsSpeciesParametersAndPortsAfterTheDescription) {
  RecordingReader reader = sampleCatalogue();
  readSnapshot(reader, kRoot, true);
  const Names modelReads(reader.requests.begin() + 4, reader.requests.end());
  EXPECT_EQ(modelReads,
            (Names{"m_szDescription " + kModel, "m_aszComponents " + kModel,
                   "children " + kModel + "/Parameters", "children " + kModel + "/Ports",
                   "children " + kModel + "/Solvers", "children " + kModel + "/Solvers/S/Instances"}));
}

TEST(SnapshotWalk, TreeKeepsTheServersOrderAtEveryLevel) {
  RecordingReader reader = sampleCatalogue();
  SnapshotTree tree = readSnapshot(reader, kRoot, true);
  ASSERT_EQ(tree.size(), 2u);
  EXPECT_EQ(tree[0].m_strName, "Z");
  EXPECT_TRUE(tree[0].m_vecTypes.empty());
  const CSnapshotModel& model = tree[1].m_vecTypes[0].m_vecModels[0];
  EXPECT_EQ(model.m_vecSpecies, (Names{"H2O", "N2"}));
  EXPECT_EQ(model.m_vecPorts, (Names{"in", "out"}));
  EXPECT_EQ(model.m_vecParameters, (Names{"speed"}));
  ASSERT_EQ(model.m_vecSolvers.size(), 1u);
  EXPECT_EQ(model.m_vecSolvers[0].m_strName, "S");
  EXPECT_EQ(model.m_vecSolvers[0].m_vecInstances, (Names{"000000002-7", "000000001-4"}));
}

TEST(SnapshotWalk, RequestCountFollowsTheCatalogueSize) {
  // 2 categories x 2 types x 3 models, each model with 2 solvers.
  RecordingReader reader;
  reader.children[kRoot] = {"C0", "C1"};
  for (const std::string c : {"C0", "C1"}) {
    reader.children[kRoot + "/" + c] = {"T0", "T1"};
    for (const std::string t : {"T0", "T1"}) {
      const std::string typePath = kRoot + "/" + c + "/" + t;
      reader.children[typePath] = {"M0", "M1", "M2"};
      for (const std::string m : {"M0", "M1", "M2"})
        reader.children[typePath + "/" + m + "/Solvers"] = {"S0", "S1"};
    }
  }
  const size_t categories = 2, types = 4, models = 12, solvers = 24;
  readSnapshot(reader, kRoot, false);
  EXPECT_EQ(reader.requests.size(), 1 + categories + types + 2 * models + solvers);
  reader.requests.clear();
  readSnapshot(reader, kRoot, true);
  EXPECT_EQ(reader.requests.size(), 1 + categories + types + 5 * models + solvers);
}

TEST(SnapshotWalk, MissingFoldersGiveEmptyListsNotErrors) {
  RecordingReader reader;
  reader.children[kRoot] = {"Cat"};
  reader.children[kRoot + "/Cat"] = {"Type"};
  reader.children[kRoot + "/Cat/Type"] = {"NoSolvers", "Gone"};
  reader.children[kRoot + "/Cat/Type/Gone/Solvers"] = {"S"};  // S has no Instances folder
  SnapshotTree tree = readSnapshot(reader, kRoot, true);
  const std::vector<CSnapshotModel>& models = tree.at(0).m_vecTypes.at(0).m_vecModels;
  ASSERT_EQ(models.size(), 2u);
  EXPECT_TRUE(models[0].m_vecSolvers.empty());
  EXPECT_EQ(models[1].m_strDescription, "");
  ASSERT_EQ(models[1].m_vecSolvers.size(), 1u);
  EXPECT_TRUE(models[1].m_vecSolvers[0].m_vecInstances.empty());
}

TEST(SnapshotWalk, MissingRootGivesAnEmptyTreeAfterOneRequest) {
  RecordingReader reader;
  EXPECT_TRUE(readSnapshot(reader, kRoot, true).empty());
  EXPECT_EQ(reader.requests.size(), 1u);
}

}  // namespace
}  // namespace VLT_121
