# cmake --install puts the package where the interpreter finds it, whole and self-contained.
# Runs against the build tree the module was imported from; skipped for an installed module.
import ast
import os
import pathlib
import re
import subprocess
import sys

import pytest

import norvale
from conftest import DATA, REPO

BUILD = pathlib.Path(norvale.__file__).resolve().parents[2]
CACHE = BUILD / "CMakeCache.txt"


def cached(name):
    for line in CACHE.read_text().splitlines():
        if line.startswith(name + ":"):
            return line.split("=", 1)[1]
    raise KeyError(name)


@pytest.mark.skipif(not CACHE.exists(), reason="the module does not come from a build tree")
def test_installed_package_imports_and_decodes(tmp_path):
    subprocess.run(["cmake", "--install", str(BUILD), "--component", "python", "--prefix", str(tmp_path)],
                   check=True, capture_output=True)
    site = tmp_path / cached("NORVALE_PYTHON_INSTALL_DIR")
    package = site / "norvale"
    assert {"__init__.py", "__init__.pyi", "py.typed"} <= {p.name for p in package.iterdir()}
    (module,) = package.glob("_norvale*.so")
    assert "norvale" not in subprocess.run(["ldd", str(module)], capture_output=True, text=True).stdout
    script = "import norvale, sys; print(norvale.__file__); print(norvale.decode(sys.argv[1]).text)"
    run = subprocess.run([sys.executable, "-c", script, str(DATA / "content/eci-26.png")], cwd=tmp_path,
                         env={"PYTHONPATH": str(site)}, capture_output=True, text=True, check=True)
    assert run.stdout.splitlines() == [str(package / "__init__.py"), "Ünïcode"]


@pytest.mark.skipif(not CACHE.exists() or cached("CMAKE_INSTALL_PREFIX") != "/usr/local",
                    reason="not the default prefix of a build tree")
def test_the_default_prefix_is_on_the_interpreters_path():
    folder = os.path.join("/usr/local", cached("NORVALE_PYTHON_INSTALL_DIR"))
    run = subprocess.run([sys.executable, "-c", "import sys; print('\\n'.join(sys.path))"], env={},
                         capture_output=True, text=True, check=True)
    assert folder in run.stdout.splitlines()


def test_the_pip_package_has_the_librarys_version():
    run = subprocess.run([sys.executable, "setup.py", "--version"], cwd=REPO, capture_output=True, text=True,
                         check=True)
    assert run.stdout.split()[-1] == norvale.__version__


def test_the_stubs_name_what_the_module_has():
    stubs = ast.parse((pathlib.Path(norvale.__file__).parent / "__init__.pyi").read_text())
    top = {node.name for node in stubs.body if isinstance(node, (ast.FunctionDef, ast.ClassDef))}
    assert top == {name for name in norvale.__all__ if not name.startswith("_")}
    (result,) = [node for node in stubs.body if isinstance(node, ast.ClassDef) and node.name == "Result"]
    properties = {node.name for node in result.body if isinstance(node, ast.FunctionDef) and node.decorator_list}
    assert properties == {name for name, value in vars(norvale.Result).items() if isinstance(value, property)}
    for function in ("decode", "decode_all"):
        (stub,) = [node for node in stubs.body if isinstance(node, ast.FunctionDef) and node.name == function]
        signature = getattr(norvale, function).__doc__.splitlines()[0]  # pybind11 writes it first
        assert re.findall(r"(\w+): ", signature) == [a.arg for a in stub.args.args + stub.args.kwonlyargs]
