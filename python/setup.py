"""pip's way in: the module is built by CMake from the sources one folder
up, with the interpreter pip runs, and put beside the package's Python
files. Needs cmake, a C++20 compiler and pybind11-dev; numpy and xarray
from Debian (python3-numpy, python3-xarray)."""

import os
import pathlib
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = pathlib.Path(__file__).resolve().parent
SOURCES = HERE.parent


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        if not (SOURCES / "CMakeLists.txt").exists():
            raise RuntimeError(f"the KESTREL sources are not at {SOURCES}: install from a clone (pip install ./python)")
        build = pathlib.Path(self.build_temp).resolve() / "cmake"
        subprocess.check_call([
            "cmake", "-S", str(SOURCES), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
            "-DKESTREL_TESTS=OFF", "-DKESTREL_PYTHON=ON", f"-DPython3_EXECUTABLE={sys.executable}",
        ])
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.check_call(["cmake", "--build", str(build), "--target", "_kestrel", "-j", jobs])
        built = list((build / "python" / "kestrel").glob("_kestrel*.so")) + \
            list((build / "python" / "kestrel").glob("_kestrel*.pyd"))
        if not built:
            raise RuntimeError("CMake did not build the module: see its warning on pybind11 or numpy above")
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        self.copy_file(str(built[0]), str(target))


setup(ext_modules=[Extension("kestrel._kestrel", sources=[])], cmdclass={"build_ext": CMakeBuild})
