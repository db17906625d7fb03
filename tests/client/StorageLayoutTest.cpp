// What the catalogue and the results operations store, looked at folder by
// folder through the repository client (property names, kinds and order,
// folder and file names), and folders written by hand, the way another
// client could leave them, read back through the handle.
#include <ctime>

#include "client/ClientTestSupport.h"

namespace talixdb_test {
namespace {

using VLT_121::CVLTModel;
using Values = std::vector<std::pair<std::string, Names>>;

Names concat(Names a, const Names& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class StorageLayout : public ClientTest {
 protected:
  void SetUp() override {
    ClientTest::SetUp();
    m_category = testName();
  }
  std::string modelAt(const std::string& name) const { return modelPath(m_category, "T", name); }
  int upload(ModelPtr model) { return m_db.uploadModel(m_category.c_str(), "T", model.get()); }
  int import(const char* model, ModelPtr solver) {
    return m_db.importSolver(m_category.c_str(), "T", model, solver.get());
  }
  // The folder's declared names, its value names (in stored order) and some values.
  void expectFolder(const std::string& path, const Names& declared, const Names& values, const Values& some = {}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(declared, propertyNames(path, true));
    EXPECT_EQ(values, propertyNames(path));
    for (const auto& [name, items] : some) EXPECT_EQ(items, value(path, name)) << name;
  }
  std::string m_category;
};

TEST_F(StorageLayout, ModelFoldersDeclareThenSetTheirPropertiesInTheirOrders) {
  ModelPtr model = ModelBuilder("Column")
                       .description("two words")
                       .components({"H2O", "CO2", "N2"})
                       .ports({{"feed", "Material", "CAPE_INLET", "the feed"}, {"out", "Material", "CAPE_OUTLET", ""}})
                       .parameters({{"method", "CAPE_OPTION", {"a", "b", "c"}, "", "", "", "", "", "", "true"},
                                    {"tags", "CAPE_OPTION", {}, "", "", "", "", "", "", "true"},
                                    {"t", "CAPE_REAL", {}, "1.5", "9"},
                                    {"n", "CAPE_INT"},
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
               {{"m_szName", {"Column"}},
                {"m_szDescription", {"two words"}},
                {"m_iNrPorts", {"2"}},
                {"m_iNrParameters", {"5"}},
                {"m_iNrComponents", {"3"}},
                {"m_iNrSolvers", {"2"}},
                {"m_aszComponents", {"(list)", "H2O", "CO2", "N2"}}});
  EXPECT_EQ(Names{"User Specified Properties"}, value(path, "m_iNrSolvers", true));
  EXPECT_EQ((Names{"Ports", "Parameters", "Solvers"}), children(path));
  EXPECT_EQ(Names{}, children(path + "/Solvers"));
  const Names port = {"m_szName", "m_szDescription", "m_szType", "m_szDirection"};
  expectFolder(path + "/Ports/feed", port, port,
               {{"m_szName", {"feed"}},
                {"m_szDescription", {"the feed"}},
                {"m_szType", {"Material"}},
                {"m_szDirection", {"CAPE_INLET"}}});
  const Names declared = {"m_szName", "m_szDescription",    "m_szType",
                          "m_szMode", "m_szDimensionality", "m_szDefaultValue"};
  const Names set = {"m_szName", "m_szDescription", "m_szType", "m_szMode", "m_szDefaultValue", "m_szDimensionality"};
  const std::string p = path + "/Parameters/";
  expectFolder(p + "method", concat(declared, {"m_iNrOptions", "m_aszOptions"}),
               concat(set, {"m_iNrOptions", "m_aszOptions"}),
               {{"m_iNrOptions", {"3"}}, {"m_aszOptions", {"(list)", "a", "b", "c"}}});
  expectFolder(p + "tags", concat(declared, {"m_iNrOptions"}), concat(set, {"m_iNrOptions"}),
               {{"m_iNrOptions", {"0"}}});
  expectFolder(p + "t", concat(declared, {"m_szLowerBound", "m_szUpperBound"}),
               concat(set, {"m_szLowerBound", "m_szUpperBound"}),
               {{"m_szLowerBound", {"1.5"}}, {"m_szUpperBound", {"9"}}});
  expectFolder(p + "n", concat(declared, {"m_szLowerBound", "m_szUpperBound"}),
               concat(set, {"m_szLowerBound", "m_szUpperBound"}), {{"m_szLowerBound", {""}}, {"m_szUpperBound", {""}}});
  expectFolder(p + "s", declared, set, {{"m_szType", {"CAPE_STRING"}}});

  // The category and type made on the way are bare folders.
  const std::string category = std::string(kDatabaseRoot) + "/" + m_category;
  for (const std::string& folder : {category, category + "/T"}) {
    EXPECT_EQ("Folder", typeName(folder));
    EXPECT_EQ(Names{}, propertyNames(folder));
  }
  // A model without ports or parameters: empty folders and zero counts.
  ASSERT_EQ(0, upload(ModelBuilder("Bare").build()));
  for (const char* folder : {"/Ports", "/Parameters", "/Solvers"})
    EXPECT_EQ(Names{}, children(modelAt("Bare") + folder));
  for (const auto& [name, items] :
       Values{{"m_iNrPorts", {"0"}}, {"m_iNrParameters", {"0"}}, {"m_aszComponents", {"(list)"}}})
    EXPECT_EQ(items, value(modelAt("Bare"), name)) << name;
  // A second upload of a model only looks.
  const size_t from = logSize();
  EXPECT_EQ(24, upload(ModelBuilder("Bare").ports({{"p", "Material", "CAPE_INLET", ""}}).build()));
  for (const std::string& request : requestsSince(from)) EXPECT_EQ(0u, request.rfind("findByPath ", 0)) << request;
}

TEST_F(StorageLayout, SolverFoldersRecordSurfacesOnlyWhenTheyHaveSomeAndRestrictedOptionLists) {
  ASSERT_EQ(0, upload(ModelBuilder("M").components({"A", "B"}).build()));
  ASSERT_EQ(0, import("M", ModelBuilder("Plain")
                               .command("run")
                               .sortedComponents({"B", "A"})
                               .parameters({{"method", "CAPE_OPTION", {"a", "b"}, "", "", "", "", "", "", "yes"},
                                            {"tags", "CAPE_OPTION", {}, "", "", "", "", "", "", "yes"},
                                            {"t", "CAPE_REAL", {}, "0", "1"}})
                               .build()));
  ASSERT_EQ(
      0,
      import(
          "M",
          ModelBuilder("Surfaced").sortedComponents({"A", "B"}).surface("in", "", "").surface("out", "", "").build()));
  const Names fields = {"m_szName", "m_szDescription", "m_szCommand", "m_aszComponents", "m_aszSortedModelComponents"};
  const std::string solvers = modelAt("M") + "/Solvers/";
  expectFolder(solvers + "Plain", fields, fields,
               {{"m_szCommand", {"run"}},
                {"m_aszComponents", {"(list)", "A", "B"}},
                {"m_aszSortedModelComponents", {"(list)", "B", "A"}}});
  const Names surfaced = concat(fields, {"m_iNrPCASurfaces", "m_aszPCASurfaceNames"});
  expectFolder(solvers + "Surfaced", surfaced, surfaced,
               {{"m_iNrPCASurfaces", {"2"}}, {"m_aszPCASurfaceNames", {"(list)", "in", "out"}}});
  const Names order = {"m_szName", "m_szDescription", "m_szType", "m_szDefaultValue", "m_szMode", "m_szDimensionality"};
  const Names options = concat(order, {"m_iNrOptions", "m_aszOptions", "m_szRestrictedToList"});
  const std::string p = solvers + "Plain/Parameters/";
  expectFolder(p + "method", options, options,
               {{"m_iNrOptions", {"2"}}, {"m_aszOptions", {"(list)", "a", "b"}}, {"m_szRestrictedToList", {"yes"}}});
  EXPECT_EQ(concat(order, {"m_iNrOptions"}), propertyNames(p + "tags", true));
  EXPECT_EQ(concat(order, {"m_szLowerBound", "m_szUpperBound"}), propertyNames(p + "t"));
}

TEST_F(StorageLayout, HandWrittenFoldersAreReadBackWithinTheirCounts) {
  ASSERT_EQ(0, upload(ModelBuilder("M").components({"A", "B", "C"}).build()));
  const std::string type = std::string(kDatabaseRoot) + "/" + m_category + "/T";
  ASSERT_FALSE(makeFolder(type, "Hand", {{"m_szName", "Hand"}, {"m_iNrPorts", "5"}, {"m_iNrParameters", "1"}}).empty());
  for (const auto& [folder, names] :
       std::vector<std::pair<std::string, Names>>{{"Ports", {"a", "b"}}, {"Parameters", {"x", "y"}}}) {
    ASSERT_FALSE(makeFolder(modelAt("Hand"), folder).empty());
    for (const std::string& name : names)
      ASSERT_FALSE(makeFolder(modelAt("Hand") + "/" + folder, name, {{"m_szName", name}}).empty());
  }
  ModelPtr back(m_db.downloadModel(m_category.c_str(), "T", "Hand"));
  ASSERT_NE(nullptr, back);
  EXPECT_EQ((Names{"a", "b"}), portNamesOf(*back));  // five counted, two folders
  EXPECT_EQ((Names{"x"}), parameterNamesOf(*back));  // one counted of two
  EXPECT_EQ(0, back->getNrSolvers());

  const std::string solver = makeFolder(
      modelAt("M") + "/Solvers", "Hand",
      {{"m_szName", "Hand"}, {"m_szDescription", "by hand"}, {"m_szCommand", "go"}, {"m_iNrPCASurfaces", "1"}},
      {{"m_aszComponents", {"A", "B", "C"}}, {"m_aszPCASurfaceNames", {"first", "second"}}});
  ASSERT_FALSE(solver.empty());
  ASSERT_FALSE(makeFolder(solver, "Ports").empty());
  ASSERT_FALSE(makeFolder(solver + "/Ports", "p",
                          {{"m_szName", "p"}, {"m_szType", "Material"}, {"m_szDirection", "CAPE_OUTLET"}})
                   .empty());
  ASSERT_FALSE(makeFolder(solver, "Parameters").empty());
  ASSERT_FALSE(makeFolder(solver + "/Parameters", "k", {{"m_szName", "k"}, {"m_szType", "CAPE_OPTION"}},
                          {{"m_aszOptions", {"u", "v"}}})
                   .empty());
  back.reset(m_db.downloadModel(m_category.c_str(), "T", "M"));
  ASSERT_EQ(1, back->getNrSolvers());
  const CVLTModel& read = back->getSolvers()[0];
  EXPECT_EQ(Names({read.getName(), read.getDescription(), read.getCommand()}), Names({"Hand", "by hand", "go"}));
  EXPECT_EQ((Names{"A", "B", "C"}), componentsOf(read));
  EXPECT_EQ((Names{"A", "B", "C"}),
            listOf(read, &CVLTModel::getNrSortedModelComponents, &CVLTModel::getSortedModelComponent));  // the model's
  EXPECT_EQ((Names{"first"}),
            listOf(read, &CVLTModel::getNrSurfaces, &CVLTModel::getSurfaceName));  // as many as counted
  EXPECT_EQ((Names{"p"}), portNamesOf(read));
  EXPECT_STREQ("CAPE_OUTLET", read.getPorts()[0].getDirection());
  ASSERT_EQ(1, read.getNrParameters());
  EXPECT_EQ((Names{"u", "v"}),
            listOf(read.getParameters()[0], &VLT_121::CVLTParameter::getNrOptions, &VLT_121::CVLTParameter::getOption));
  // exportSolver alone reads what is stored, without the fallback.
  ModelPtr exported(CVLTModel::newObject());
  m_db.exportSolver(exported.get(), m_category.c_str(), "T", "M", "Hand");
  EXPECT_STREQ("go", exported->getCommand());
  EXPECT_EQ(0, exported->getNrSortedModelComponents());
  EXPECT_EQ((Names{"k"}), parameterNamesOf(*exported));
}

// ---- a solver's files and results ----------------------------------------------------

// True when `name` is "%09d-" of `number` followed by a time in [from, to].
::testing::AssertionResult numberedAt(const std::string& name, int number, long long from, long long to) {
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, "%09d-", number);
  const std::string digits = name.substr(std::min<size_t>(10, name.size()));
  const long long time = std::atoll(digits.c_str());
  if (name.compare(0, 10, prefix) != 0 || digits.empty() ||
      digits.find_first_not_of("0123456789") != std::string::npos || time < from || time > to)
    return ::testing::AssertionFailure() << name << " is not " << prefix << " and a time of the upload";
  return ::testing::AssertionSuccess();
}

TEST_F(StorageLayout, FileTreesGridsAndNumberedEntriesHaveTheirNames) {
  TempDir temp;
  const std::string local = temp.path() + "/work";
  for (const char* file : {"/case.cfg", "/data/mesh/a.txt", "/data/mesh/b.txt"}) writeLocalFile(local + file, file);
  ASSERT_EQ(0, upload(ModelBuilder("Host").build()));
  const size_t from = logSize();
  ASSERT_EQ(0, import("Host", ModelBuilder("S")
                                  .localDir(local)
                                  .files({"case.cfg", "data\\mesh/a.txt", "data/mesh\\b.txt"})
                                  .surface("inlet", "n1", "c1")
                                  .surface("wall", "n2", "c2")
                                  .build()));
  const std::string solver = modelAt("Host") + "/Solvers/S";
  const std::string root = solver + "/FileSystem";
  EXPECT_EQ((Names{"case.cfg", "data"}), children(root));
  EXPECT_EQ((Names{"mesh"}), children(root + "/data"));
  EXPECT_EQ((Names{"a.txt", "b.txt"}), children(root + "/data/mesh"));
  EXPECT_EQ(Names({typeName(root + "/data/mesh"), typeName(root + "/case.cfg")}), Names({"Folder", "File"}));
  // The node positions of every surface go before any connectivity.
  EXPECT_EQ((Names{"NodePositions_inlet.txt", "NodePositions_wall.txt", "GridConnectivity_inlet.txt",
                   "GridConnectivity_wall.txt"}),
            children(solver + "/Grid"));
  const Names requests = requestsSince(from);
  EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                          [](const std::string& r) { return r.rfind("uploadFiles ", 0) == 0; }),
            3 + 4);

