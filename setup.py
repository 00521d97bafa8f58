"""The extension module of `pip install .`: CMake builds the _ravelin target
(and the three libraries it links, nothing else) for the interpreter running
pip, in build-pip/, and its module is copied into the package.

RAVELIN_PIP_BUILD_DIR picks another build folder; CMAKE_BUILD_PARALLEL_LEVEL
the number of compile jobs (default: the machine's cores); a ccache on PATH is
used when CMAKE_CXX_COMPILER_LAUNCHER is not set.
"""

import os
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

SOURCE = Path(__file__).resolve().parent
BUILD = Path(os.environ.get("RAVELIN_PIP_BUILD_DIR") or SOURCE / "build-pip")


class CMakeBuild(build_ext):
    def build_extension(self, ext: Extension) -> None:
        build = BUILD
        configure = [
            "cmake", "-S", str(SOURCE), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
            f"-DPython_EXECUTABLE={sys.executable}", "-DRAVELIN_BUILD_PYTHON=ON",
            "-DRAVELIN_BUILD_TESTS=OFF", "-DRAVELIN_BUILD_TOOLS=OFF", "-DRAVELIN_BUILD_BENCH=OFF",
            "-DRAVELIN_BUILD_C=OFF", "-DRAVELIN_INSTALL=OFF",
        ]
        if shutil.which("ninja"):
            configure += ["-G", "Ninja"]
        if "CMAKE_CXX_COMPILER_LAUNCHER" not in os.environ and shutil.which("ccache"):
            configure.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
        # Paths relative to the source folder in ccache's keys: a fresh checkout elsewhere hits too.
        env = dict(os.environ)
        env.setdefault("CCACHE_BASEDIR", str(SOURCE))
        env.setdefault("CCACHE_NOHASHDIR", "1")
        subprocess.run(configure, check=True, env=env)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
        subprocess.run(["cmake", "--build", str(build), "--target", "ravelin_python", "-j", jobs], check=True, env=env)

        built = sorted((build / "python" / "ravelin").glob("_ravelin*.so"))
        if not built:
            raise RuntimeError(f"CMake built no _ravelin module in {build / 'python' / 'ravelin'}")
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)


# setuptools' own scratch folders stay out of the source tree and of build/.
BUILD.mkdir(parents=True, exist_ok=True)
setup(
    ext_modules=[Extension("ravelin._ravelin", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": str(BUILD / "setuptools")}, "egg_info": {"egg_base": str(BUILD)}},
)
