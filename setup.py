"""Builds the extension vontralek._core with the project's CMake build (only
that target: no programs, tests or benchmarks) for the Python running this
script, and packages it with python/vontralek. See pyproject.toml."""
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


def project_version():
    """The version of the CMake project, the one place it is written."""
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    return re.search(r"project\(VONTRALEK VERSION ([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = Path(self.build_temp).resolve() / "cmake"
        configure = ["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                     f"-DPython_EXECUTABLE={sys.executable}", "-DVONTRALEK_BUILD_UI=OFF",
                     "-DVONTRALEK_BUILD_TESTS=OFF", "-DVONTRALEK_BUILD_BENCH=OFF", "-DVONTRALEK_BUILD_PYTHON=ON"]
        if shutil.which("ccache"):
            configure += ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"]
        subprocess.run(configure, check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
        subprocess.run(["cmake", "--build", str(build), "--target", "vontralek_core", "-j", jobs], check=True)
        built = list((build / "python" / "vontralek").glob("_core*.so"))
        if len(built) != 1:
            raise RuntimeError(f"the CMake build made {len(built)} modules _core*.so in {build}, not one")
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)


setup(
    version=project_version(),
    packages=["vontralek"],
    package_dir={"vontralek": "python/vontralek"},
    ext_modules=[Extension("vontralek._core", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    # Beside, not inside, the CMake build folder ./build of scripts/build.sh.
    options={"build": {"build_base": "build-python-package"}},
    zip_safe=False,
)
