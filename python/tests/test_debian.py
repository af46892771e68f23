# The Debian package's build stops at once, and says what to do, when the python3 that pybuild
# would use is not Debian's or lacks what the build and its tests import.
import os
import shutil
import subprocess
from pathlib import Path

import pytest

RULES = Path(__file__).resolve().parents[2] / "debian" / "rules"


@pytest.fixture(scope="module")
def architecture():
    """dpkg-architecture's variables, found once: the rules would run it for each."""
    if not RULES.is_file() or not shutil.which("make") or not shutil.which("dpkg-architecture"):
        pytest.skip("not run from a Debian source tree, or no make or dpkg-architecture")
    lines = subprocess.run(["dpkg-architecture"], capture_output=True, text=True, check=True)
    return dict(line.split("=", 1) for line in lines.stdout.splitlines())


def check(tmp_path, architecture, prefix, missing="", options=""):
    fake = tmp_path / "python3"
    fake.write_text(f"""#!/bin/sh
case "$2" in
  *sys.prefix*) echo {prefix} ;;
  "import {missing}") exit 1 ;;
esac
""")
    fake.chmod(0o755)
    env = dict(os.environ, **architecture, PATH=f"{tmp_path}:/usr/bin:/bin",
               DEB_BUILD_OPTIONS=options)
    return subprocess.run(["make", "-s", "-f", RULES, "check-python"], env=env,
                          cwd=RULES.parents[1], capture_output=True, text=True)


def test_foreign_python3_stops_the_build(tmp_path, architecture):
    ran = check(tmp_path, architecture, "/root/.pyenv/versions/3.11.7")
    assert ran.returncode != 0
    assert f"python3 first on PATH is {tmp_path}/python3" in ran.stderr
    assert "PATH=/usr/bin:$PATH" in ran.stderr


def test_missing_modules_are_named(tmp_path, architecture):
    ran = check(tmp_path, architecture, "/usr", missing="pytest")
    assert ran.returncode != 0
    assert "cannot import pytest: apt-get install python3-pytest" in ran.stderr
    assert "DEB_BUILD_OPTIONS=nocheck" in ran.stderr
    ran = check(tmp_path, architecture, "/usr", missing="pytest", options="nocheck")
    assert ran.returncode == 0
    ran = check(tmp_path, architecture, "/usr", missing="setuptools", options="nocheck")
    assert ran.returncode != 0 and "python3-setuptools" in ran.stderr
    assert check(tmp_path, architecture, "/usr").returncode == 0
