"""Builds the extension talixdb._talixdb with CMake (python/CMakeLists.txt on
its own, over the installed library that find_package(TALIXDBAPI) finds;
CMAKE_PREFIX_PATH names a prefix outside the system's), for the Python that
runs the build."""

import glob
import os
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = os.path.dirname(os.path.abspath(__file__))


class CMakeExtension(Extension):
    def __init__(self, name):
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = os.path.join(os.path.abspath(self.build_temp), "cmake")
        configure = ["cmake", "-S", HERE, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                     "-DPython3_EXECUTABLE=" + sys.executable]
        subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", build, "--target", "_talixdb", "-j", str(os.cpu_count() or 2)],
                       check=True)
        built = glob.glob(os.path.join(build, "talixdb", "_talixdb*.so"))
        if len(built) != 1:
            raise RuntimeError("the CMake build made no talixdb/_talixdb*.so in " + build)
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(built[0], target)


setup(ext_modules=[CMakeExtension("talixdb._talixdb")], cmdclass={"build_ext": CMakeBuild})
