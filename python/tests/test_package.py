"""The package's face: version, documentation and type stubs."""

import ast
import inspect
import pathlib
import re

import varrowin
from conftest import source_path

PUBLIC_FUNCTIONS = ["read_mp", "margin_shifts", "range_centroids", "mcp_area", "convex_hull"]


def test_version_is_the_library_version():
    header = source_path("include/varrowin/Version.h").read_text()
    assert re.search(r'kVersion = "([0-9.]+)"', header).group(1) == varrowin.__version__


def test_help_explains_every_argument():
    for name in PUBLIC_FUNCTIONS:
        function = getattr(varrowin, name)
        text = inspect.getdoc(function)
        documented = text if name != "range_centroids" else inspect.getdoc(varrowin.margin_shifts)
        for parameter in inspect.signature(function).parameters:
            assert re.search(r"\b%s\b" % parameter, documented), (name, parameter)


def test_margin_shift_arguments_in_the_command_line_order():
    parameters = inspect.signature(varrowin.margin_shifts).parameters
    assert list(parameters) == ["path", "start_year", "axis", "threshold", "burn_in",
                                "patch_size_threshold", "smoothing", "window"]
    assert [parameters[name].default for name in list(parameters)[4:]] == [0, 0, None, None]
    assert inspect.signature(varrowin.range_centroids) == inspect.signature(varrowin.margin_shifts)


def test_installed_stubs_match_the_functions():
    folder = pathlib.Path(varrowin.__file__).parent
    assert (folder / "py.typed").is_file()
    stubs = ast.parse((folder / "__init__.pyi").read_text())
    stubbed = {node.name: node for node in stubs.body if isinstance(node, ast.FunctionDef)}
    assert sorted(stubbed) == sorted(PUBLIC_FUNCTIONS)
    for name, node in stubbed.items():
        real = inspect.signature(getattr(varrowin, name)).parameters
        assert [argument.arg for argument in node.args.args] == list(real), name
        defaults = [parameter for parameter in real.values()
                    if parameter.default is not inspect.Parameter.empty]
        assert len(node.args.defaults) == len(defaults), name
    classes = {node.name for node in stubs.body if isinstance(node, ast.ClassDef)}
    assert {"VarrowinError", "Table", "MPContents"} <= classes
