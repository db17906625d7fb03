# The system's Python 3 and pybind11, which the module is built with; sets
# TALIXDB_PYTHON_PARTS_FOUND. Debian's /usr/bin/python3 first: Debian's
# pybind11 and NumPy are installed into it (another python3 may come first
# on PATH). Give -DPython3_EXECUTABLE=... to build for another one.
if(NOT DEFINED Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python3_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "The Python the talixdb module is built for")
endif()
find_package(Python3 3.8 QUIET COMPONENTS Interpreter Development.Module)
if(Python3_FOUND)
  # Debian's pybind11 installs its CMake package beside the interpreter's.
  execute_process(COMMAND ${Python3_EXECUTABLE} -c "import pybind11; print(pybind11.get_cmake_dir())"
                  OUTPUT_VARIABLE TALIXDB_PYBIND11_DIR OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  find_package(pybind11 2.6 CONFIG QUIET HINTS ${TALIXDB_PYBIND11_DIR})
endif()
if(Python3_FOUND AND pybind11_FOUND)
  set(TALIXDB_PYTHON_PARTS_FOUND TRUE)
else()
  set(TALIXDB_PYTHON_PARTS_FOUND FALSE)
endif()
