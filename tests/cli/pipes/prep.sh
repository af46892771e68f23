# The tree most cases work on, made once: a name holding a newline, one with bytes that are not
# UTF-8, a link, a backup and a file that fails; modes and dates differ from file to file.
# Its names and modes are POSIX ones: a Windows build's cases do not use it.
[ -z "${3:-}" ] || return 0
C=$(realpath "$2")
pack() { printf '%s' "$2" >"$1" && "$C" "$1" >/dev/null && rm -f "$1.BAK"; }
mkdir -p d/sub &&
    pack d/a 'aaaa aaaa aaaa aaaa' &&
    pack $'d/new\nline' 'a name with a newline' &&
    pack $'d/sub/\xff\xfe' 'bytes that are not UTF-8' &&
    printf 'VKT2\005\000' >d/cut &&
    printf 'plain text' >d/sub/plain &&
    printf 'kept' >d/a.BAK &&
    ln -s a d/link &&
    printf 'temp' >'d/x.$$$' &&
    chmod 640 d/a && chmod 600 d/sub/plain && chmod 751 d/a.BAK &&
    touch -d '2001-02-03 04:05:06' d/a d/sub/plain &&
    touch -d '2002-03-04 05:06:07' d/a.BAK
