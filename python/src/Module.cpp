// The extension module talixdb._talixdb: the library's handle and the tool's
// model files and server addresses. The package talixdb (python/talixdb)
// builds the Python client on it.
#include <pybind11/pybind11.h>

#include <memory>
#include <string>

#include "Bindings.h"
#include "ModelSpec.h"
#include "ModelValues.h"
#include "ServerAddress.h"
#include "talixdbapi/ResultCodes.h"
#include "talixdbapi/Version.h"

namespace py = pybind11;
using namespace talixdb_python;

PYBIND11_MODULE(_talixdb, module) {
  module.doc() = "The TALIXDBAPI library's handle, as the talixdb package uses it.";
  module.attr("library_version") = VLT_121::getLibraryVersion();
  module.attr("header_version") = TALIXDBAPI_VERSION_STRING;

  module.def("result_text", &VLT_121::getResultText, py::arg("code"), "The library's short text for a result code.");
  module.def(
      "server_address",
      [](const std::string& text, bool portRequired) { return talixdb_cli::serverAddress(text, portRequired); },
      py::arg("text"), py::arg("port_required"),
      "The address CVLTDatabase::open takes, from HOST:PORT, http(s)://HOST:PORT or the endpoint URL; '' when "
      "the text is none of these.");
  module.def("model_from_json", &objectFromJson, py::arg("text"), py::arg("solver"),
             "A Model (or Solver) from the JSON the talixdb tool reads; ValueError saying what is wrong.");
  module.def("model_to_json", &jsonFromObject, py::arg("model"), py::arg("solver"),
             "The JSON the talixdb tool writes for a Model (or Solver).");
  module.def(
      "missing_solver_file",
      [](py::handle solver, const std::string& localDir) {
        return talixdb_cli::missingSolverFile(specFromObject(solver, true), localDir);
      },
      py::arg("solver"), py::arg("local_dir"),
      "What the solver's \"file-system\" parameter lists but local_dir lacks, as a message; '' when nothing.");

  HandleClass handle(module, "Handle",
                     "One CVLTDatabase: the library's calls with the GIL released, one at a time, by one thread.");
  handle.def(py::init<bool>(), py::arg("same_thread") = true);
  bindCatalogue(handle);
  bindResults(handle);
}
