// What the catalogue writes, looked at folder by folder through the repository
// client: property names, kinds and order; and folders written by hand, the
// way another client could leave them, read back through the handle.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/StorageTestSupport.h"

using namespace talixdb_test;
using VLT_121::CVLTModel;

namespace {

const Names kSixParameterFields = {"m_szName", "m_szDescription",    "m_szType",
                                   "m_szMode", "m_szDimensionality", "m_szDefaultValue"};

Names concat(Names a, const Names& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class CatalogueStorage : public StorageTest {
 protected:
  void SetUp() override {
    StorageTest::SetUp();
    m_category = testCategory();
  }
  std::string modelAt(const std::string& name) const { return modelPath(m_category, "T", name); }
  std::string m_category;
};

TEST_F(CatalogueStorage, ModelFolderPropertiesAreDeclaredThenSetInTheirOrders) {
  ModelPtr model = ModelBuilder("Column")
                       .description("two words")
                       .components({"H2O", "CO2", "N2"})
                       .ports({{"in", "Material", "CAPE_INLET", ""}, {"out", "Material", "CAPE_OUTLET", ""}})
                       .parameters({Param("p", "CAPE_STRING")})
                       .build();
  model->setSolvers(2, CVLTModel::newArray(2));
  ASSERT_EQ(0, m_db.uploadModel(m_category.c_str(), "T", model.get()));
  const std::string path = modelAt("Column");

  EXPECT_EQ((Names{"m_szName", "m_szDescription", "m_iNrPorts", "m_iNrParameters", "m_iNrComponents", "m_iNrSolvers",
                   "m_aszComponents"}),
            m_repo->declaredNames(path));
  EXPECT_EQ(Names(7, "User Specified Properties"), m_repo->declarationValues(path));
  EXPECT_EQ((Names{"m_szName", "m_szDescription", "m_iNrPorts", "m_iNrParameters", "m_iNrComponents", "m_aszComponents",
                   "m_iNrSolvers"}),
            m_repo->valueNames(path));
  EXPECT_EQ("Column", m_repo->text(path, "m_szName"));
  EXPECT_EQ("two words", m_repo->text(path, "m_szDescription"));
  EXPECT_EQ("2", m_repo->text(path, "m_iNrPorts"));
  EXPECT_EQ("1", m_repo->text(path, "m_iNrParameters"));
  EXPECT_EQ("3", m_repo->text(path, "m_iNrComponents"));
  EXPECT_EQ("2", m_repo->text(path, "m_iNrSolvers"));
  EXPECT_EQ((Names{"H2O", "CO2", "N2"}), m_repo->list(path, "m_aszComponents"));
  EXPECT_EQ((Names{"Ports", "Parameters", "Solvers"}), m_repo->children(path));
  EXPECT_EQ(Names{}, m_repo->children(path + "/Solvers"));
}

TEST_F(CatalogueStorage, CategoryAndTypeMadeOnTheWayAreBareFolders) {
  ModelPtr model = ModelBuilder("M").build();
  ASSERT_EQ(0, m_db.uploadModel(m_category.c_str(), "T", model.get()));
  const std::string category = std::string(kDatabaseRoot) + "/" + m_category;
  EXPECT_EQ("Folder", m_repo->typeName(category));
  EXPECT_EQ(Names{}, m_repo->valueNames(category));
  EXPECT_EQ((Names{"T"}), m_repo->children(category));
  EXPECT_EQ("Folder", m_repo->typeName(category + "/T"));
  EXPECT_EQ(Names{}, m_repo->valueNames(category + "/T"));
  EXPECT_EQ((Names{"M"}), m_repo->children(category + "/T"));
}

TEST_F(CatalogueStorage, ModelWithoutPortsOrParametersHasEmptyFoldersAndZeroCounts) {
  ModelPtr model = ModelBuilder("Bare").build();
  ASSERT_EQ(0, m_db.uploadModel(m_category.c_str(), "T", model.get()));
  const std::string path = modelAt("Bare");
  EXPECT_EQ((Names{"Ports", "Parameters", "Solvers"}), m_repo->children(path));
  for (const char* folder : {"/Ports", "/Parameters", "/Solvers"}) {
    EXPECT_EQ(Names{}, m_repo->children(path + folder));
    EXPECT_EQ(Names{}, m_repo->valueNames(path + folder));
  }
  EXPECT_EQ("0", m_repo->text(path, "m_iNrPorts"));
  EXPECT_EQ("0", m_repo->text(path, "m_iNrParameters"));
  EXPECT_EQ("0", m_repo->text(path, "m_iNrComponents"));
  EXPECT_EQ(Names{}, m_repo->list(path, "m_aszComponents"));
}

TEST_F(CatalogueStorage, SecondUploadWritesNothing) {
  ModelPtr model = ModelBuilder("Once").build();
  ASSERT_EQ(0, m_db.uploadModel(m_category.c_str(), "T", model.get()));
  const size_t from = logSize();
  ModelPtr again = ModelBuilder("Once").ports({{"p", "Material", "CAPE_INLET", ""}}).build();
  EXPECT_EQ(24, m_db.uploadModel(m_category.c_str(), "T", again.get()));
  for (const std::string& request : requestsSince(from)) EXPECT_EQ(0u, request.rfind("findByPath ", 0)) << request;
  EXPECT_EQ(Names{}, m_repo->children(modelAt("Once") + "/Ports"));
}

TEST_F(CatalogueStorage, PortFoldersCarryFourTexts) {
  ModelPtr model = ModelBuilder("M").ports({{"feed", "Material", "CAPE_INLET", "the feed"}}).build();
  ASSERT_EQ(0, m_db.uploadModel(m_category.c_str(), "T", model.get()));
  const std::string port = modelAt("M") + "/Ports/feed";
  const Names fields = {"m_szName", "m_szDescription", "m_szType", "m_szDirection"};
  EXPECT_EQ(fields, m_repo->declaredNames(port));
  EXPECT_EQ(fields, m_repo->valueNames(port));
  EXPECT_EQ("feed", m_repo->text(port, "m_szName"));
  EXPECT_EQ("the feed", m_repo->text(port, "m_szDescription"));
  EXPECT_EQ("Material", m_repo->text(port, "m_szType"));
  EXPECT_EQ("CAPE_INLET", m_repo->text(port, "m_szDirection"));
}

TEST_F(CatalogueStorage, ModelParameterFoldersCarryWhatTheirTypeNeeds) {
  ModelPtr model = ModelBuilder("M")
                       .parameters({
                           Param("method", "CAPE_OPTION").withOptions({"a", "b", "c"}).restrictedTo("true"),
                           Param("tags", "CAPE_OPTION").restrictedTo("true"),
                           Param("t", "CAPE_REAL").withBounds("1.5", "9"),
                           Param("n", "CAPE_INT"),
                           Param("s", "CAPE_STRING").withBounds("1", "2").withOptions({"x"}),
                       })
                       .build();
  ASSERT_EQ(0, m_db.uploadModel(m_category.c_str(), "T", model.get()));
  const std::string parameters = modelAt("M") + "/Parameters/";
  const Names valueOrder = {"m_szName", "m_szDescription",  "m_szType",
                            "m_szMode", "m_szDefaultValue", "m_szDimensionality"};

  const std::string method = parameters + "method";
  EXPECT_EQ(concat(kSixParameterFields, {"m_iNrOptions", "m_aszOptions"}), m_repo->declaredNames(method));
  EXPECT_EQ(concat(valueOrder, {"m_iNrOptions", "m_aszOptions"}), m_repo->valueNames(method));
  EXPECT_EQ("3", m_repo->text(method, "m_iNrOptions"));
  EXPECT_EQ((Names{"a", "b", "c"}), m_repo->list(method, "m_aszOptions"));

  const std::string tags = parameters + "tags";
  EXPECT_EQ(concat(kSixParameterFields, {"m_iNrOptions"}), m_repo->declaredNames(tags));
  EXPECT_EQ("0", m_repo->text(tags, "m_iNrOptions"));
  EXPECT_EQ((Names{"(absent)"}), m_repo->list(tags, "m_aszOptions"));

  const std::string t = parameters + "t";
  EXPECT_EQ(concat(kSixParameterFields, {"m_szLowerBound", "m_szUpperBound"}), m_repo->declaredNames(t));
  EXPECT_EQ(concat(valueOrder, {"m_szLowerBound", "m_szUpperBound"}), m_repo->valueNames(t));
  EXPECT_EQ("1.5", m_repo->text(t, "m_szLowerBound"));
  EXPECT_EQ("9", m_repo->text(t, "m_szUpperBound"));

  // Bounds are written for CAPE_INT even when empty.
  EXPECT_EQ("", m_repo->text(parameters + "n", "m_szLowerBound"));
  EXPECT_EQ("", m_repo->text(parameters + "n", "m_szUpperBound"));

  EXPECT_EQ(kSixParameterFields, m_repo->declaredNames(parameters + "s"));
  EXPECT_EQ(valueOrder, m_repo->valueNames(parameters + "s"));
  EXPECT_EQ("CAPE_STRING", m_repo->text(parameters + "s", "m_szType"));
}

TEST_F(CatalogueStorage, SolverParameterFoldersAddTheRestrictionToOptionLists) {
  ModelPtr model = ModelBuilder("M").build();
  ASSERT_EQ(0, m_db.uploadModel(m_category.c_str(), "T", model.get()));
  ModelPtr solver = ModelBuilder("S")
                        .parameters({
                            Param("method", "CAPE_OPTION").withOptions({"a", "b"}).restrictedTo("yes"),
                            Param("tags", "CAPE_OPTION").restrictedTo("yes"),
                            Param("t", "CAPE_REAL").withBounds("0", "1"),
                        })
                        .build();
  ASSERT_EQ(0, m_db.importSolver(m_category.c_str(), "T", "M", solver.get()));
  const std::string parameters = modelAt("M") + "/Solvers/S/Parameters/";
  const Names solverOrder = {"m_szName",         "m_szDescription", "m_szType",
                             "m_szDefaultValue", "m_szMode",        "m_szDimensionality"};

  const std::string method = parameters + "method";
  const Names optionFields = concat(solverOrder, {"m_iNrOptions", "m_aszOptions", "m_szRestrictedToList"});
  EXPECT_EQ(optionFields, m_repo->declaredNames(method));
  EXPECT_EQ(optionFields, m_repo->valueNames(method));
  EXPECT_EQ("2", m_repo->text(method, "m_iNrOptions"));
  EXPECT_EQ((Names{"a", "b"}), m_repo->list(method, "m_aszOptions"));
  EXPECT_EQ("yes", m_repo->text(method, "m_szRestrictedToList"));

  EXPECT_EQ(concat(solverOrder, {"m_iNrOptions"}), m_repo->declaredNames(parameters + "tags"));
  EXPECT_EQ(concat(solverOrder, {"m_szLowerBound", "m_szUpperBound"}), m_repo->valueNames(parameters + "t"));
}

TEST_F(CatalogueStorage, SolverFolderRecordsSurfacesOnlyWhenItHasSome) {
  ModelPtr model = ModelBuilder("M").components({"A", "B"}).build();
  ASSERT_EQ(0, m_db.uploadModel(m_category.c_str(), "T", model.get()));
  ModelPtr plain = ModelBuilder("Plain").command("run").sortedComponents({"B", "A"}).build();
  ASSERT_EQ(0, m_db.importSolver(m_category.c_str(), "T", "M", plain.get()));
  ModelPtr surfaces =
      ModelBuilder("Surfaced").sortedComponents({"A", "B"}).surface("in", "", "").surface("out", "", "").build();
  ASSERT_EQ(0, m_db.importSolver(m_category.c_str(), "T", "M", surfaces.get()));

  const Names fields = {"m_szName", "m_szDescription", "m_szCommand", "m_aszComponents", "m_aszSortedModelComponents"};
  const std::string plainPath = modelAt("M") + "/Solvers/Plain";
  EXPECT_EQ(fields, m_repo->declaredNames(plainPath));
  EXPECT_EQ(fields, m_repo->valueNames(plainPath));
  EXPECT_EQ("run", m_repo->text(plainPath, "m_szCommand"));
  EXPECT_EQ((Names{"A", "B"}), m_repo->list(plainPath, "m_aszComponents"));
  EXPECT_EQ((Names{"B", "A"}), m_repo->list(plainPath, "m_aszSortedModelComponents"));

  const std::string surfacedPath = modelAt("M") + "/Solvers/Surfaced";
  const Names withSurfaces = concat(fields, {"m_iNrPCASurfaces", "m_aszPCASurfaceNames"});
  EXPECT_EQ(withSurfaces, m_repo->declaredNames(surfacedPath));
  EXPECT_EQ(withSurfaces, m_repo->valueNames(surfacedPath));
  EXPECT_EQ("2", m_repo->text(surfacedPath, "m_iNrPCASurfaces"));
  EXPECT_EQ((Names{"in", "out"}), m_repo->list(surfacedPath, "m_aszPCASurfaceNames"));
}

// ---- folders written by hand, read back through the handle ----------------------------

TEST_F(CatalogueStorage, StoredCountsNeverRunPastTheFolders) {
  const std::string typePath = std::string(kDatabaseRoot) + "/" + m_category + "/T";
  ASSERT_EQ(0, m_db.addCategory(m_category.c_str()));
  ASSERT_EQ(0, m_db.addType("T", m_category.c_str()));
  const std::string path =
      m_repo->makeFolder(typePath, "Hand", {{"m_szName", "Hand"}, {"m_iNrPorts", "5"}, {"m_iNrParameters", "1"}});
  ASSERT_FALSE(path.empty());
  ASSERT_FALSE(m_repo->makeFolder(path, "Ports").empty());
  ASSERT_FALSE(m_repo->makeFolder(path + "/Ports", "a", {{"m_szName", "a"}}).empty());
  ASSERT_FALSE(m_repo->makeFolder(path + "/Ports", "b", {{"m_szName", "b"}}).empty());
  ASSERT_FALSE(m_repo->makeFolder(path, "Parameters").empty());
  ASSERT_FALSE(m_repo->makeFolder(path + "/Parameters", "x", {{"m_szName", "x"}}).empty());
  ASSERT_FALSE(m_repo->makeFolder(path + "/Parameters", "y", {{"m_szName", "y"}}).empty());

  ModelPtr back(m_db.downloadModel(m_category.c_str(), "T", "Hand"));
  ASSERT_NE(nullptr, back);
  // Five ports counted, two folders: two ports. One parameter counted of two.
  EXPECT_EQ((Names{"a", "b"}), portNamesOf(*back));
  EXPECT_EQ((Names{"x"}), parameterNamesOf(*back));
  EXPECT_EQ(0, back->getNrSolvers());
}

TEST_F(CatalogueStorage, HandWrittenSolverIsReadBackWithTheModelsComponentsAsFallback) {
  ModelPtr model = ModelBuilder("M").components({"A", "B", "C"}).build();
  ASSERT_EQ(0, m_db.uploadModel(m_category.c_str(), "T", model.get()));
  const std::string solvers = modelAt("M") + "/Solvers";
  const std::string solver = m_repo->makeFolder(
      solvers, "Hand",
      {{"m_szName", "Hand"}, {"m_szDescription", "by hand"}, {"m_szCommand", "go"}, {"m_iNrPCASurfaces", "1"}},
      {{"m_aszComponents", {"A", "B", "C"}}, {"m_aszPCASurfaceNames", {"first", "second"}}});
  ASSERT_FALSE(solver.empty());
  ASSERT_FALSE(m_repo->makeFolder(solver, "Ports").empty());
  ASSERT_FALSE(m_repo
                   ->makeFolder(solver + "/Ports", "p",
                                {{"m_szName", "p"}, {"m_szType", "Material"}, {"m_szDirection", "CAPE_OUTLET"}})
                   .empty());
  ASSERT_FALSE(m_repo->makeFolder(solver, "Parameters").empty());
  ASSERT_FALSE(m_repo
                   ->makeFolder(solver + "/Parameters", "k", {{"m_szName", "k"}, {"m_szType", "CAPE_OPTION"}},
                                {{"m_aszOptions", {"u", "v"}}})
                   .empty());

  ModelPtr back(m_db.downloadModel(m_category.c_str(), "T", "M"));
  ASSERT_NE(nullptr, back);
  ASSERT_EQ(1, back->getNrSolvers());
  const CVLTModel& read = back->getSolvers()[0];
  EXPECT_STREQ("Hand", read.getName());
  EXPECT_STREQ("by hand", read.getDescription());
  EXPECT_STREQ("go", read.getCommand());
  EXPECT_EQ((Names{"A", "B", "C"}), componentsOf(read));
  EXPECT_EQ((Names{"A", "B", "C"}), sortedComponentsOf(read));  // no stored list: the model's
  EXPECT_EQ((Names{"first"}), surfacesOf(read));                // as many as the stored count
  EXPECT_EQ((Names{"p"}), portNamesOf(read));
  EXPECT_STREQ("CAPE_OUTLET", read.getPorts()[0].getDirection());
  ASSERT_EQ(1, read.getNrParameters());
  EXPECT_EQ((Names{"u", "v"}), optionsOf(read.getParameters()[0]));

  // exportSolver alone reads what is stored, without the fallback.
  ModelPtr exported(CVLTModel::newObject());
  m_db.exportSolver(exported.get(), m_category.c_str(), "T", "M", "Hand");
  EXPECT_STREQ("go", exported->getCommand());
  EXPECT_EQ(0, exported->getNrSortedModelComponents());
  EXPECT_EQ((Names{"p"}), portNamesOf(*exported));
  EXPECT_EQ((Names{"k"}), parameterNamesOf(*exported));
}

}  // namespace
