// What the catalogue and the results operations store, looked at folder by
// folder through the repository client (declared and set property names in
// their orders, the counts the readers go by, folder and file names; the
// values the handle reads back are compared in tests/api), and folders
// written by hand, as another client could leave them, read back through the handle.
#include "client/ClientTestSupport.h"

namespace talixdb_test {
namespace {

using VLT_121::CVLTModel;

Names concat(Names a, const Names& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class StorageLayout : public ClientTest {
 protected:
  std::string typeAt() const { return std::string(kDatabaseRoot) + "/" + testName() + "/T"; }
  std::string modelAt(const std::string& name) const { return typeAt() + "/" + name; }
  int upload(ModelPtr model) { return m_db.uploadModel(testName().c_str(), "T", model.get()); }
  int import(const char* model, ModelPtr solver) { return m_db.importSolver(testName().c_str(), "T", model, solver.get()); }
  // The folder's declared names, its value names (in stored order) and some values.
  void expectFolder(const std::string& path, const Names& declared, const Names& values, const Values& some = {}) {
    SCOPED_TRACE(path);
    const auto names = [](const Values& list) {
      Names names;
      for (const auto& entry : list) names.push_back(entry.first);
      return names;
    };
    EXPECT_EQ(declared, names(stored(path, true)));
    const Values all = stored(path);
    EXPECT_EQ(values, names(all));
    for (const auto& entry : some) EXPECT_NE(all.end(), std::find(all.begin(), all.end(), entry)) << entry.first;
  }
};

TEST_F(StorageLayout, ModelAndSolverFoldersDeclareThenSetTheirPropertiesInTheirOrders) {
  ModelPtr model = ModelBuilder("Column")
                       .components({"H2O", "CO2", "N2"})
                       .ports({{"feed", "Material", "CAPE_INLET", "the feed"}, {"out", "Material", "CAPE_OUTLET", ""}})
                       .parameters({{"method", "CAPE_OPTION", {"a", "b", "c"}, "", "", "", "", "", "", "true"},
                                    {"tags", "CAPE_OPTION", {}, "", "", "", "", "", "", "true"},
                                    {"t", "CAPE_REAL", {}, "1.5", "9"},
                                    {"s", "CAPE_STRING", {"x"}, "1", "2"}})
                       .build();
  model->setSolvers(2, CVLTModel::newArray(2));
  ASSERT_EQ(0, upload(std::move(model)));
  const std::string path = modelAt("Column");
  expectFolder(path,
               {"m_szName", "m_szDescription", "m_iNrPorts", "m_iNrParameters", "m_iNrComponents", "m_iNrSolvers",
                "m_aszComponents"},
               {"m_szName", "m_szDescription", "m_iNrPorts", "m_iNrParameters", "m_iNrComponents", "m_aszComponents",
                "m_iNrSolvers"},
               {{"m_iNrPorts", {"2"}}, {"m_iNrParameters", {"4"}}, {"m_iNrComponents", {"3"}},
                {"m_iNrSolvers", {"2"}}});
  EXPECT_EQ((Names{"Ports", "Parameters", "Solvers"}), children(path));
  EXPECT_EQ(Names{}, children(path + "/Solvers"));
  const Names port = {"m_szName", "m_szDescription", "m_szType", "m_szDirection"};
  expectFolder(path + "/Ports/feed", port, port);
  const Names declared = {"m_szName", "m_szDescription", "m_szType", "m_szMode", "m_szDimensionality", "m_szDefaultValue"};
  const Names set = {"m_szName", "m_szDescription", "m_szType", "m_szMode", "m_szDefaultValue", "m_szDimensionality"};
  const Names options = {"m_iNrOptions", "m_aszOptions"}, bounds = {"m_szLowerBound", "m_szUpperBound"};
  const std::string p = path + "/Parameters/";
  expectFolder(p + "method", concat(declared, options), concat(set, options), {{"m_iNrOptions", {"3"}}});
  expectFolder(p + "tags", concat(declared, {"m_iNrOptions"}), concat(set, {"m_iNrOptions"}), {{"m_iNrOptions", {"0"}}});
  expectFolder(p + "t", concat(declared, bounds), concat(set, bounds));
  expectFolder(p + "s", declared, set);
  // A second upload of a model only looks.
  const size_t from = logSize();
  EXPECT_EQ(24, upload(ModelBuilder("Column").ports({{"p", "Material", "CAPE_INLET", ""}}).build()));
  for (const std::string& request : requestsSince(from)) EXPECT_EQ(0u, request.rfind("findByPath ", 0)) << request;

  // Solvers record their surfaces only when they have some; option lists say
  // whether they are restricted; the order of the fields is another one (the
  // rest of a parameter is written as for a model).
  ASSERT_EQ(0, upload(ModelBuilder("M").components({"H2O", "CO2", "N2"}).build()));
  ASSERT_EQ(0, import("M", ModelBuilder("Plain").sortedComponents({"N2", "H2O", "CO2"})
                                    .parameters({{"method", "CAPE_OPTION", {"a", "b"}, "", "", "", "", "", "", "yes"}})
                                    .build()));
  ASSERT_EQ(0, import("M", ModelBuilder("Surfaced").sortedComponents({"H2O", "CO2", "N2"}).surface("in", "", "")
                               .surface("out", "", "").build()));
  const Names fields = {"m_szName", "m_szDescription", "m_szCommand", "m_aszComponents", "m_aszSortedModelComponents"};
  const std::string solvers = modelAt("M") + "/Solvers/";
  expectFolder(solvers + "Plain", fields, fields);
  const Names surfaced = concat(fields, {"m_iNrPCASurfaces", "m_aszPCASurfaceNames"});
  expectFolder(solvers + "Surfaced", surfaced, surfaced, {{"m_iNrPCASurfaces", {"2"}}});
  const Names order = {"m_szName", "m_szDescription", "m_szType", "m_szDefaultValue", "m_szMode", "m_szDimensionality"};
  const Names restricted = concat(order, {"m_iNrOptions", "m_aszOptions", "m_szRestrictedToList"});
  expectFolder(solvers + "Plain/Parameters/method", restricted, restricted, {{"m_szRestrictedToList", {"yes"}}});
}

// Set-up folders are checked by what is read back.
TEST_F(StorageLayout, HandWrittenFoldersAreReadBackWithinTheirCounts) {
  ASSERT_EQ(0, upload(ModelBuilder("M").components({"A", "B", "C"}).build()));
  const std::string hand =
      makeFolder(typeAt(), "Hand", {{"m_szName", {"Hand"}}, {"m_iNrPorts", {"5"}}, {"m_iNrParameters", {"1"}}});
  for (const auto& [folder, names] : std::vector<std::pair<std::string, Names>>{{"Ports", {"a", "b"}}, {"Parameters", {"x", "y"}}}) {
    makeFolder(hand, folder);
    for (const std::string& name : names) makeFolder(hand + "/" + folder, name, {{"m_szName", {name}}});
  }
  ModelPtr back(m_db.downloadModel(testName().c_str(), "T", "Hand"));
  EXPECT_EQ(describe(ModelBuilder("Hand").ports({{"a", "", "", ""}, {"b", "", "", ""}}).parameters({{"x", ""}})
                         .build()),
            describe(back));  // five ports counted of two folders, one parameter of two

  const std::string solver =
      makeFolder(modelAt("M") + "/Solvers", "Hand",
                 {{"m_szName", {"Hand"}}, {"m_szDescription", {"by hand"}}, {"m_szCommand", {"go"}},
                  {"m_iNrPCASurfaces", {"1"}}, {"m_aszComponents", {"A", "B", "C"}},
                  {"m_aszPCASurfaceNames", {"first", "second"}}});
  makeFolder(solver, "Ports");
  makeFolder(solver + "/Ports", "p",
             {{"m_szName", {"p"}}, {"m_szType", {"Material"}}, {"m_szDirection", {"CAPE_OUTLET"}}});
  makeFolder(solver, "Parameters");
  makeFolder(solver + "/Parameters", "k",
             {{"m_szName", {"k"}}, {"m_szType", {"CAPE_OPTION"}}, {"m_aszOptions", {"u", "v"}}});
  back.reset(m_db.downloadModel(testName().c_str(), "T", "M"));
  ASSERT_EQ(1, back->getNrSolvers());
  const auto solverHand = [](const Names& sorted) {  // as many surfaces as counted
    return describe(ModelBuilder("Hand").description("by hand").command("go").components({"A", "B", "C"})
                        .sortedComponents(sorted).surface("first", "", "").ports({{"p", "Material", "CAPE_OUTLET", ""}})
                        .parameters({{"k", "CAPE_OPTION", {"u", "v"}}}).build());
  };
  EXPECT_EQ(solverHand({"A", "B", "C"}), describe(back->getSolvers()[0]));  // the sorted components are the model's
  ModelPtr exported(CVLTModel::newObject());
  m_db.exportSolver(exported.get(), testName().c_str(), "T", "M", "Hand");
  EXPECT_EQ(solverHand({}), describe(*exported));  // exportSolver alone reads what is stored, without the fallback
}

// The grid files (node positions before connectivity) and a precomputed
// result's value; a downloaded tree refuses a child whose name holds a
// backslash (an ordinary character in a repository name). The names of
// numbered entries are shown through the handle and by the backup test.
TEST_F(StorageLayout, GridsResultsAndDownloadedTreesHaveTheirNames) {
  TempDir temp;
  writeLocalFile(temp.path() + "/work/case.cfg", "case");
  ASSERT_EQ(0, upload(ModelBuilder("Host").build()));
  ASSERT_EQ(0, import("Host", ModelBuilder("S").surface("inlet", "n1", "c1").surface("wall", "n2", "c2").build()));
  const std::string solver = modelAt("Host") + "/Solvers/S";
  EXPECT_EQ((Names{"NodePositions_inlet.txt", "NodePositions_wall.txt", "GridConnectivity_inlet.txt",
                   "GridConnectivity_wall.txt"}),
            children(solver + "/Grid"));
  EXPECT_EQ(0, m_db.uploadPreComputedResultsVersion1(modelAt("Host").c_str(), "S", "first block\n1 2 3"));
  const std::string results = solver + "/PreComputedResults v1.0";
  ASSERT_EQ(1u, children(results).size());
  EXPECT_EQ((Values{{"m_szContent", {"first block\n1 2 3"}}}), stored(results + "/" + children(results)[0]));
  EXPECT_EQ(25, m_db.uploadPreComputedResultsVersion1(modelAt("Host").c_str(), "Nobody", "x"));
  EXPECT_FALSE(exists(modelAt("Host") + "/Solvers/Nobody"));

  AttachedLogger logger(m_db);
  std::filesystem::create_directories(temp.path() + "/out");
  ASSERT_EQ(0, import("Host", ModelBuilder("Odd").localDir(temp.path() + "/work").files({"case.cfg"}).build()));
  const std::string odd = modelAt("Host") + "/Solvers/Odd/FileSystem";
  makeFolder(odd, "a\\b");
  ASSERT_FALSE(client().uploadFile(odd + "/a\\b/inner.txt", "inner", 0).empty());
  int number = 1;  // no instances: the solver's own tree is downloaded
  EXPECT_EQ(28, m_db.downloadInstance(modelAt("Host").c_str(), "Odd", number, (temp.path() + "/out/copy").c_str()));
  EXPECT_EQ(-1, number);
  EXPECT_TRUE(logger.contains("Error accessing " + odd + "/a\\b"));
  EXPECT_EQ((Names{"copy/case.cfg"}), localTree(temp.path() + "/out"));
}

}  // namespace
}  // namespace talixdb_test
