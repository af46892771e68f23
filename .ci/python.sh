#!/usr/bin/env bash
# CI for the Python package: from Debian's packages alone, build the wheel, install it in a
# fresh venv, and run its tests (and the dask example's) against the native tools in build/,
# built here when .ci/run has not built them first; then build it again from its source
# archive, away from the tree, once with the library compiled in and once linked to an
# installed libvkt2.so.1.
set -euo pipefail
cd "$(dirname "$0")/.."
echo "== the Python package: wheel, venv, tests"

if [ "$(id -u)" = 0 ]; then
  apt-get install -y -qq -o DPkg::Lock::Timeout=600 python3-dev python3-setuptools python3-wheel python3-build python3-venv \
    python3-pip python3-pytest python3-hypothesis python3-numpy python3-dask python3-distributed \
    python3-fsspec make dpkg-dev cmake g++ >/dev/null
fi

# Debian's own interpreter, whatever else is first on PATH.
py=/usr/bin/python3
native=$PWD/build
if [ ! -x "$native/vkt2" ] || [ ! -x "$native/vkt2c" ]; then
  cmake -S . -B build -DVKT2_BUILD_TESTS=OFF >/dev/null && cmake --build build -j2 --target vkt2_tool vkt2c >/dev/null
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd python && CFLAGS="-Werror" $py -m build --wheel --no-isolation --outdir "$work/dist") \
  >"$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }
$py -m venv --system-site-packages "$work/venv"
"$work/venv/bin/pip" install -q --no-index "$work"/dist/vkt2-*.whl
# python/src is not on the path: the tests import the installed package. pytest ends with status
# 5 when it collects nothing, which fails this script too.
(cd python && VKT2_NATIVE_DIR="$native" "$work/venv/bin/python" -m pytest -q -rs tests)
# The other install path users are given: pip straight from the folder.
"$work/venv/bin/pip" install -q --no-build-isolation --force-reinstall ./python
"$work/venv/bin/python" -c 'import vkt2; assert vkt2.decompress(vkt2.compress(b"ok")) == b"ok"'

echo "== from its source archive, away from the tree"
(cd python && $py -m build --sdist --no-isolation --outdir "$work/sdist") >"$work/build.log" 2>&1 ||
  { cat "$work/build.log"; exit 1; }
[ ! -e python/core ] || { echo "building the source archive left python/core behind"; exit 1; }
mkdir "$work/unpacked"
tar -xzf "$work"/sdist/vkt2-*.tar.gz -C "$work/unpacked"
src=$(echo "$work"/unpacked/vkt2-*)
[ -f "$src/core/include/vkt2/vkt2.h" ] || { echo "the source archive lacks the library"; exit 1; }
(cd "$src" && CFLAGS="-Werror" $py -m build --wheel --no-isolation --outdir "$work/dist-sdist") \
  >"$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }
"$work/venv/bin/pip" install -q --no-index --force-reinstall "$work"/dist-sdist/vkt2-*.whl
(cd python && VKT2_NATIVE_DIR="$native" "$work/venv/bin/python" -m pytest -q tests)

echo "== linked to an installed libvkt2.so.1"
cmake -S . -B "$work/lib" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON -DVKT2_BUILD_TOOLS=OFF \
  -DVKT2_BUILD_TESTS=OFF >/dev/null
cmake --build "$work/lib" -j2 --target vkt2 vkt2core >/dev/null
cmake --install "$work/lib" --prefix "$work/prefix" >/dev/null
libdir=$(dirname "$(find "$work/prefix" -name libvkt2.so.1)")
(cd "$src" && rm -rf build && VKT2_SYSTEM_LIBRARY=1 CFLAGS="-Werror" CPPFLAGS="-I$work/prefix/include" \
  LDFLAGS="-L$libdir" $py -m build --wheel --no-isolation --outdir "$work/dist-system") \
  >"$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }
"$work/venv/bin/pip" install -q --no-index --force-reinstall "$work"/dist-system/vkt2-*.whl
module=$(LD_LIBRARY_PATH="$libdir" "$work/venv/bin/python" -c 'import vkt2._vkt2 as m; print(m.__file__)')
grep -q "libvkt2.so.1 => $libdir/libvkt2.so.1" <<<"$(LD_LIBRARY_PATH="$libdir" ldd "$module")" ||
  { echo "the module does not use the installed libvkt2.so.1"; exit 1; }
! nm -D --defined-only "$module" | grep -q ' vkt2_' || { echo "the module has the library in it"; exit 1; }
(cd python && LD_LIBRARY_PATH="$libdir" VKT2_NATIVE_DIR="$native" "$work/venv/bin/python" -m pytest -q tests)
