// The handle's methods for reports, grids, PCA modes, amplitudes, instances
// and precomputed results. Buffers the library hands out become NumPy arrays
// or memoryviews over them, without a copy.
#include <pybind11/numpy.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Bindings.h"
#include "ReportText.h"
#include "results/PcaModesFile.h"

namespace talixdb_python {

namespace {

using VLT_121::CVLTDatabase;
using S = const std::string&;

// A buffer the library handed out, with its size.
template <typename T>
struct Lent {
  T* data = nullptr;
  long size = 0;
};

// The bytes of a Python object that exposes a contiguous buffer (bytes,
// bytearray, memoryview, a NumPy array), held for as long as this lives.
class Bytes {
 public:
  explicit Bytes(py::handle object) {
    if (PyObject_GetBuffer(object.ptr(), &m_view, PyBUF_SIMPLE) != 0) throw py::error_already_set();
  }
  ~Bytes() { PyBuffer_Release(&m_view); }
  Bytes(const Bytes&) = delete;
  Bytes& operator=(const Bytes&) = delete;
  const char* data() const { return static_cast<const char*>(m_view.buf); }
  long size() const { return static_cast<long>(m_view.len); }

 private:
  Py_buffer m_view{};
};

// Rows of numbers (amplitudes of a report, components of a mode), `width`
// wide, and the first number asked for that had none (0: none missing).
struct Rows {
  std::vector<double> values;
  int width = -1;
  int rows = 0;
  int missing = 0;
};

// N, the component count of each mode, from the PCA modes file: the first
// number of its second line (the first holds the mode count).
int componentCount(const char* modesText) {
  const char* line = std::strchr(modesText, '\n');
  return line != nullptr ? std::max(0, std::atoi(line + 1)) : 0;
}

py::object arrayOfRows(Rows&& rows) {
  auto* values = new std::vector<double>(std::move(rows.values));
  py::capsule owner(values, [](void* pointer) { delete static_cast<std::vector<double>*>(pointer); });
  const py::ssize_t columns = rows.width < 0 ? 0 : rows.width;
  const auto item = static_cast<py::ssize_t>(sizeof(double));
  py::array_t<double> array({static_cast<py::ssize_t>(rows.rows), columns}, {columns * item, item}, values->data(),
                            owner);
  return py::make_tuple(array, rows.missing);
}

}  // namespace

void bindResults(HandleClass& handle) {
  handle
      .def("report_numbers",
           [](Handle& h, S modelPath, S solver, S surface) {
             return h.run([&](CVLTDatabase& db) {
               db.downloadReportNumbers(modelPath.c_str(), solver.c_str(), surface.c_str());
               std::vector<int> numbers;
               for (int i = 0; i < db.getNrDownloadedReportNumbers(); ++i)
                 numbers.push_back(db.getDownloadedReportNumber(i));
               return numbers;
             });
           })
      .def("is_surface_uploaded",
           [](Handle& h, S modelPath, S solver, int report, S surface) {
             return h.run([&](CVLTDatabase& db) {
               return db.isSurfaceUploaded(modelPath.c_str(), solver.c_str(), report, surface.c_str());
             });
           })
      .def("upload_surface",
           [](Handle& h, S modelPath, S solver, S surface, int report, py::handle data) {
             Bytes bytes(data);
             return h.run([&](CVLTDatabase& db) {
               return db.uploadSurface(modelPath.c_str(), solver.c_str(), surface.c_str(), report, bytes.data(),
                                       bytes.size());
             });
           })
      .def("upload_values",
           // The report written from the values; None when a value is not finite.
           [](Handle& h, S modelPath, S solver, S surface, int report,
              py::array_t<double, py::array::c_style | py::array::forcecast> values) {
             if (values.ndim() != 1) throw py::value_error("a report's values must be a 1-D array");
             return h.run([&](CVLTDatabase& db) -> std::optional<int> {
               std::string text = reportFromValues(values.data(), static_cast<std::size_t>(values.size()));
               if (text.empty()) return std::nullopt;
               return db.uploadSurface(modelPath.c_str(), solver.c_str(), surface.c_str(), report, text.data(),
                                       static_cast<long>(text.size()));
             });
           })
      .def("download_surface",
           [](Handle& h, S modelPath, S solver, int report, S surface) {
             return h.run(
                 [&](CVLTDatabase& db) {
                   Lent<char> lent;
                   lent.size =
                       db.downloadSurface(modelPath.c_str(), solver.c_str(), report, surface.c_str(), lent.data);
                   return lent;
                 },
                 [&](Lent<char> lent) { return h.lendBytes(lent.data, lent.size); });
           })
      .def("download_surface_values",
           [](Handle& h, S modelPath, S solver, S surface, int report) {
             return h.run(
                 [&](CVLTDatabase& db) {
                   Lent<double> lent;
                   lent.size =
                       db.downloadSurfaceValues(modelPath.c_str(), solver.c_str(), surface.c_str(), report, lent.data);
                   return lent;
                 },
                 [&](Lent<double> lent) { return h.lendDoubles(lent.data, static_cast<int>(lent.size)); });
           })
      .def("grid_text",
           // The node positions (`connectivity` false) or grid connectivity file.
           [](Handle& h, S modelPath, S solver, std::optional<std::string> surface, bool connectivity) {
             return h.run(
                 [&](CVLTDatabase& db) {
                   Lent<char> lent;
                   if (connectivity)
                     db.downloadSurfaceGridConnectivity(modelPath.c_str(), solver.c_str(), lent.data, lent.size,
                                                        textOrNull(surface));
                   else
                     db.downloadSurfaceNodePositions(modelPath.c_str(), solver.c_str(), lent.data, lent.size,
                                                     textOrNull(surface));
                   return lent;
                 },
                 [&](Lent<char> lent) { return h.copyBytes(lent.data, lent.size); });
           })

      // PCA modes
      .def("clear_pca_modes",
           [](Handle& h, S modelPath, S solver) {
             return h.run([&](CVLTDatabase& db) { return db.clearPcaModes(modelPath.c_str(), solver.c_str()); });
           })
      .def("download_pca_modes",
           [](Handle& h, S modelPath, S solver, S surface) {
             return h.run(
                 [&](CVLTDatabase& db) {
                   Lent<char> lent;
                   db.downloadPcaModes(modelPath.c_str(), solver.c_str(), surface.c_str(), lent.data, lent.size);
                   return lent;
                 },
                 [&](Lent<char> lent) { return h.copyBytes(lent.data, lent.size); });
           })
      .def("pca_weights",
           // The weights (singular values) of the modes, in file order; [] without modes.
           [](Handle& h, S modelPath, S solver, S surface) {
             return h.run([&](CVLTDatabase& db) {
               Lent<char> lent;
               db.downloadPcaModes(modelPath.c_str(), solver.c_str(), surface.c_str(), lent.data, lent.size);
               VLT_121::CPcaModes modes;
               if (lent.data != nullptr) VLT_121::parsePcaModes(std::string_view(lent.data, lent.size), modes);
               db.releaseMemory(lent.data);
               return modes.m_vecWeights;
             });
           })
      .def("pca_mode_count",
           [](Handle& h, S modelPath, S solver, S surface) {
             return h.run([&](CVLTDatabase& db) {
               return db.getNrPcaModes(modelPath.c_str(), solver.c_str(), surface.c_str());
             });
           })
      .def("pca_modes",
           // Modes `first` to `last` (-1: the last) as rows of an array,
           // each from downloadPcaModeValues.
           [](Handle& h, S modelPath, S solver, S surface, int first, int last) {
             return h.run(
                 [&](CVLTDatabase& db) {
                   Rows rows;
                   char* text = nullptr;
                   long size = 0;
                   db.downloadPcaModes(modelPath.c_str(), solver.c_str(), surface.c_str(), text, size);
                   if (text == nullptr) return rows;
                   rows.width = componentCount(text);
                   db.releaseMemory(text);
                   for (int index = first; last < 0 || index <= last; ++index) {
                     double* values = nullptr;
                     int count =
                         db.downloadPcaModeValues(modelPath.c_str(), solver.c_str(), surface.c_str(), index, values);
                     if (values == nullptr) {
                       rows.missing = index;
                       break;
                     }
                     rows.values.insert(rows.values.end(), values, values + rows.width);
                     ++rows.rows;
                     db.releaseMemory(values);
                     if ((last < 0 && index + 1 >= count) || !h.goOn()) break;
                   }
                   return rows;
                 },
                 [](Rows rows) { return arrayOfRows(std::move(rows)); });
           })
      .def("modal_amplitudes",
           [](Handle& h, S modelPath, S solver, S surface, int report) {
             return h.run(
                 [&](CVLTDatabase& db) {
                   Lent<double> lent;
                   lent.size =
                       db.getModalAmplitudes(modelPath.c_str(), solver.c_str(), surface.c_str(), report, lent.data);
                   return lent;
                 },
                 [&](Lent<double> lent) { return h.lendDoubles(lent.data, static_cast<int>(lent.size)); });
           })
      .def("amplitude_rows",
           // The amplitudes of the reports `numbers` (None: 1, 2, ... up to
           // the first without), a row each, in one call; stops at the first
           // report without amplitudes or with another number of them, whose
           // number comes back with the rows.
           [](Handle& h, S modelPath, S solver, S surface, std::optional<std::vector<int>> numbers) {
             return h.run(
                 [&](CVLTDatabase& db) {
                   Rows rows;
                   for (std::size_t i = 0; !numbers || i < numbers->size(); ++i) {
                     const int number = numbers ? (*numbers)[i] : static_cast<int>(i) + 1;
                     double* amplitudes = nullptr;
                     int count =
                         db.getModalAmplitudes(modelPath.c_str(), solver.c_str(), surface.c_str(), number, amplitudes);
                     if (amplitudes != nullptr) {
                       if (rows.width < 0) rows.width = count;
                       if (count == rows.width) {
                         rows.values.insert(rows.values.end(), amplitudes, amplitudes + count);
                         ++rows.rows;
                       }
                       db.releaseMemory(amplitudes);
                     }
                     if (amplitudes == nullptr || count != rows.width) {
                       rows.missing = number;
                       break;
                     }
                     if (!h.goOn()) break;
                   }
                   return rows;
                 },
                 [](Rows rows) { return arrayOfRows(std::move(rows)); });
           })

      // instances and precomputed results
      .def("upload_instance",
           [](Handle& h, S modelPath, S solver, int instance, S localDir) {
             return h.run([&](CVLTDatabase& db) {
               int code = db.uploadInstance(modelPath.c_str(), solver.c_str(), instance, localDir.c_str());
               return std::make_pair(code, instance);
             });
           })
      .def("is_instance_uploaded",
           [](Handle& h, S modelPath, S solver, int instance) {
             return h.run(
                 [&](CVLTDatabase& db) { return db.isInstanceUploaded(modelPath.c_str(), solver.c_str(), instance); });
           })
      .def("download_instance",
           [](Handle& h, S modelPath, S solver, int instance, S localDir) {
             return h.run([&](CVLTDatabase& db) {
               int code = db.downloadInstance(modelPath.c_str(), solver.c_str(), instance, localDir.c_str());
               return std::make_pair(code, instance);
             });
           })
      .def("delete_instance",
           [](Handle& h, S category, S type, S model, S solver, int instance) {
             return h.run([&](CVLTDatabase& db) {
               return db.deleteInstance(category.c_str(), type.c_str(), model.c_str(), solver.c_str(), instance);
             });
           })
      .def("delete_all_folder_instances",
           [](Handle& h, S remotePath) {
             return h.run([&](CVLTDatabase& db) { return db.deleteAllFolderInstances(remotePath.c_str()); });
           })
      .def("upload_precomputed", [](Handle& h, S modelPath, S solver, S content) {
        return h.run([&](CVLTDatabase& db) {
          return db.uploadPreComputedResultsVersion1(modelPath.c_str(), solver.c_str(), content.c_str());
        });
      });
}

}  // namespace talixdb_python
