// Models and solvers between the Python objects of talixdb._models
// (Model, Solver, Port, Parameter, Surface) and the tool's plain values
// (ModelSpec), which read and write the tool's JSON and fill the library's
// CVLTModel objects: one home for both.
#pragma once

#include <pybind11/pybind11.h>

#include "ModelSpec.h"

namespace talixdb_python {

namespace py = pybind11;

// The values of a Model (`solver` false) or a Solver, read by attribute name.
talixdb_cli::ModelSpec specFromObject(py::handle object, bool solver);
// A new Model or Solver object.
py::object objectFromSpec(const talixdb_cli::ModelSpec& described, bool solver);

// The tool's reading of a model or solver file; ValueError saying what is wrong.
py::object objectFromJson(const std::string& text, bool solver);
// The tool's JSON of a model (with category, type and solvers) or of a solver.
std::string jsonFromObject(py::handle object, bool solver);

}  // namespace talixdb_python
