#!/usr/bin/env bash
# CI for the library as others use it: built from source through add_subdirectory, its C header
# compiled alone, the shared library's exports against core/libvkt2.symbols; then shellcheck on
# every shell script and clang-format on every C and C++ source.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" = 0 ]; then
  apt-get install -y -qq cmake g++ gcc make binutils shellcheck clang-format >/dev/null
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
for std in "cc -x c -std=c89" "cc -x c -std=c99" "c++ -x c++ -std=c++11" "c++ -x c++ -std=c++20"; do
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

echo "== shellcheck"
mapfile -t scripts < <(git ls-files '*.sh' .ci/run)
shellcheck "${scripts[@]}"

echo "== clang-format"
mapfile -t sources < <(git ls-files '*.c' '*.h' '*.cpp' '*.hpp')
clang-format --dry-run -Werror "${sources[@]}"
