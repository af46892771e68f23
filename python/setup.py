# Builds vkt2._vkt2 from the library's own sources in ../core, so no installed libvkt2 is
# needed; the version is the one the library's C header states.
import re
from pathlib import Path

from setuptools import Extension, setup

here = Path(__file__).resolve().parent
core = here.parent / "core"
header = core / "include" / "vkt2" / "vkt2.h"
if not header.is_file():
    raise SystemExit(f"vkt2: the library's sources are not at {core}; build from the source tree")
version = re.search(r'^#define VKT2_VERSION_STRING "([^"]+)"', header.read_text(), re.M)[1]

extension = Extension(
    "vkt2._vkt2",
    # setuptools takes only paths relative to this folder.
    sources=["src/vkt2/_vkt2.cpp"] + [f"../core/{p.name}" for p in sorted(core.glob("*.cpp"))],
    include_dirs=["../core/include"],
    language="c++",
    extra_compile_args=["-std=c++20", "-fvisibility=hidden", "-Wall", "-Wextra", "-Wpedantic",
                        "-Wconversion", "-Wshadow"],
)

setup(
    version=version,
    package_dir={"": "src"},
    packages=["vkt2"],
    package_data={"vkt2": ["py.typed", "*.pyi"]},
    exclude_package_data={"vkt2": ["*.cpp"]},
    ext_modules=[extension],
)
