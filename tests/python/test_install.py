"""`cmake --install` puts the package where the interpreter it was built for finds it under
the prefix, and the installed package decodes without the build tree."""

import os
import subprocess
import sys

import pytest

BUILD = os.environ.get("VORNIX_BUILD_DIR")
PACKAGES = os.environ.get("VORNIX_PYTHON_INSTALL_DIR")
CLI = os.environ.get("VORNIX_CLI", "vornix")
CMAKE = os.environ.get("VORNIX_CMAKE", "cmake")


@pytest.mark.skipif(not BUILD or not PACKAGES, reason="run by CTest, which names the build")
def test_the_installed_package_imports_and_decodes(tmp_path):
    prefix = tmp_path / "prefix"
    subprocess.run([CMAKE, "--install", BUILD, "--prefix", str(prefix), "--component", "Python"],
                   check=True, capture_output=True)
    keys = tmp_path / "keys.wav"
    subprocess.run([CLI, "gen", "dtmf", "73", "-o", str(keys)], check=True, capture_output=True)
    script = "import sys, vornix; print(vornix.__file__); print(''.join(e['RecvChar'] for e in vornix.decode(sys.argv[1])))"
    env = dict(os.environ, PYTHONPATH=str(prefix / PACKAGES))
    out = subprocess.run([sys.executable, "-c", script, str(keys)], check=True, capture_output=True, text=True,
                         env=env, cwd=tmp_path).stdout.split()
    assert out[0].startswith(str(prefix / PACKAGES / "vornix"))
    assert out[1] == "73"
