#!/usr/bin/env bash
# CI for the library as others use it: built from source through add_subdirectory, its C header
# compiled alone, the shared library's exports against core/libvkt2.symbols, its ABI against the
# baseline core/abi/libvkt2.abi, C and C++ programs built against an install of it alone; then
# every shell script through shellcheck and every C and C++ source through clang-format.
# VKT2_ABI_UPDATE=1 writes a new baseline instead of comparing, for a release that adds to the
# interface (never for one that changes it: that takes a new soname).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" = 0 ]; then
  apt-get install -y -qq cmake g++ gcc make binutils shellcheck clang-format abigail-tools \
    pkg-config >/dev/null
fi

echo "== the library through add_subdirectory"
# The consumer's own CMakeLists.txt fails if vkt2 changes its build type or flags, or builds
# anything but the library.
cmake -S examples/consumer-subproject -B build-subproject -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_FLAGS="-std=c89 -Wall -Wextra -Wpedantic -Werror"
cmake --build build-subproject -j2
build-subproject/vkt2_pack <README.md >build-subproject/README.vkt2
build-subproject/vkt2_pack <build-subproject/README.vkt2 >/dev/null

echo "== the C header alone, as C89, C99 and C++"
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
cat >"$probe/probe.c" <<'C'
#include <vkt2/vkt2.h>
#ifdef VKT2_INTERNAL_NOEXCEPT
#error VKT2_INTERNAL_NOEXCEPT leaks out of the header
#endif
static const size_t bound = VKT2_COMPRESS_BOUND(100);
int probe(struct vkt2_verdict* v) { return vkt2_test(0, bound, v); }
C
for std in "cc -x c -std=c89" "cc -x c -std=c99" "c++ -x c++ -std=c++98" "c++ -x c++ -std=c++11" \
  "c++ -x c++ -std=c++20"; do
  $std -Wall -Wextra -Wpedantic -Werror -Icore/include -c "$probe/probe.c" -o "$probe/probe.o"
done
# Every macro the header leaves defined is the library's own or <stddef.h>'s.
echo '#include <stddef.h>' | cc -dM -E -x c - | sort >"$probe/before"
cc -dM -E -Icore/include -x c core/include/vkt2/vkt2.h | sort | comm -13 "$probe/before" - |
  grep -v '^#define VKT2_' >"$probe/stray" || true
if [ -s "$probe/stray" ]; then
  echo "vkt2.h defines macros outside VKT2_:" && cat "$probe/stray" && exit 1
fi

echo "== the shared library's exports, Release and Debug"
grep -v '^#' core/libvkt2.symbols >"$probe/documented"
for type in Release Debug; do
  dir=build-exports-$type
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=$type -DBUILD_SHARED_LIBS=ON -DVKT2_BUILD_TOOLS=OFF \
    -DVKT2_BUILD_TESTS=OFF -DVKT2_INSTALL=OFF >/dev/null
  cmake --build "$dir" -j2 --target vkt2
  nm -D --defined-only --format=just-symbols "$dir/core/libvkt2.so" | c++filt | sed 's/(.*//' |
    LC_ALL=C sort >"$probe/exported"
  if ! diff -u "$probe/documented" "$probe/exported"; then
    echo "$type: libvkt2.so exports differ from core/libvkt2.symbols (- documented, + exported)"
    exit 1
  fi
done

echo "== the ABI against core/abi/libvkt2.abi"
# With debugging information, which abidw reads the types from; the public header alone says
# which types count. Added functions pass; a field added at the end of struct vkt2_verdict
# passes (core/abi/libvkt2.abignore); any other change fails.
abi=build-abi
cmake -S . -B $abi -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_SHARED_LIBS=ON -DVKT2_BUILD_TOOLS=OFF \
  -DVKT2_BUILD_TESTS=OFF -DVKT2_INSTALL=OFF >/dev/null
cmake --build $abi -j2 --target vkt2
if [ "${VKT2_ABI_UPDATE:-}" = 1 ]; then
  abidw --headers-dir core/include/vkt2 --drop-private-types --exported-interfaces-only \
    --no-corpus-path --no-comp-dir-path --short-locs --type-id-style hash \
    $abi/core/libvkt2.so >core/abi/libvkt2.abi
  echo "wrote core/abi/libvkt2.abi"
elif ! abidiff --no-added-syms --suppressions core/abi/libvkt2.abignore \
  --headers-dir2 core/include/vkt2 core/abi/libvkt2.abi $abi/core/libvkt2.so; then
  echo "libvkt2.so's ABI differs from core/abi/libvkt2.abi in a way its users would notice"
  exit 1
fi

echo "== C and C++ programs against the installed shared library alone"
# Installed from the Release build, which the consumers then find through pkg-config and CMake;
# the tree's headers are nowhere on their paths.
release=build-exports-Release
cmake -S . -B $release -DVKT2_INSTALL=ON >/dev/null
cmake --build $release -j2 --target vkt2 vkt2core
prefix="$probe/prefix"
cmake --install $release --prefix "$prefix" >/dev/null
[ ! -e "$prefix/include/vkt2/format.hpp" ] || { echo "format.hpp is installed"; exit 1; }
libdir=$(dirname "$(find "$prefix" -name libvkt2.so)")
export PKG_CONFIG_PATH="$libdir/pkgconfig"
# pkg-config's flags are meant to be split into words.
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Wpedantic -Werror examples/consumer-c/vkt2cat.c \
  $(pkg-config --cflags --libs vkt2) -o "$probe/vkt2cat"
grep -q "libvkt2.so.1 => $libdir/libvkt2.so.1" <<<"$(LD_LIBRARY_PATH="$libdir" ldd "$probe/vkt2cat")" ||
  { echo "vkt2cat does not use the installed libvkt2.so.1"; exit 1; }
cp examples/greeting.vkt2 "$probe/greeting"
LD_LIBRARY_PATH="$libdir" "$probe/vkt2cat" "$probe/greeting" >"$probe/greeting.out"
head -c 20 examples/greeting.vkt2 >"$probe/cut"
if LD_LIBRARY_PATH="$libdir" "$probe/vkt2cat" "$probe/cut" 2>"$probe/why"; then
  echo "vkt2cat decoded a file cut short"; exit 1
fi
grep -q "^$probe/cut: cut short: the file ends before its stream does; the last [0-9]* of its 256 decoded bytes are missing$" "$probe/why" ||
  { echo "vkt2cat says: $(cat "$probe/why")"; exit 1; }
# Statically, as pkg-config --static has it: no libvkt2.so needed at run time.
# shellcheck disable=SC2046
cc -std=c99 -static examples/consumer-c/vkt2cat.c $(pkg-config --static --cflags --libs vkt2) \
  -o "$probe/vkt2cat-static"
"$probe/vkt2cat-static" "$probe/greeting" | cmp - "$probe/greeting.out"
cmake -S examples/consumer-cpp -B "$probe/consumer-cpp" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror" >/dev/null
cmake --build "$probe/consumer-cpp" >/dev/null
LD_LIBRARY_PATH="$libdir" "$probe/consumer-cpp/vkt2_roundtrip" <README.md >/dev/null
python3 examples/python/vkt2_roundtrip.py "$libdir/libvkt2.so.1" >/dev/null

echo "== shellcheck"
mapfile -t scripts < <(git ls-files '*.sh' .ci/run)
shellcheck "${scripts[@]}"

echo "== clang-format"
mapfile -t sources < <(git ls-files '*.c' '*.h' '*.cpp' '*.hpp')
clang-format --dry-run -Werror "${sources[@]}"
