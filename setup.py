# Builds the extension of the Python package with the project's CMake (see pyproject.toml): the
# module target only, for the interpreter that runs the build, in build/setuptools/.
import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent
WORK = ROOT / "build" / "setuptools"


def project_version():
    """The version of project() in CMakeLists.txt, the one number the library and package share."""
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(\s*NorvaleDataMatrix\s+VERSION\s+([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        tree = WORK / "cmake"
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(tree), "-DCMAKE_BUILD_TYPE=Release",
                        "-DNORVALE_PYTHON=ON", "-DNORVALE_BUILD_TESTS=OFF",
                        "-DPython3_EXECUTABLE=" + sys.executable], check=True)
        subprocess.run(["cmake", "--build", str(tree), "--target", "norvale_python",
                        "-j", str(os.cpu_count() or 1)], check=True)
        (built,) = (tree / "python" / "norvale").glob("_norvale*.so")
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(
    version=project_version(),
    package_dir={"": "python"},
    packages=["norvale"],
    package_data={"norvale": ["__init__.pyi", "py.typed"]},
    ext_modules=[Extension("norvale._norvale", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": str(WORK)}, "egg_info": {"egg_base": str(WORK)}},
)