  const long long before = std::time(nullptr);
  int instance = 0;
  ASSERT_EQ(0, m_db.uploadInstance(modelAt("Host").c_str(), "S", instance, local.c_str()));
  EXPECT_EQ(0, m_db.uploadPreComputedResultsVersion1(modelAt("Host").c_str(), "S", "first block\n1 2 3"));
  EXPECT_EQ(0, m_db.uploadPreComputedResultsVersion1(modelAt("Host").c_str(), "S", "second block"));
  const long long after = std::time(nullptr);
  const Names instances = children(solver + "/Instances");
  ASSERT_EQ(1u, instances.size());
  EXPECT_TRUE(numberedAt(instances[0], 1, before, after));
  EXPECT_EQ((Names{"case.cfg", "data"}), children(solver + "/Instances/" + instances[0]));
  const std::string results = solver + "/PreComputedResults v1.0";
  Names names = children(results);
  ASSERT_EQ(2u, names.size());
  EXPECT_TRUE(numberedAt(names[0], 1, before, after));
  EXPECT_TRUE(numberedAt(names[1], 2, before, after));
  expectFolder(results + "/" + names[0], {"m_szContent"}, {"m_szContent"}, {{"m_szContent", {"first block\n1 2 3"}}});
  EXPECT_EQ(Names{}, children(results + "/" + names[0]));
  // Numbers are read from names made by hand: the first gap is taken.
  for (const char* folder : {"000000002-100", "000000004-100"})
    ASSERT_FALSE(makeFolder(solver + "/Instances", folder).empty());
  ASSERT_FALSE(makeFolder(results, "000000004-7").empty());
  EXPECT_TRUE(m_db.isInstanceUploaded(modelAt("Host").c_str(), "S", 4));
  EXPECT_FALSE(m_db.isInstanceUploaded(modelAt("Host").c_str(), "S", 3));
  instance = 0;
  ASSERT_EQ(0, m_db.uploadInstance(modelAt("Host").c_str(), "S", instance, local.c_str()));
  EXPECT_EQ(3, instance);
  EXPECT_EQ(0, m_db.uploadPreComputedResultsVersion1(modelAt("Host").c_str(), "S", "x"));
  names = children(results);
  ASSERT_EQ(4u, names.size());
  EXPECT_TRUE(numberedAt(names[3], 3, before, std::time(nullptr)));
  EXPECT_EQ(25, m_db.uploadPreComputedResultsVersion1(modelAt("Host").c_str(), "Nobody", "x"));
  EXPECT_FALSE(exists(modelAt("Host") + "/Solvers/Nobody"));

  // A downloaded tree refuses a child whose name holds a backslash (an
  // ordinary character in a repository name).
  AttachedLogger logger(m_db);
  const std::string target = temp.path() + "/out/copy";
  std::filesystem::create_directories(temp.path() + "/out");
  ASSERT_EQ(0, import("Host", ModelBuilder("Odd").localDir(local).files({"case.cfg"}).build()));
  const std::string odd = modelAt("Host") + "/Solvers/Odd/FileSystem";
  ASSERT_FALSE(makeFolder(odd, "a\\b").empty());
  ASSERT_FALSE(client().uploadFile(odd + "/a\\b/inner.txt", "inner", 0).empty());
  int number = 1;  // no instances: the solver's own tree is downloaded
  EXPECT_EQ(28, m_db.downloadInstance(modelAt("Host").c_str(), "Odd", number, target.c_str()));
  EXPECT_EQ(-1, number);
  EXPECT_TRUE(logger.contains("Error accessing " + odd + "/a\\b"));
  EXPECT_EQ((Names{"copy/case.cfg"}), localTree(temp.path() + "/out"));
}

}  // namespace
}  // namespace talixdb_test
