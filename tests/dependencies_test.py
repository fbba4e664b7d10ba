"""Every third-party Python module that the suite or a script imports comes
from a Debian package that scripts/install-deps installs: for `make test`
when the suite needs it, or, for a module only an optional script uses, as
an argument that script passes when it runs (tg.ensure_packages).

A machine where the package was installed by hand passes the suite without
it; a bare machine's `make test` then fails on the import. This test reads
the imports instead of running them, so it fails on any machine.

    python3 tests/dependencies_test.py
"""
import ast
import os
import subprocess
import sys
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Where the project keeps Python: the suite's tests, the scripts, and any
# examples or tools written in it.
FOLDERS = ["tests", "scripts", "tools", "examples", "python"]
# Modules whose Debian package is not python3-<module>.
PACKAGE_OF = {}
# The project's own modules: the scripts' shared module and the module the
# build makes.
LOCAL = {"tintara_tools", "tintara"}


def python_files():
    for folder in FOLDERS:
        for top, _, names in os.walk(os.path.join(ROOT, folder)):
            for name in sorted(names):
                path = os.path.join(top, name)
                try:
                    with open(path, encoding="utf-8") as f:
                        text = f.read()
                except (UnicodeDecodeError, OSError):
                    continue
                first = text.split("\n", 1)[0]
                if name.endswith(".py") or (first.startswith("#!") and "python" in first):
                    yield os.path.relpath(path, ROOT), text


def imported_modules(text):
    """The top-level names of every module imported anywhere in `text`."""
    names = set()
    for node in ast.walk(ast.parse(text)):
        if isinstance(node, ast.Import):
            names.update(a.name.split(".")[0] for a in node.names)
        elif isinstance(node, ast.ImportFrom) and node.module and node.level == 0:
            names.add(node.module.split(".")[0])
    return names


def ensured_modules(text):
    """The modules a script installs for itself: tg.ensure_packages(modules=[...])."""
    names = set()
    for node in ast.walk(ast.parse(text)):
        if (isinstance(node, ast.Call) and getattr(node.func, "attr", None) == "ensure_packages"):
            for keyword in node.keywords:
                if keyword.arg == "modules" and isinstance(keyword.value, (ast.List, ast.Tuple)):
                    names.update(e.value for e in keyword.value.elts
                                 if isinstance(e, ast.Constant))
    return names


def install_groups():
    """install-deps' groups of packages: {"program": [...], "test": [...], ...}."""
    out = subprocess.run(["sh", os.path.join(ROOT, "scripts", "install-deps"), "--list"],
                         capture_output=True, text=True, check=True).stdout
    groups = {}
    for line in out.splitlines():
        group, _, packages = line.partition(":")
        groups[group.strip()] = packages.split()
    return groups


class InstallDeps(unittest.TestCase):
    def test_every_imported_module_is_installed_for_the_suite_or_by_its_script(self):
        groups = install_groups()
        suite = set(groups["program"]) | set(groups["test"])
        optional = set(groups["script-only"])
        local = LOCAL | {os.path.splitext(name)[0] for name in os.listdir(
            os.path.join(ROOT, "scripts"))}
        seen = set()
        for path, text in python_files():
            ensured = ensured_modules(text)
            for module in imported_modules(text):
                if module in sys.stdlib_module_names or module in local:
                    continue
                seen.add(module)
                package = PACKAGE_OF.get(module, "python3-" + module)
                with self.subTest(path=path, module=module):
                    if package in suite:
                        continue
                    self.assertTrue(
                        package in optional and module in ensured,
                        "%s imports %s, whose package %s scripts/install-deps does not install "
                        "for make test%s" % (path, module, package,
                                             "" if package not in optional else
                                             " (it is script-only, but %s does not ask for it "
                                             "with ensure_packages)" % path))
        # The check saw the imports it is there for.
        self.assertTrue({"networkx", "numpy", "matplotlib"} <= seen, seen)


if __name__ == "__main__":
    unittest.main()
