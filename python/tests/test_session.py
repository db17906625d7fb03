"""One session end to end: the README's example, run as written."""

import os
import re
import subprocess
import sys
import textwrap

import talixdb

README = os.environ.get("TALIXDB_TEST_README", os.path.join(os.path.dirname(__file__), "..", "..", "README.md"))

# Runs the example; without matplotlib (not a dependency of the module or of
# its tests) a stand-in takes the plotting calls.
RUNNER = textwrap.dedent("""\
    import sys, types
    try:
        import matplotlib
        matplotlib.use("Agg")
    except ImportError:
        pyplot = types.ModuleType("matplotlib.pyplot")
        pyplot.__getattr__ = lambda name: (lambda *args, **kwargs: None)
        sys.modules["matplotlib"] = types.ModuleType("matplotlib")
        sys.modules["matplotlib"].pyplot = sys.modules["matplotlib.pyplot"] = pyplot
    exec(compile(open(sys.argv[1]).read(), "README example", "exec"), {"__name__": "__main__"})
    """)


def readme_example():
    with open(README) as readme:
        text = readme.read()
    section = text[text.index("\n## Python"):]
    return re.search(r"```python\n(.*?)```", section, re.S).group(1)


def test_readme_example_runs_end_to_end(server, users, tmp_path):
    (tmp_path / "example.py").write_text(readme_example())
    package_root = os.path.dirname(os.path.dirname(talixdb.__file__))
    environment = dict(os.environ, MODELDATABASE_HOME="http://%s/vlt/services/QuillonBinding" % server.address,
                       PYTHONPATH=os.pathsep.join(filter(None, [package_root, os.environ.get("PYTHONPATH")])))
    for run in range(2):  # a second run starts afresh
        done = subprocess.run([sys.executable, "-c", RUNNER, "example.py"], cwd=tmp_path, env=environment,
                              capture_output=True, text=True, timeout=120)
        assert done.returncode == 0, done.stderr
        assert "amplitudes of 3 reports on 2 modes" in done.stdout
    try:
        import matplotlib  # noqa: F401
        assert (tmp_path / "amplitudes.png").stat().st_size > 0
    except ImportError:
        pass
