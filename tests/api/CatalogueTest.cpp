// The catalogue through the public handle against the real server (the
// database root made or missing: AdminTest.cpp): categories, types and
// deleting by path; models and solvers stored and read back; every refusal of
// importSolver and checkModelCompatibility; a solver's files and grids.
#include <sys/stat.h>

#include <functional>
#include <tuple>

#include "api/ApiTestSupport.h"

using namespace talixdb_test;
using VLT_121::CVLTDatabase;
using VLT_121::CVLTModel;

namespace {

class Catalogue : public RootSession {
 protected:
  void SetUp() override {
    RootSession::SetUp();
    m_category = testName();
  }
  const char* category() const { return m_category.c_str(); }
  ModelPtr download(const char* model, const char* type = "T") {
    return ModelPtr(m_db.downloadModel(category(), type, model));
  }
  std::string m_category;
};

TEST_F(Catalogue, CategoriesTypesAndDeletingByPath) {
  EXPECT_TRUE(!m_db.checkCategory(category()) && m_db.addType("Pumps", category()) == 3);  // no category yet
  EXPECT_TRUE(m_db.addCategory(category()) == 0 && m_db.checkCategory(category()));
  EXPECT_TRUE(!m_db.checkType("Pumps", category()) && m_db.addType("Pumps", category()) == 0);
  EXPECT_TRUE(m_db.checkType("Pumps", category()) && !m_db.checkType(category(), "Pumps"));  // the type comes first
  const std::string path = std::string(kDatabaseRoot) + "/" + m_category;
  EXPECT_TRUE(!m_db.deleteItem(path.c_str()) && m_db.checkCategory(category()));  // without a logger, kept
  AttachedLogger logger(m_db);
  EXPECT_TRUE(m_db.deleteItem(path.c_str()) && !m_db.checkCategory(category()) && !m_db.deleteItem(path.c_str()));
  EXPECT_EQ(logger.texts(0), (Names{path + " has  been deleted.", path + " has not been deleted."}));
}

const std::vector<Port> kPorts = {{"feed", "Material", "CAPE_INLET", "liquid feed"},
                                  {"product", "Material", "CAPE_OUTLET", "top product"},
                                  {"duty", "Energy", "CAPE_INLET", ""}};
// One parameter of every kind the catalogue treats apart.
const std::vector<Param> kParameters = {
    {"method", "CAPE_OPTION", {"NRTL", "UNIQUAC", "Wilson"}, "", "", "property method", "input", "", "NRTL"},
    {"tags", "CAPE_OPTION", {}, "", "", "free tags", "input", "", ""},
    {"temperature", "CAPE_REAL", {}, "273.15", "473.15", "top temperature", "input", "1", "298.15"},
    {"pressure", "CAPE_REAL", {}, "", "", "top pressure", "output", "1", "101325"},
    {"stages", "CAPE_INT", {}, "1", "60", "number of stages", "input", "0", "12"},
    {"label", "CAPE_STRING", {}, "", "", "a label", "input", "", "column 1"}};
const Names kSpecies = {"H2O", "CH3OH", "C2H5OH"};

ModelBuilder column(const std::string& name) {
  return std::move(
      ModelBuilder(name).description("with reboiler").components(kSpecies).ports(kPorts).parameters(kParameters));
}

TEST_F(Catalogue, ModelsAndSolversComeBackFieldByField) {
  ASSERT_EQ(0, m_db.uploadModel(category(), "Separators", column("Column").build().get()));
  EXPECT_TRUE(m_db.checkType("Separators", category()));  // made on the way
  EXPECT_EQ(describe(column("Column").build()), describe(download("Column", "Separators")));
  EXPECT_EQ(24, m_db.uploadModel(category(), "Separators", ModelBuilder("Column").build().get()));
  EXPECT_EQ(describe(column("Column").build()), describe(download("Column", "Separators")));
  EXPECT_EQ(nullptr, download("Nothing"));
  // Options and bounds come back only for the types that have them.
  const std::vector<Param> odd = {{"label", "CAPE_STRING", {"a", "b"}, "0", "1"},
                                  {"count", "CAPE_INT", {"x"}, "2", "9"},
                                  {"choice", "CAPE_OPTION", {"p", "q"}, "0", "1"}};
  ASSERT_EQ(0, m_db.uploadModel(category(), "T", ModelBuilder("Odd").parameters(odd).build().get()));
  const std::vector<Param> kept = {
      {"label", "CAPE_STRING"}, {"count", "CAPE_INT", {}, "2", "9"}, {"choice", "CAPE_OPTION", {"p", "q"}}};
  EXPECT_EQ(describe(ModelBuilder("Odd").parameters(kept).build()), describe(download("Odd")));

  ModelPtr solver = column("Rigorous").description("rigorous solver").command("colsolve --steady")
                        .sortedComponents({"C2H5OH", "CH3OH", "H2O"}).surface("inlet", "0 0 0\n", "1 2 3\n")
                        .surface("wall", "1 1 1\n", "3 2 1\n").build();
  ASSERT_EQ(0, m_db.uploadModel(category(), "T", column("Column").build().get()));
  ASSERT_EQ(0, m_db.importSolver(category(), "T", "Column", solver.get()));
  ModelPtr withSolver = column("Column").build();
  withSolver->setSolvers(1, CVLTModel::newArray(1));
  m_db.exportSolver(&withSolver->getSolvers()[0], category(), "T", "Column", "Rigorous");
  EXPECT_EQ(describe(*solver), describe(withSolver->getSolvers()[0]));
  EXPECT_EQ(describe(withSolver), describe(download("Column")));
  m_db.exportSolver(solver.get(), category(), "T", "Column", "Nobody");  // leaves the object as it was
  EXPECT_EQ(describe(withSolver->getSolvers()[0]), describe(*solver));
}

// A refused folder ends the upload with its code; what was made stays, and
// never more ports or parameters are counted than have folders.
TEST_F(Catalogue, RefusedFoldersGiveTheirCodes) {
  EXPECT_EQ(4, m_db.uploadModel(category(), "bad/type", ModelBuilder("M").build().get()));
  EXPECT_TRUE(m_db.checkCategory(category()));
  EXPECT_EQ(nullptr, download("M", "bad/type"));
  const std::vector<Port> ports = {{"in", "Material", "CAPE_INLET", ""}, {"out/bad", "Material", "CAPE_OUTLET", ""}};
  const std::vector<Param> parameters = {{"ratio", "CAPE_REAL"}, {"mode", "CAPE_STRING"}};
  auto model = [&](const char* name, std::vector<Port> p, std::vector<Param> q) {
    return ModelBuilder(name).ports(p).parameters(q).build();
  };
  EXPECT_EQ(6, m_db.uploadModel(category(), "T", model("Ports", ports, parameters).get()));
  EXPECT_EQ(describe(model("Ports", {ports[0]}, parameters)), describe(download("Ports")));
  EXPECT_EQ(8, m_db.uploadModel(category(), "T", model("Parameters", {ports[0]}, {{"a/b", "CAPE_REAL"}, parameters[1]}).get()));
  EXPECT_EQ(describe(model("Parameters", {ports[0]}, {})), describe(download("Parameters")));
}


const Names kCompatSpecies = {"H2O", "CO2", "N2"};
const std::vector<Port> kCompatPorts = {{"inlet", "Material", "CAPE_INLET", "feed"},
                                        {"outlet", "Material", "CAPE_OUTLET", "product"}};
const std::vector<Param> kModelParameters = {{"temperature", "CAPE_REAL", {}, "200", "600"},
                                             {"mode", "CAPE_OPTION", {"fast", "slow"}},
                                             {"file-system", "CAPE_OPTION", {"stored.cfg"}},
                                             {"public-species", "CAPE_OPTION", {"A", "B"}}};

ModelPtr compatModel(const char* name) {
  return ModelBuilder(name).components(kCompatSpecies).ports(kCompatPorts).parameters(kModelParameters).build();
}

// A solver that fits the model; each case spoils one thing.
struct Recipe {
  std::vector<Param> parameters = {
      kModelParameters[0], kModelParameters[1], {"file-system", "CAPE_OPTION"}, kModelParameters[3]};
  std::vector<Port> ports = kCompatPorts;
  Names components, sorted = kCompatSpecies;
  std::string localDir = "/nonexistent";
  ModelPtr build(const std::string& name) const {
    return ModelBuilder(name).localDir(localDir).components(components).sortedComponents(sorted).ports(ports)
        .parameters(parameters).build();
  }
};

TEST_F(Catalogue, ImportSolverRefusesEverySolverThatDoesNotFit) {
  ASSERT_EQ(0, m_db.uploadModel(category(), "T", compatModel("Reactor").get()));
  TempDir local;
  writeLocalFile(local.path() + "/one.txt", "1");
  auto refusal = [](const std::string& what, const std::string& name) {
    return "The solver is incompatible with the model:\nModel " + what + " " + name +
           " is not instantiated in the solver.\nSolver is not loaded\n";
  };
  struct Case {
    const char* name;
    std::function<void(Recipe&)> spoil;
    int code;
    std::string printed;
  };
  const Case cases[] = {
      {"Fits", [](Recipe&) {}, 0, ""},
      {"Fits", [](Recipe&) {}, 23, ""},  // the same name again
      {"", [](Recipe&) {}, 21, ""},
      {"FewerParameters", [](Recipe& r) { r.parameters.erase(r.parameters.begin()); }, 15, ""},
      {"FewerPorts", [](Recipe& r) { r.ports.pop_back(); }, 16, ""},
      // The component count is tested before the parameters are looked at.
      {"OtherCount", [](Recipe& r) { r.components = r.sorted = {"H2O", "CO2"}; r.parameters[1].name = "speed"; }, 17, ""},
      {"SortedNotTheModels", [](Recipe& r) { r.sorted = {"H2O", "CO2"}; }, 17, ""},
      {"OwnComponents", [](Recipe& r) { r.components = {"a", "b", "c"}; }, 0, ""},
      {"MissingParameter", [](Recipe& r) { r.parameters[1].name = "speed"; }, 15, refusal("Parameter", "mode")},
      {"ParameterType", [](Recipe& r) { r.parameters[0].type = "CAPE_INT"; }, 15, ""},
      {"OptionCount", [](Recipe& r) { r.parameters[1].options = {"fast"}; }, 15, ""},
      {"OptionWithoutEqual", [](Recipe& r) { r.parameters[1].options = {"fast", "medium"}; }, 15, ""},
      {"OptionOrder", [](Recipe& r) { r.parameters[1].options = {"slow", "fast"}; }, 0, ""},
      {"AnyFiles", [&](Recipe& r) { r.localDir = local.path(); r.parameters[2].options = {"one.txt"}; }, 0, ""},
      {"OtherSpecies", [](Recipe& r) { r.parameters[3].options = {"X", "Y"}; }, 0, ""},
      {"SpeciesCount", [](Recipe& r) { r.parameters[3].options = {"A"}; }, 15, ""},
      {"EverySpecies", [](Recipe& r) { r.parameters.push_back({"public-species", "CAPE_OPTION", {"A", "B", "C"}}); }, 15, ""},
      {"Extras", [](Recipe& r) { r.parameters.push_back({"tolerance", "CAPE_REAL"}); r.ports.push_back({"vent", "Material", "CAPE_OUTLET", ""}); }, 0, ""},
      {"MissingPort", [](Recipe& r) { r.ports[1].name = "exit"; }, 16, refusal("Port", "outlet")},
      {"PortDirection", [](Recipe& r) { r.ports[1].direction = "CAPE_INLET"; }, 16, ""},
      {"PortType", [](Recipe& r) { r.ports[0].type = "Energy"; }, 16, ""},
      {"EveryPort", [](Recipe& r) { r.ports.push_back({"outlet", "Material", "CAPE_INLET", ""}); }, 16, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Recipe recipe;
    c.spoil(recipe);
    ModelPtr solver = recipe.build(c.name);
    ::testing::internal::CaptureStdout();
    const int code = m_db.importSolver(category(), "T", "Reactor", solver.get());
    EXPECT_EQ(c.printed, ::testing::internal::GetCapturedStdout());
    EXPECT_EQ(c.code, code);
    const std::string stored = modelPath(m_category, "T", "Reactor") + "/Solvers/" + c.name;
    if (c.code >= 15 && c.code <= 17) {  // not stored
      EXPECT_NE(0, m_db.downloadSolver(stored.c_str(), local.path().c_str()));
    }
    if (recipe.components.empty() && (c.code == 0 || c.code == 17)) {  // takes the model's, even when refused
      EXPECT_EQ(kCompatSpecies, componentsOf(*solver));
    }
  }
  EXPECT_EQ(14, m_db.importSolver(category(), "T", "NoSuchModel", Recipe().build("Lost").get()));
  ModelPtr back(CVLTModel::newObject());
  m_db.exportSolver(back.get(), category(), "T", "Reactor", "Fits");
  EXPECT_EQ(kCompatSpecies, componentsOf(*back));
}

TEST_F(Catalogue, CheckModelCompatibilityNamesWhatIsMissing) {
  ASSERT_EQ(0, m_db.uploadModel(category(), "T", compatModel("Checked").get()));
  ASSERT_EQ(0, m_db.importSolver(category(), "T", "Checked", Recipe().build("Stored").get()));
  struct Case {
    const char* model;
    std::function<void(CVLTModel&)> spoil;
    const char* message;  // null: compatible
  };
  const Case cases[] = {
      {"Checked", [](CVLTModel&) {}, nullptr},
      {"Elsewhere", [](CVLTModel&) {}, "Model does not exist in the database."},
      {"Checked", [](CVLTModel& m) { m.getParameters()[1].setName("pressure"); }, "Model parameter does not exist in the database."},
      {"Checked", [](CVLTModel& m) { m.getPorts()[1].setName("drain"); }, "Model port does not exist in the database."},
      {"Checked", [](CVLTModel& m) { m.getSolvers()[0].setName("Other"); }, "Solver does not exist in the database."},
      {"Checked", [](CVLTModel& m) { m.getSolvers()[0].getParameters()[0].setName("pressure"); },
       "Solver parameter does not exist in the database."},
      {"Checked", [](CVLTModel& m) { m.getSolvers()[0].getPorts()[0].setName("drain"); },
       "solver port does not exist in the database."},
  };
  for (const Case& c : cases) {
    ModelPtr model(m_db.downloadModel(category(), "T", "Checked"));
    ASSERT_EQ(1, model->getNrSolvers());
    c.spoil(*model);
    AttachedLogger logger(m_db);
    EXPECT_EQ(c.message == nullptr, m_db.checkModelCompatibility(category(), "T", c.model, model.get()));
    EXPECT_EQ(logger.texts(0), c.message == nullptr ? Names{} : Names{c.message});
    EXPECT_EQ(logger.messages.size(), logger.texts(0).size());
  }
  // Without solvers, a category or a type a model is not compatible, and
  // nothing is said.
  ModelPtr checked(m_db.downloadModel(category(), "T", "Checked"));
  AttachedLogger logger(m_db);
  EXPECT_FALSE(m_db.checkModelCompatibility(category(), "T", "Checked", compatModel("Checked").get()));
  EXPECT_FALSE(m_db.checkModelCompatibility(nullptr, "T", "Checked", checked.get()));
  EXPECT_FALSE(m_db.checkModelCompatibility(category(), nullptr, "Checked", checked.get()));
  EXPECT_TRUE(logger.messages.empty());
}


class SolverFiles : public Catalogue {
 protected:
  void SetUp() override {
    Catalogue::SetUp();
    ASSERT_EQ(0, m_db.uploadModel(category(), "T", ModelBuilder("Host").build().get()));
    m_local = m_temp.path() + "/solver";
    std::filesystem::create_directories(m_local);
  }
  int import(const std::string& name, const Names& files, std::vector<Port> ports = {}) {
    return m_db.importSolver(category(), "T", "Host",
                             ModelBuilder(name).localDir(m_local).ports(ports).files(files).build().get());
  }
  std::string solverPath(const std::string& name) const {
    return modelPath(m_category, "T", "Host") + "/Solvers/" + name;
  }
  // The solver's file tree downloaded into a new local folder: its files, or
  // {"(none)"} when the folder was not made.
  Names downloaded(const std::string& name, int code = 0) {
    const std::string target = m_temp.path() + "/out-" + name;
    EXPECT_EQ(code, m_db.downloadSolver(solverPath(name).c_str(), target.c_str())) << name;
    return std::filesystem::exists(target) ? localTree(target) : Names{"(none)"};
  }
  std::string grid(bool nodes, const char* solver, const char* surface) {
    char* data = nullptr;
    long size = 7;
    const std::string path = modelPath(m_category, "T", "Host");
    EXPECT_EQ(0, nodes ? m_db.downloadSurfaceNodePositions(path.c_str(), solver, data, size, surface)
                       : m_db.downloadSurfaceGridConnectivity(path.c_str(), solver, data, size, surface));
    if (data == nullptr) return size == 0 ? "(none)" : "(size not 0)";
    std::string text(data, static_cast<size_t>(size));
    EXPECT_EQ(data[size], '\0');
    EXPECT_TRUE(m_db.releaseMemory(data) && !m_db.releaseMemory(data));
    return text;
  }
  TempDir m_temp;
  std::string m_local;
};

// Files go up with the import and come back byte for byte; a missing file
// ends the upload with 20, a refused port folder (11) comes first.
TEST_F(SolverFiles, ListedFilesGoUpWithTheImportAndComeBackByteForByte) {
  writeLocalFile(m_local + "/case.cfg", awkwardBytes("case"));
  writeLocalFile(m_local + "/data/mesh/a.txt", awkwardBytes("a"));
  writeLocalFile(m_local + "/data/mesh/b.txt", "");
  writeLocalFile(m_local + "/later.txt", "later");
  ASSERT_EQ(0, import("Files", {"case.cfg", "data\\mesh/a.txt", "data/mesh\\b.txt"}));
  EXPECT_EQ(20, import("Partial", {"case.cfg", "missing.txt", "later.txt"}));
  EXPECT_EQ(11, import("Mixed", {"case.cfg", "missing.txt"}, {{"bad/port", "Material", "CAPE_INLET", ""}}));
  EXPECT_EQ(11, m_db.importSolver(category(), "T", "Host",
                                  ModelBuilder("BadParameter").parameters({{"a/b", "CAPE_REAL"}}).build().get()));
  EXPECT_EQ(0, m_db.importSolver(category(), "T", "Host", ModelBuilder("NoList").build().get()));
  const std::pair<const char*, Names> trees[] = {{"Files", {"case.cfg", "data/mesh/a.txt", "data/mesh/b.txt"}},
                                                 {"Partial", {"case.cfg"}}, {"Mixed", {"case.cfg"}}, {"NoList", {}}};
  for (const auto& [name, files] : trees) EXPECT_EQ(files, downloaded(name));
  const std::string copy = m_temp.path() + "/out-Files";
  EXPECT_EQ(awkwardBytes("case"), readLocalFile(copy + "/case.cfg"));
  EXPECT_EQ(awkwardBytes("a"), readLocalFile(copy + "/data/mesh/a.txt"));
  EXPECT_EQ(Names{"(none)"}, downloaded("Nobody", 21));
  // Without its file tree a solver downloads nothing.
  AttachedLogger logger(m_db);
  ASSERT_TRUE(m_db.deleteItem((solverPath("Files") + "/FileSystem").c_str()));
  std::filesystem::remove_all(copy);
  EXPECT_EQ(Names{"(none)"}, downloaded("Files"));
}

// Entries that could leave the local folder, and paths that are no regular
// file (opening the pipe plainly would wait for a writer), are refused.
TEST_F(SolverFiles, EntriesOutsideTheFolderOrNotRegularFilesAreRefused) {
  writeLocalFile(m_temp.path() + "/x", "outside");
  writeLocalFile(m_local + "/a/b", "inside, but named with an empty part");
  writeLocalFile(m_local + "/data/keep", "a folder entry");
  std::filesystem::create_directories(m_local + "/folder");
  ASSERT_EQ(0, ::mkfifo((m_local + "/pipe").c_str(), 0644));
  std::filesystem::create_symlink("/dev/null", m_local + "/device");
  const std::pair<const char*, const char*> cases[] = {
      {"Up", "../x"},   {"Absolute", "/etc/passwd"}, {"Doubled", "a//b"}, {"Trailing", "data/"}, {"Folder", "folder"},
      {"Pipe", "pipe"}, {"Device", "device"}};
  for (const auto& [name, entry] : cases) {
    EXPECT_EQ(20, import(name, {entry})) << entry;
    EXPECT_EQ(Names{}, downloaded(name));
  }
}

TEST_F(SolverFiles, GridTextsAreStoredPerSurfaceOrForTheWholeSolver) {
  ASSERT_EQ(0, m_db.importSolver(category(), "T", "Host",
                                 ModelBuilder("Surfaces").surface("inlet", "0 0 0\n1 0 0\n", "0 1\n")
                                     .surface("wall", "5 5 5\n", "0\n").grid("whole nodes\n", "whole cells\n")
                                     .build().get()));
  ASSERT_EQ(0, m_db.importSolver(category(), "T", "Host", ModelBuilder("Plain").grid("nodes\n", "cells\n").build().get()));
  // With surfaces, no whole-solver texts; without, no surface texts.
  const std::tuple<bool, const char*, const char*, const char*> cases[] = {
      {true, "Surfaces", "inlet", "0 0 0\n1 0 0\n"}, {true, "Surfaces", "wall", "5 5 5\n"},
      {false, "Surfaces", "inlet", "0 1\n"},         {false, "Surfaces", "wall", "0\n"},
      {true, "Surfaces", nullptr, "(none)"},         {false, "Surfaces", "", "(none)"},
      {true, "Plain", nullptr, "nodes\n"},           {false, "Plain", nullptr, "cells\n"},
      {false, "Plain", "inlet", "(none)"}};
  for (const auto& [nodes, solver, surface, text] : cases)
    EXPECT_EQ(text, grid(nodes, solver, surface)) << nodes << solver << (surface ? surface : "(null)");
}

}  // namespace
