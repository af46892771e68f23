#!/usr/bin/env bash
# CI for what users install: the Debian packages (lintian-clean, installed, used by programs in C,
# C++ and Python and through python3-vkt2's module, removed without a trace) and the Windows zip
# (a tool and a C program run from the unpacked folder under Wine). Run as root from the top of the tree.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive
# Debian's Python alone: pybuild would otherwise build for whatever python3 comes first on PATH.
PATH=$(tr : '\n' <<<"$PATH" | grep -v pyenv | paste -sd :)
apt-get -o DPkg::Lock::Timeout=600 install -y -qq build-essential debhelper libgtest-dev strace \
  lintian file man-db pkg-config python3 cmake g++ groff-base zip unzip g++-mingw-w64-i686 \
  g++-mingw-w64-x86-64 wine64 emscripten dh-python python3-all-dev python3-setuptools \
  python3-pytest python3-hypothesis python3-numpy shared-mime-info libglib2.0-bin libarchive-dev \
  libarchive-tools >/dev/null
# Node with its own npm may be there already; Debian's npm would conflict with it.
command -v npm >/dev/null || apt-get -o DPkg::Lock::Timeout=600 install -y -qq nodejs npm >/dev/null
packages=(vkt2 libvkt2-1 libvkt2-dev python3-vkt2)

work=$(mktemp -d)
installed=
cleanup() {
  # A failed run takes its packages away too; it would leave a machine that others build on.
  if [ "$installed" ]; then
    apt-get -o DPkg::Lock::Timeout=600 remove -y -qq "${packages[@]}" >/dev/null || true
  fi
  # Wine's server outlives the programs for a while and writes to its prefix until it ends.
  WINEPREFIX="$work/wine" /usr/lib/wine/wineserver64 -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "packages: $*" >&2; exit 1; }

echo "== Debian packages"
# Built from a copy, as dpkg-buildpackage leaves the packages beside the source folder. The
# suite runs again, as the tools here are linked dynamically.
version=$(dpkg-parsechangelog -S Version)
header=$(sed -n 's/^#define VKT2_VERSION_STRING "\(.*\)"/\1/p' core/include/vkt2/vkt2.h)
[ "$version" = "$header" ] || fail "debian/changelog is at $version, vkt2.h at $header"
tree="$work/vkt2-$version"
mkdir "$tree"
git ls-files -co --exclude-standard -z | xargs -0 cp --parents -t "$tree"
# The package takes the page prebuilt: Debian has no fflate to build it offline.
[ -f web/dist/vkt2.html ] || { npm --prefix web ci --no-audit --no-fund && npm --prefix web run build; }
cp --parents web/dist/vkt2.html "$tree"
(cd "$tree" && env -u CXXFLAGS DEB_BUILD_OPTIONS=parallel=2 DEB_CXXFLAGS_MAINT_APPEND=-Werror \
  DEB_CFLAGS_MAINT_APPEND=-Werror dpkg-buildpackage -us -uc -b >"$work/build.log" 2>&1) ||
  { tail -n 40 "$work/build.log"; fail "dpkg-buildpackage failed"; }
arch=$(dpkg --print-architecture)
debs=()
for p in "${packages[@]}"; do debs+=("$work/${p}_${version}_$arch.deb"); done
TMPDIR="$work" lintian --fail-on error,warning "${debs[@]}"

installed=1
apt-get -o DPkg::Lock::Timeout=600 install -y -qq "${debs[@]}" >/dev/null
files=$(dpkg -L "${packages[@]}" | sort -u)

echo "== consumers of the installed packages"
cp examples/greeting.vkt2 "$work/greeting"
vkt2x "$work/greeting" >/dev/null
# pkg-config's flags are meant to be split into words.
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Wpedantic -Werror examples/consumer-c/vkt2cat.c \
  $(pkg-config --cflags --libs vkt2) -o "$work/vkt2cat"
grep -q "libvkt2.so.1 => /.*/libvkt2.so.1" <<<"$(ldd "$work/vkt2cat")" ||
  fail "vkt2cat does not use the installed libvkt2.so.1"
"$work/vkt2cat" examples/greeting.vkt2 | cmp - "$work/greeting"
# And statically, from libvkt2-dev's libvkt2.a.
# shellcheck disable=SC2046
cc -std=c99 -static examples/consumer-c/vkt2cat.c $(pkg-config --static --cflags --libs vkt2) \
  -o "$work/vkt2cat-static"
"$work/vkt2cat-static" examples/greeting.vkt2 | cmp - "$work/greeting"
cmake -S examples/consumer-cpp -B "$work/consumer-cpp" >/dev/null
cmake --build "$work/consumer-cpp" >/dev/null
"$work/consumer-cpp/vkt2_roundtrip" <README.md
python3 examples/python/vkt2_roundtrip.py
# The module as Debian's own interpreter finds it: isolated, so nothing in the tree stands in.
/usr/bin/python3 -I - examples/greeting.vkt2 "$work/greeting" "$header" <<'EOF'
import sys, vkt2
file, data = (open(name, "rb").read() for name in sys.argv[1:3])
assert vkt2.__file__.startswith("/usr/lib/python3/dist-packages/vkt2/"), vkt2.__file__
assert vkt2.__version__ == sys.argv[3], vkt2.__version__
assert vkt2.test(file).verdict is vkt2.Grade.PASS and vkt2.decompress(file) == data
assert vkt2.decompress(vkt2.compress(data)) == data
EOF
page=$(MANWIDTH=200 man -P cat vkt2 2>&1 || true)
grep -q "^ *vkt2 - decompress, compress, test and list" <<<"$page" || fail "man vkt2 shows: $page"
described=$(file -b -m /usr/share/vkt2/vkt2.magic:/usr/share/misc/magic examples/greeting.vkt2)
[ "$described" = "VKT2 compressed data, original size 256" ] || fail "file says: $described"
# shared-mime-info's trigger has compiled the type into the system's database, for file managers.
mime() { gio info -a standard::content-type "$1" | sed -n 's/^ *standard::content-type: //p'; }
cp examples/greeting.vkt2 "$work/DATA"
[ "$(mime "$work/DATA")" = application/x-vkt2 ] || fail "the desktop takes a VKT2 file for $(mime "$work/DATA")"

