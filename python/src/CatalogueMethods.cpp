// The handle's connection, catalogue, browsing and administration methods.
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Bindings.h"
#include "ModelValues.h"

namespace talixdb_python {

namespace {

using VLT_121::CVLTDatabase;
using VLT_121::CVLTModel;
using Names = std::vector<std::string>;

// The texts of a listing the library has just filled.
Names listed(int count, const std::function<const char*(int)>& name) {
  Names names;
  for (int i = 0; i < count; ++i) {
    const char* text = name(i);
    if (text != nullptr) names.emplace_back(text);
  }
  return names;
}

// Browse criteria rows {label, "contains", value, null}, ended by a null row,
// over texts that live as long as the object.
class Criteria {
 public:
  explicit Criteria(const std::vector<std::pair<std::string, std::string>>& rows) : m_texts(rows) {
    for (const auto& row : m_texts) m_rows.push_back({row.first.c_str(), "contains", row.second.c_str(), nullptr});
    for (auto& row : m_rows) m_pointers.push_back(row.data());
    m_pointers.push_back(nullptr);
  }
  const char*** get() { return m_texts.empty() ? nullptr : m_pointers.data(); }

 private:
  std::vector<std::pair<std::string, std::string>> m_texts;
  std::vector<std::array<const char*, 4>> m_rows;
  std::vector<const char**> m_pointers;
};

struct ModelDeleter {
  void operator()(CVLTModel* model) const { CVLTModel::deleteObject(model); }
};

}  // namespace

void bindCatalogue(HandleClass& handle) {
  using S = const std::string&;
  handle
      .def("open",
           [](Handle& h, std::optional<std::string> address) {
             return h.run([&](CVLTDatabase& db) { return db.open(textOrNull(address)); });
           })
      .def("close", [](Handle& h) { return h.run([](CVLTDatabase& db) { db.close(); }); })
      .def("is_open", [](Handle& h) { return h.run([](CVLTDatabase& db) { return db.isOpen(); }); })
      .def("is_logged_in", [](Handle& h) { return h.run([](CVLTDatabase& db) { return db.isLoggedIn(); }); })
      .def("login",
           [](Handle& h, S user, S password, S domain, int pool) {
             return h.run(
                 [&](CVLTDatabase& db) { return db.login(user.c_str(), password.c_str(), domain.c_str(), pool); });
           })
      .def("login_to_read",
           [](Handle& h, S user, S password, S domain) {
             return h.run(
                 [&](CVLTDatabase& db) { return db.loginToRead(user.c_str(), password.c_str(), domain.c_str()); });
           })
      .def("logout", [](Handle& h) { return h.run([](CVLTDatabase& db) { return db.logout(); }); })
      .def("last_error_text", &Handle::lastErrorText)
      .def("set_progress", &Handle::setProgressCallback)

      // catalogue
      .def("database_exists",
           [](Handle& h) { return h.run([](CVLTDatabase& db) { return db.isTalixDatabaseInstantiated(); }); })
      .def("create_database", [](Handle& h) { return h.run([](CVLTDatabase& db) { return db.createTalixDb(); }); })
      .def("check_category",
           [](Handle& h, S category) {
             return h.run([&](CVLTDatabase& db) { return db.checkCategory(category.c_str()); });
           })
      .def("add_category",
           [](Handle& h, S category) {
             return h.run([&](CVLTDatabase& db) { return db.addCategory(category.c_str()); });
           })
      .def("check_type",
           [](Handle& h, S type, S category) {
             return h.run([&](CVLTDatabase& db) { return db.checkType(type.c_str(), category.c_str()); });
           })
      .def("add_type",
           [](Handle& h, S type, S category) {
             return h.run([&](CVLTDatabase& db) { return db.addType(type.c_str(), category.c_str()); });
           })
      .def("delete_item",
           [](Handle& h, S path) { return h.run([&](CVLTDatabase& db) { return db.deleteItem(path.c_str()); }); })
      .def("upload_model",
           [](Handle& h, S category, S type, py::handle model) {
             CVLTModel object;
             talixdb_cli::fillModelObject(specFromObject(model, false), "", object);
             return h.run([&](CVLTDatabase& db) { return db.uploadModel(category.c_str(), type.c_str(), &object); });
           })
      .def("download_model",
           [](Handle& h, S category, S type, S name) {
             return h.run(
                 [&](CVLTDatabase& db) {
                   std::unique_ptr<CVLTModel, ModelDeleter> model(
                       db.downloadModel(category.c_str(), type.c_str(), name.c_str()));
                   std::optional<talixdb_cli::ModelSpec> described;
                   if (model) described = talixdb_cli::specFromModelObject(*model);
                   return described;
                 },
                 [&](std::optional<talixdb_cli::ModelSpec> described) {
                   if (!described) return py::object(py::none());
                   described->category = category;
                   described->type = type;
                   return objectFromSpec(*described, false);
                 });
           })
      .def("export_solver",
           [](Handle& h, S category, S type, S model, S name) {
             return h.run(
                 [&](CVLTDatabase& db) {
                   CVLTModel solver;
                   db.exportSolver(&solver, category.c_str(), type.c_str(), model.c_str(), name.c_str());
                   return talixdb_cli::specFromModelObject(solver);
                 },
                 [](talixdb_cli::ModelSpec described) {
                   // A missing solver leaves the object as it was: nameless.
                   return described.name.empty() ? py::object(py::none()) : objectFromSpec(described, true);
                 });
           })
      .def("import_solver",
           // The code, and the solver's species afterwards (a solver without
           // any gets the model's).
           [](Handle& h, S category, S type, S model, py::handle solver, S localDir) {
             CVLTModel object;
             talixdb_cli::fillModelObject(specFromObject(solver, true), localDir, object);
             return h.run(
                 [&](CVLTDatabase& db) {
                   int code = db.importSolver(category.c_str(), type.c_str(), model.c_str(), &object);
                   return std::make_pair(code, talixdb_cli::specFromModelObject(object).species);
                 },
                 [](std::pair<int, Names> result) { return py::cast(result); });
           })
      .def("download_solver",
           [](Handle& h, S solverPath, S localDir) {
             return h.run([&](CVLTDatabase& db) { return db.downloadSolver(solverPath.c_str(), localDir.c_str()); });
           })

      // browsing: listings of the last snapshot
      .def("take_snapshot",
           [](Handle& h, const std::vector<std::pair<std::string, std::string>>& rows) {
             return h.run([&](CVLTDatabase& db) {
               Criteria criteria(rows);
               db.takeVLTSnapshot(criteria.get());
               db.filterVLTSnapshot(criteria.get());
             });
           })
      .def("category_names",
           [](Handle& h) {
             return h.run([](CVLTDatabase& db) {
               db.downloadCategoryNames();
               return listed(db.getNrDownloadedCategoryNames(), [&](int i) { return db.getDownloadedCategoryName(i); });
             });
           })
      .def("type_names",
           [](Handle& h, S category) {
             return h.run([&](CVLTDatabase& db) {
               db.downloadTypeNames(category.c_str());
               return listed(db.getNrDownloadedTypeNames(), [&](int i) { return db.getDownloadedTypeName(i); });
             });
           })
      .def("model_names",
           [](Handle& h, S category, S type) {
             return h.run([&](CVLTDatabase& db) {
               db.downloadModelNames(category.c_str(), type.c_str());
               return listed(db.getNrDownloadedModelNames(), [&](int i) { return db.getDownloadedModelName(i); });
             });
           })
      .def("solver_names",
           [](Handle& h, S category, S type, S model) {
             return h.run([&](CVLTDatabase& db) {
               db.downloadSolverNames(category.c_str(), type.c_str(), model.c_str());
               return listed(db.getNrDownloadedSolverNames(), [&](int i) { return db.getDownloadedSolverName(i); });
             });
           })
      .def("instance_names",
           [](Handle& h, S category, S type, S model, S solver) {
             return h.run([&](CVLTDatabase& db) {
               db.downloadInstanceNames(category.c_str(), type.c_str(), model.c_str(), solver.c_str());
               return listed(db.getNrDownloadedInstanceNames(), [&](int i) { return db.getDownloadedInstanceName(i); });
             });
           })
      .def("model_leaf_names",
           [](Handle& h) {
             return h.run([](CVLTDatabase& db) {
               db.downloadModelLeafNames();
               return listed(db.getNrDownloadedLeafNames(), [&](int i) { return db.getDownloadedLeafName(i); });
             });
           })

      // administration
      .def("backup",
           [](Handle& h, S remotePath, S localDir) {
             return h.run([&](CVLTDatabase& db) { return db.backupTALIXFolder(remotePath.c_str(), localDir.c_str()); });
           })
      .def(
          "restore",
          [](Handle& h, S remotePath, S localDir) {
            return h.run([&](CVLTDatabase& db) { return db.restoreTALIXFolder(remotePath.c_str(), localDir.c_str()); });
          })
      .def("create_pool_users",
           [](Handle& h, int count) { return h.run([&](CVLTDatabase& db) { return db.instantiateCFDUsers(count); }); })
      .def("pool_user_count", [](Handle& h) { return h.run([](CVLTDatabase& db) { return db.getNrCFDUsers(); }); })
      .def("disconnect_pool_users",
           [](Handle& h) { return h.run([](CVLTDatabase& db) { db.disconnectAllTalixUsers(); }); })
      .def("delete_pool_users", [](Handle& h) { return h.run([](CVLTDatabase& db) { db.deleteAllTalixUsers(); }); })
      .def("register_server",
           [](Handle& h, S name, bool keepExisting) {
             return h.run(
                 [&](CVLTDatabase& db) { return db.registerTALIXSimulationServer(name.c_str(), keepExisting); });
           })
      .def("servers", [](Handle& h) {
        return h.run([](CVLTDatabase& db) {
          db.downloadRegisteredSimulationServers();
          return listed(db.getNrRegisteredSimulationServers(),
                        [&](int i) { return db.getRegisteredSimulationServer(i); });
        });
      });
}

}  // namespace talixdb_python
