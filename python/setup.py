# Builds vkt2._vkt2 with libvkt2 compiled in from its own sources, or, with
# VKT2_SYSTEM_LIBRARY=1, linked to the system's libvkt2.so.1 instead. The sources are ../core
# in the source tree and core/ in a source archive, which carries a copy; the version is the one
# the library's C header states.
import os
import re
import shutil
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.sdist import sdist

here = Path(__file__).resolve().parent
inside, beside = here / "core", here.parent / "core"
core = next((c for c in (inside, beside) if (c / "include" / "vkt2" / "vkt2.h").is_file()), None)
if core is None:
    raise SystemExit(f"vkt2: the library's sources are in neither {inside} nor {beside}")
header = core / "include" / "vkt2" / "vkt2.h"
version = re.search(r'^#define VKT2_VERSION_STRING "([^"]+)"', header.read_text(), re.M)[1]
system_library = os.environ.get("VKT2_SYSTEM_LIBRARY", "") not in ("", "0")

# setuptools takes only paths relative to this folder.
relative = os.path.relpath(core, here)
flags = ["-std=c++20", "-fvisibility=hidden", "-Wall", "-Wextra", "-Wpedantic", "-Wconversion",
         "-Wshadow"]
if system_library:
    # The module calls the C interface alone, which the shared library keeps stable; its
    # headers and the library come from the compiler's paths (CPPFLAGS and LDFLAGS add more).
    extension = Extension("vkt2._vkt2", sources=["src/vkt2/_vkt2.cpp"], libraries=["vkt2"],
                          language="c++", extra_compile_args=flags)
else:
    extension = Extension(
        "vkt2._vkt2",
        sources=["src/vkt2/_vkt2.cpp"] + [f"{relative}/{p.name}" for p in sorted(core.glob("*.cpp"))],
        include_dirs=[f"{relative}/include"],
        language="c++",
        extra_compile_args=flags,
    )


class sdist_with_core(sdist):
    """Puts the library's sources into the archive, so that it builds away from the tree."""

    def make_release_tree(self, base_dir, files):
        # The sources listed as ../core would land beside the archive's folder, not in it.
        super().make_release_tree(base_dir, [f for f in files if not f.startswith("..")])
        if core == beside:
            shutil.copytree(core, Path(base_dir) / "core",
                            ignore=shutil.ignore_patterns("abi", "*.map", "*.symbols", "*.txt"))


setup(
    version=version,
    package_dir={"": "src"},
    packages=["vkt2"],
    package_data={"vkt2": ["py.typed", "*.pyi"]},
    exclude_package_data={"vkt2": ["*.cpp"]},
    ext_modules=[extension],
    cmdclass={"sdist": sdist_with_core},
)