echo "== removal leaves nothing behind"
apt-get -o DPkg::Lock::Timeout=600 remove -y -qq "${packages[@]}" >/dev/null
installed=
# Nothing to purge either: no configuration file stays behind.
for p in "${packages[@]}"; do
  state=$(dpkg-query -W -f '${db:Status-Status}' "$p" 2>/dev/null || true)
  [ -z "$state" ] || [ "$state" = not-installed ] || fail "$p is left $state"
done
left=$(while read -r f; do
  if [ ! -d "$f" ] && { [ -e "$f" ] || [ -L "$f" ]; }; then echo "$f"; fi
done <<<"$files")
[ -z "$left" ] || fail "left after removal: $left"
! grep -q libvkt2 <<<"$(ldconfig -p)" || fail "the loader cache still lists libvkt2"
[ ! -e /usr/share/mime/application/x-vkt2.xml ] || fail "the MIME database still knows application/x-vkt2"
# Nor the byte code compiled on install, which is in no package's list of files.
for d in /usr/include/vkt2 /usr/share/vkt2 "/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake/vkt2" \
  /usr/lib/python3/dist-packages/vkt2 /usr/lib/python3/dist-packages/vkt2-"$header".egg-info; do
  [ ! -e "$d" ] || fail "left after removal: $d"
done

echo "== the same build installed under another prefix, as the README's cmake --install does"
prefix="$work/prefix"
cmake --install "$tree"/obj-* --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name libvkt2.so)")
# shellcheck disable=SC2046
cc -std=c99 examples/consumer-c/vkt2cat.c \
  $(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs vkt2) -o "$work/vkt2cat-prefix"
LD_LIBRARY_PATH="$libdir" "$work/vkt2cat-prefix" examples/greeting.vkt2 | cmp - "$work/greeting"
cmake -S examples/consumer-cpp -B "$work/consumer-prefix" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer-prefix" >/dev/null
LD_LIBRARY_PATH="$libdir" "$work/consumer-prefix/vkt2_roundtrip" <README.md >/dev/null

echo "== Windows zips"
# Both are built and checked; the win64 one runs, as 32-bit Wine needs what not every kernel has.
for winarch in i686 x86_64; do
  b="$work/win-$winarch"
  cmake -S . -B "$b" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DVKT2_WINDOWS_ARCH=$winarch \
    -DBUILD_SHARED_LIBS=ON -DVKT2_BUILD_TESTS=OFF >/dev/null
  cmake --build "$b" -j2 >/dev/null
  (cd "$b" && cpack -G ZIP >/dev/null)
  name=vkt2-$version-win$([ $winarch = i686 ] && echo 32 || echo 64)
  unzip -q "$b/$name.zip" -d "$work/zip"
  top="$work/zip/$name"
  for f in bin/vkt2.exe bin/vkt2x.exe bin/vkt2c.exe bin/libvkt2.dll lib/libvkt2.dll.a \
    include/vkt2/vkt2.h include/vkt2/vkt2.hpp README.txt LICENSE.txt \
    bin/vkt2.html man/vkt2.1.txt man/vkt2x.1.txt man/vkt2c.1.txt; do
    [ -f "$top/$f" ] || fail "$name.zip lacks $f"
  done
  for f in README.txt LICENSE.txt man/vkt2.1.txt; do
    ! grep -qv $'\r$' "$top/$f" || fail "$name: $f has a line not ended by CR LF"
  done
  $winarch-w64-mingw32-gcc -std=c99 -Wall -Wextra -Werror examples/consumer-c/vkt2cat.c \
    -I"$top/include" -L"$top/lib" -lvkt2 -o "$top/bin/vkt2cat.exe"
  # Nothing but Windows' own DLLs and libvkt2.dll: no MinGW runtime needs shipping.
  for f in "$top"/bin/*.exe "$top"/bin/*.dll; do
    imports=$($winarch-w64-mingw32-objdump -p "$f" | awk '/DLL Name:/ {print $3}')
    extra=$(grep -viE '^(kernel32|msvcrt|advapi32|user32|libvkt2)\.dll$' <<<"$imports" || true)
    [ -z "$extra" ] || fail "$name: $(basename "$f") needs $extra"
  done
done
top="$work/zip/vkt2-$version-win64"
wine=(env WINEDEBUG=-all WINELOADER=/usr/lib/wine/wine64 WINEPREFIX="$work/wine" /usr/lib/wine/wine64)
cp examples/greeting.vkt2 "$top/greeting"
(cd "$top" && "${wine[@]}" bin/vkt2x.exe greeting >/dev/null)
cmp "$top/greeting" "$work/greeting"
(cd "$top/bin" && "${wine[@]}" vkt2cat.exe ../greeting.BAK) | cmp - "$work/greeting"
echo "packages: all checks passed"
