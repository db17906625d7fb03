// The methods of the module's Handle class, by subject. Each keeps the
// library's arguments (snake_case names) and returns its results as Python
// values; talixdb/_connection.py gives them the shape of a Python client.
#pragma once

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>
#include <optional>
#include <string>

#include "Handle.h"

namespace talixdb_python {

namespace py = pybind11;

using HandleClass = py::class_<Handle, std::shared_ptr<Handle>>;

// Connection, session, catalogue, browsing and administration.
void bindCatalogue(HandleClass& handle);
// Reports, grids, PCA modes, amplitudes, instances and precomputed results.
void bindResults(HandleClass& handle);

// The text of an optional argument, or null (None).
inline const char* textOrNull(const std::optional<std::string>& text) { return text ? text->c_str() : nullptr; }

}  // namespace talixdb_python
