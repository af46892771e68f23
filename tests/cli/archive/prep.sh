# The archives and the files that embed VKT2 files, written once by make.py; with their offsets
# in NAME.txt. A build that reads no archives needs only the zip.
make=$(dirname "${BASH_SOURCE[0]}")/make.py
python3 "$make" zip || exit 1
if "${@:2}" "$(realpath "$1")" -V | tr -d '\r' | grep -q '^archives: libarchive '; then
    : >archives
    for what in lzh cab tgz bomb; do python3 "$make" $what || exit 1; done
    for what in host large dense; do python3 "$make" $what >$what.txt || exit 1; done
fi
