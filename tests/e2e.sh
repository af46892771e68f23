#!/usr/bin/env bash
# End-to-end tests: runs vkt2x and vkt2c as a user would, in a scratch folder, and checks the
# exit status, both output streams byte for byte and every file left behind. Each case is named
# by begin_test; a failure prints that name, and a case this system cannot run says why it is
# skipped.
#
# Usage: e2e.sh VKT2X VKT2C [LAUNCHER...]
# With a launcher (such as `env WINEDEBUG=-all wine`) the tools are taken for Windows programs:
# their console lines end in CR LF, and cases that need links, FIFOs or file-size limits are
# skipped.
set -u
# Fresh allocations are filled with junk, so a buffer the tools forget to zero shows.
export LC_ALL=C MALLOC_PERTURB_=165
umask 022
X=$1 C=$2 LAUNCH=("${@:3}") win=${3:+1} NL=$'\n'
[ "$win" ] && NL=$'\r\n'
root=$(mktemp -d) || exit 1
trap 'rm -rf "$root"' EXIT
R=$root/ref W=$root/work
mkdir "$R" "$W" && cd "$W" || exit 1
failures=0 runs=0 cases=0 skipped=0 test_name=

# begin_test NAME: the checks that follow make up the case NAME.
begin_test() {
    test_name=$1
    cases=$((cases + 1))
}
# skip_test NAME WHY: the case NAME cannot run here, for the reason WHY.
skip_test() {
    echo "SKIP: $1: $2"
    skipped=$((skipped + 1))
}
# posix_test NAME NEEDS: begins the case NAME, or skips it for a Windows build, where the tools
# cannot be tested with NEEDS.
posix_test() {
    if [ "$win" ]; then
        skip_test "$1" "a Windows program cannot be tested with $2"
        return 1
    fi
    begin_test "$1"
}
# strace_test NAME: as posix_test, for a case that injects faults with strace.
strace_test() {
    if [ -z "$win" ] && ! command -v strace >/dev/null; then
        skip_test "$1" "strace is not installed"
    elif [ -z "$win" ] && [ "${VKT2_SANITIZED-}" ]; then
        skip_test "$1" "the sanitizers' runtimes cannot run under ptrace, which strace needs"
    else
        posix_test "$1" "strace's fault injection" && return 0
    fi
    return 1
}

fail() { echo "FAIL: $test_name: $*" >&2 && failures=$((failures + 1)); }

# msg VAR HEX...: the message in VAR is the bytes HEX (Shift-JIS text), a full stop, a line end.
msg() {
    local var=$1 hex="${*:2}"
    printf -v "$var" '%b.%s' "\\x${hex// /\\x}" "$NL"
}
msg OPEN 83 74 83 40 83 43 83 8B 82 AA 8A 4A 82 AF 82 DC 82 B9 82 F1
msg READ 83 74 83 40 83 43 83 8B 82 AA 93 C7 82 DD 8D 9E 82 DF 82 DC 82 B9 82 F1
msg NOTVKT2 56 4B 54 32 8C 60 8E AE 82 C5 82 CD 88 B3 8F 6B 82 B3 82 EA 82 C4 82 A2 82 C8 82 A2 82 E6 82 A4 82 C5 82 B7
msg CREATE 88 EA 8E 9E 83 74 83 40 83 43 83 8B 82 AA 8D EC 90 AC 82 C5 82 AB 82 DC 82 B9 82 F1
msg WRITE 88 EA 8E 9E 83 74 83 40 83 43 83 8B 82 C9 8F 91 82 AB 8D 9E 82 DF 82 DC 82 B9 82 F1
msg TRUNC 88 B3 8F 6B 83 66 81 5B 83 5E 82 AA 93 72 92 86 82 C5 8F 49 82 ED 82 C1 82 C4 82 A2 82 DC 82 B7
msg RENAME 83 74 83 40 83 43 83 8B 96 BC 82 F0 95 CF 8D 58 82 C5 82 AB 82 DC 82 B9 82 F1
msg LARGE 83 74 83 40 83 43 83 8B 82 AA 91 E5 82 AB 82 B7 82 AC 82 DC 82 B7
USAGE_X="Usage: vkt2x (VKT2 File)$NL" USAGE_C="Usage: vkt2c (File)$NL"
# Linux opens a folder and then fails to read it; Windows cannot open it as a file.
FOLDER=$READ
[ "$win" ] && FOLDER=$OPEN

size() { stat -c %s "$1"; }

# fresh ENTRY...: empties the work folder and makes each ENTRY, one of NAME=REF (a copy of the
# reference file REF, dated 2001), NAME=/ (a folder), 'NAME=|' (a FIFO) or NAME=@TARGET (a link).
fresh() {
    rm -rf "${W:?}"/*
    local e n v
    for e; do
        n=${e%%=*} v=${e#*=}
        [[ $n == */* ]] && mkdir -p "${n%/*}"
        case $v in
            /) mkdir "$n" ;;
            '|') mkfifo "$n" ;;
            @*) ln -s "${v#@}" "$n" ;;
            *) cp -p "$R/$v" "$n" ;;
        esac
    done
}

# files ENTRY...: the work folder holds exactly ENTRY..., each file with mode 644.
files() {
    local -A want=() got=() sum=()
    local e p k l
    # "CRC SIZE PATH" for every file, then "NAME<tab>KIND MODE<tab>LINK TARGET" for each entry.
    while IFS=$'\t' read -r p k l; do
        case $k in
            '') sum[${p#* * }]=${p%% /*} ;;
            d*) got[$p]=/ ;;
            p*) got[$p]='|' ;;
            l*) got[$p]=@$l ;;
            *) got[$p]="${k#f} ${sum[$W/$p]}" ;;
        esac
    done < <(find "$R" "$W" -type f -exec cksum {} + && find "$W" -mindepth 1 -printf '%P\t%y%m\t%l\n')
    for e; do
        p=${e%%=*} k=${e#*=}
        case $k in / | '|' | @*) want[$p]=$k ;; *) want[$p]="644 ${sum[$R/$k]-(no reference $k)}" ;; esac
    done
    for p in "${!want[@]}" "${!got[@]}"; do
        [ "${got[$p]-none}" = "${want[$p]-none}" ] || fail "$p is ${got[$p]-none}, expected ${want[$p]-none}"
        unset 'want[$p]' 'got[$p]'
    done
}

# same FILE BYTES: FILE holds exactly BYTES.
same() {
    local text=''
    IFS= read -r -d '' text <"$1"
    [ "$text" = "$2" ] || fail "${1##*/} is $(printf %q "$text"), expected $(printf %q "$2")"
}

# run [-m] x|c ARG...: runs a tool in the work folder; -m sends both streams to one file, which
# shows the statistics line was flushed before a later message. $with may prefix the command.
run() {
    merge=
    [ "$1" = -m ] && merge=1 && shift
    tool=$1
    local exe=$X
    [ "$tool" = c ] && exe=$C
    shift
    (
        [ "$merge" ] && exec 2>&1
        exec ${with-} "${LAUNCH[@]}" "$exe" "$@"
    ) </dev/null >"$root/out" 2>"$root/err"
    status=$?
    runs=$((runs + 1))
}

# expect STATUS "A B" STDERR ENTRY...: checks the last run: its status, its statistics line
# with the numbers A and B in the tool's order ("" for none), standard error, and that the work
# folder holds exactly ENTRY... (as for fresh; a file has mode 644).
expect() {
    local want_status=$1 out='' err=$3 a b
    read -r a b <<<"$2"
    if [ -z "$2" ]; then :
    elif [ "$tool" = x ]; then out="compressed = $a -> original = $b$NL"
    else out="original = $a -> compressed = $b$NL"; fi
    [ "$merge" ] && out+=$err err=
    shift 3
    [ "$status" = "$want_status" ] || fail "status $status, expected $want_status"
    same "$root/out" "$out"
    same "$root/err" "$err"
    files "$@"
}

# old NAME...: each still has the date fresh gave it, so it was renamed, never rewritten.
old() { local f; for f; do [ "$(stat -c %Y "$f")" = 1000000000 ] || fail "$f was rewritten"; done; }

# The reference files, dated 2001 so that a rewritten copy shows.
# shellcheck disable=SC2059 # the escapes in the format spell the bytes
ref() { printf "$2" >"$R/$1"; }
fill() { head -c "$2" /dev/zero | tr '\0' "$3" >"$R/$1"; }
ref ex 'VKT2\x0a\0\xa5\x5a\x07abc\xee\xf4' # "abcabcabca": a reference overlaps its own output
ref dec abcabcabca
ref empty ''
ref x x
ref small small
ref older 'older backup'
ref stale 'left over'
fill hashes 100 '#'
ref short 'VKT'
ref lower 'vkt2\x0a\0\xa5\x5a\x07abc\xee\xf4'
ref vkt1 'VKT1\x0a\0\xa5\x5a\x07abc\xee\xf4'
ref shifted ' VKT2\x0a\0\xa5\x5a\x07abc\xee\xf4'
ref h0110 'VKT2\x10\x01\xa5\x5a'
ref hffff 'VKT2\xff\xff'
ref h05 'VKT2\x05'
ref magic 'VKT2'
ref h0000 'VKT2\0\0'
fill z5 5 '\0'
fill z272 272 '\0'
fill z65535 65535 '\0'
fill z40000 40000 z
fill a65536 65536 a
yes 'the mill wheel turned until the river ran to the sea;' | head -c 30000 >"$R/prose"
awk 'BEGIN { for (i = 0; i < 5000; i++) printf "%c", i % 7 ? 0 : i * 131 % 256 }' >"$R/mixed"
# 58,247 literals in groups of a 0xFF flag and eight: a stream of 65,528 bytes.
awk 'BEGIN { for (i = 0; i < 58247; i++) printf "%c", i * 37 % 251 }' >"$R/lit"
awk 'BEGIN { for (i = 0; i < 58247; i++) printf "%s%c", i % 8 ? "" : "\377", i * 37 % 251 }' >"$R/stream"
fill tail 4464 J
{ printf 'VKT2\x87\xe3\xa5\x5a' && cat "$R/stream" "$R/tail"; } >"$R/big58247"
{ printf 'VKT2\x88\xe3\xa5\x5a' && cat "$R/stream" "$R/tail"; } >"$R/big58248"
# Pseudo-random bytes, as many as pack into exactly the 65,536 bytes vkt2x loads; with one more
# byte they pack into 65,537.
awk 'BEGIN { x = 3; for (i = 0; i < 58259; i++) { x = (x * 69069 + 1) % 4294967296; printf "%c", int(x / 16777216) } }' >"$R/over"
head -c 58258 "$R/over" >"$R/random"
touch -d @1000000000 "$R"/*
if [ "$win" ]; then
    # The first start of the emulator may report that it is setting itself up. A program left
    # waiting (until this script ends and closes fd 4) keeps its services up between the runs,
    # which would otherwise start them again every few runs, taking seconds each time.
    "${LAUNCH[@]}" "$X" >/dev/null 2>&1 </dev/null
    mkfifo "$root/keep"
    "${LAUNCH[@]}" cmd /c pause <"$root/keep" >/dev/null 2>&1 &
    exec 4>"$root/keep"
fi

begin_test 'vkt2x without exactly one argument prints the usage line'
before=(a=ex b=ex)
fresh "${before[@]}"
run x; expect 1 "" "$USAGE_X" "${before[@]}"
run x a b; expect 1 "" "$USAGE_X" "${before[@]}"
run x a b a; expect 1 "" "$USAGE_X" "${before[@]}"

begin_test 'vkt2x on an input that cannot be opened or read'
fresh folder=/
run x absent; expect 1 "" "$OPEN" folder=/
run x folder; expect 1 "" "$FOLDER" folder=/
run x folder/; expect 1 "" "$FOLDER" folder=/

for f in empty short lower vkt1 shifted; do
    begin_test "vkt2x refuses '$f' (no magic word) before touching a stale temporary file"
    fresh in=$f 'in.$$$=stale'
    run x in; expect 1 "" "$NOTVKT2" in=$f 'in.$$$=stale'
done

begin_test 'vkt2x success: the input becomes NAME.BAK, keeping its date'
fresh data.bin=ex
run x data.bin; expect 0 "14 10" "" data.bin=dec data.bin.BAK=ex
old data.bin.BAK
# Past the end of the file the header and the stream read as zeros (flag 0: references to
# three zero bytes).
while read -r file decoded stats; do
    begin_test "vkt2x reads zeros past the end of '$file'"
    fresh data.bin="$file"
    run x data.bin; expect 0 "$stats" "" data.bin="$decoded" data.bin.BAK="$file"
done <<'END'
h0110 z272 8 272
hffff z65535 6 65535
h05 z5 5 5
magic empty 4 0
h0000 empty 6 0
END

# Only the first 65,536 bytes are loaded: the stream of 58,247 literals ends exactly there, and
# one byte more would need a byte never loaded. A stale temporary file is replaced on success
# and removed on failure.
begin_test 'vkt2x decodes a stream that ends at byte 65,536, replacing a stale temporary file'
fresh big=big58247 'big.$$$=stale'
run x big; expect 0 "65536 58247" "" big=lit big.BAK=big58247
begin_test 'vkt2x refuses a stream that needs byte 65,537, removing a stale temporary file'
fresh big=big58248 'big.$$$=stale'
run x big; expect 1 "65536 58248" "$TRUNC" big=big58248

begin_test 'vkt2x refuses a decoded file; its backup decodes again beside NAME.BAK.BAK'
fresh data.bin=dec data.bin.BAK=ex
run x data.bin; expect 1 "" "$NOTVKT2" data.bin=dec data.bin.BAK=ex
run x data.bin.BAK; expect 0 "14 10" "" data.bin=dec data.bin.BAK=dec data.bin.BAK.BAK=ex

begin_test 'the temporary file and the backup live beside the input, wherever it is'
fresh sub/data.bin=ex 'my file=ex'
run x sub/data.bin; expect 0 "14 10" "" sub=/ sub/data.bin=dec sub/data.bin.BAK=ex 'my file=ex'
run x "$W/my file"; expect 0 "14 10" "" sub=/ sub/data.bin=dec sub/data.bin.BAK=ex 'my file=dec' 'my file.BAK=ex'

begin_test 'a stale regular temporary file, longer than the output, is truncated and replaced'
fresh data.bin=ex 'data.bin.$$$=hashes'
run x data.bin; expect 0 "14 10" "" data.bin=dec data.bin.BAK=ex

# Anything but a regular file of one name at NAME.$$$ is left alone and nothing is renamed.
begin_test 'a folder at NAME.$$$ is left alone'
fresh data.bin=ex 'data.bin.$$$/inside=stale'
run -m x data.bin; expect 1 "14 10" "$CREATE" data.bin=ex 'data.bin.$$$=/' 'data.bin.$$$/inside=stale'
begin_test 'a second name of the input at NAME.$$$ is not truncated'
fresh data.bin=ex && ln data.bin 'data.bin.$$$'
run -m x data.bin; expect 1 "14 10" "$CREATE" data.bin=ex 'data.bin.$$$=ex'
if posix_test 'a symbolic link at NAME.$$$ is not followed' "symbolic links"; then
    fresh data.bin=ex victim=older 'data.bin.$$$=@victim'
    run -m x data.bin; expect 1 "14 10" "$CREATE" data.bin=ex victim=older 'data.bin.$$$=@victim'
fi
if posix_test 'a FIFO at NAME.$$$ neither hangs the tool nor gets the data' "FIFOs"; then
    fresh data.bin=ex 'data.bin.$$$=|'
    with="timeout 10" run -m x data.bin; expect 1 "14 10" "$CREATE" data.bin=ex 'data.bin.$$$=|'
    exec 3<>'data.bin.$$$'
    run -m x data.bin; expect 1 "14 10" "$CREATE" data.bin=ex 'data.bin.$$$=|'
    read -r -t 0 -u 3 && fail "data went into the FIFO"
    exec 3<&-
fi
if posix_test 'a write that fails under a file-size limit removes the temporary file' "file-size limits"; then
    fresh data.bin=hffff
    with="prlimit --fsize=4096" run x data.bin; expect 1 "6 65535" "$WRITE" data.bin=hffff
fi
if posix_test 'a statistics line cut short by a file-size limit does not end the run' "file-size limits"; then
    fresh data.bin=hffff
    with="prlimit --fsize=20" run x data.bin; [ "$status" = 1 ] || fail "status $status, expected 1"
fi
if strace_test 'a signal while the temporary file is written removes it'; then
    fresh data.bin=hffff
    with="strace -o /dev/null -e inject=write:signal=INT:when=2" run x data.bin
    expect 130 "6 65535" "" data.bin=hffff
fi
if strace_test 'a write that makes no progress fails the run'; then
    fresh data.bin=hffff
    with="strace -o /dev/null -e inject=write:retval=0:when=2" run x data.bin
    expect 1 "6 65535" "$WRITE" data.bin=hffff
fi
if strace_test 'a close that reports an error fails the run'; then
    fresh data.bin=hffff
    # Only the temporary file's close: a dynamically linked tool's loader closes files too.
    with="strace -o /dev/null -P $W/data.bin.\$\$\$ -e inject=close:error=EIO" run x data.bin
    expect 1 "6 65535" "$WRITE" data.bin=hffff
fi
if strace_test 'without an atomic no-replace rename, link and unlink do'; then
    fresh data.bin=ex
    with="strace -o /dev/null -e inject=renameat2:error=EINVAL" run x data.bin
    expect 0 "14 10" "" data.bin=dec data.bin.BAK=ex
fi
if strace_test 'an interrupted read is retried'; then
    fresh data.bin=ex
    with="strace -o /dev/null -P $W/data.bin -e inject=read:error=EINTR:when=1" run x data.bin
    expect 0 "14 10" "" data.bin=dec data.bin.BAK=ex
fi
if strace_test 'a SIGINT the caller ignores (nohup) stays ignored'; then
    fresh data.bin=ex
    with="env --ignore-signal=INT strace -o /dev/null -e inject=write:signal=INT:when=2" run x data.bin
    expect 0 "14 10" "" data.bin=dec data.bin.BAK=ex
fi
if posix_test "another run holding NAME.\$\$\$'s lock: refused, untouched" "flock"; then
    fresh data.bin=ex 'data.bin.$$$=stale'
    with='flock data.bin.$$$' run -m x data.bin; expect 1 "14 10" "$CREATE" data.bin=ex 'data.bin.$$$=stale'
fi
name="another user's file at NAME.\$\$\$: refused, untouched"
if [ -z "$win" ] && ! { fresh data.bin=ex 'data.bin.$$$=stale' && chown 65534 'data.bin.$$$' 2>/dev/null; }; then
    skip_test "$name" "this user cannot give a file to another user"
elif posix_test "$name" "file owners"; then
    run -m x data.bin; expect 1 "14 10" "$CREATE" data.bin=ex 'data.bin.$$$=stale'
fi
if posix_test 'only regular files are replaced: a FIFO input is refused unopened' "FIFOs"; then
    fresh 'in=|'
    with="timeout 10" run x in; expect 1 "" "$OPEN" 'in=|'
    with="timeout 10" run c in; expect 1 "" "$OPEN" 'in=|'
fi
if posix_test "the new file takes the input's mode, owner and dates" "Unix modes and owners"; then
    fresh data.bin=ex && chmod 640 data.bin && { chown 65534 data.bin 2>/dev/null || :; }
    run x data.bin
    [ "$status $(stat -c '%a %U %Y' data.bin)" = "0 $(stat -c '%a %U %Y' data.bin.BAK)" ] || fail "mode, owner or date not kept"
fi
# A user who cannot give the new file the input's group: the group and set-id bits, which
# would then reach further than the input's, are dropped.
name="set-id bits and the group are dropped when the input's group cannot be kept"
if [ -z "$win" ] && [ "$(id -u)" != 0 ]; then
    skip_test "$name" "only root can run the tool as another user"
elif [ -z "$win" ] && ! command -v setpriv >/dev/null; then
    skip_test "$name" "setpriv is not installed"
elif posix_test "$name" "Unix modes and owners"; then
    fresh data.bin=ex && chown 65534:0 data.bin && chmod 6775 data.bin && chmod 777 .
    with="setpriv --reuid=65534 --regid=65534 --clear-groups" run x data.bin
    [ "$status $(stat -c %a data.bin)" = "0 705" ] || fail "mode $(stat -c %a data.bin) kept"
    # The group kept but not the owner: a set-user-id file of root's must not become one of ours.
    fresh data.bin=ex && chown 0:65534 data.bin && chmod 4755 data.bin && chmod 777 .
    with="setpriv --reuid=65534 --regid=65534 --clear-groups" run x data.bin
    [ "$status $(stat -c %a data.bin)" = "0 755" ] || fail "mode $(stat -c %a data.bin) kept"
    chmod 755 .
fi

begin_test 'an existing backup stops the first rename; the decoded data stays in NAME.$$$'
fresh data.bin=ex data.bin.BAK=older
run x data.bin; expect 1 "14 10" "$RENAME" data.bin=ex 'data.bin.$$$=dec' data.bin.BAK=older
old data.bin data.bin.BAK

# vkt2c then vkt2x gives back the file; vkt2c writes the size and two zero bytes after "VKT2".
roundtrip() {
    local n packed=${2-} h
    begin_test "vkt2c then vkt2x gives back '$1'"
    n=$(size "$R/$1")
    fresh f="$1"
    run c f
    [ "$packed" ] || packed=$(size f)
    cp f "$R/packed"
    expect 0 "$n $packed" "" f=packed f.BAK="$1"
    printf -v h 'VKT2\\x%02x\\x%02x\\0\\0' "$((n & 255))" "$((n >> 8))"
    # shellcheck disable=SC2059 # the escapes in the format spell the bytes
    cmp -s <(head -c 8 f) <(printf "$h") || fail "header $(head -c 8 f | od -An -tx1)"
    mv f.BAK orig
    run x f; expect 0 "$packed $n" "" f="$1" f.BAK=packed orig="$1"
}
for f in empty x dec prose mixed z65535; do roundtrip "$f"; done
roundtrip random 65536

before=(small=small folder=/ a65536=a65536 over=over)
fresh "${before[@]}"
begin_test 'vkt2c without exactly one argument prints the usage line'
run c; expect 1 "" "$USAGE_C" "${before[@]}"
run c small small; expect 1 "" "$USAGE_C" "${before[@]}"
begin_test 'vkt2c on an input that cannot be opened or read'
run c absent; expect 1 "" "$OPEN" "${before[@]}"
run c folder; expect 1 "" "$FOLDER" "${before[@]}"
begin_test 'vkt2c refuses input too large for a VKT2 file, touching nothing'
run c a65536; expect 1 "" "$LARGE" "${before[@]}"
run c over; expect 1 "" "$LARGE" "${before[@]}"

begin_test "vkt2c's failed rename leaves the same files as vkt2x's"
fresh f=z40000 f.BAK=older
run c f
cp 'f.$$$' "$R/packed"
n=$(size "$R/packed")
expect 1 "40000 $n" "$RENAME" f=z40000 'f.$$$=packed' f.BAK=older
begin_test 'vkt2c leaves a folder at NAME.$$$ alone'
fresh f=z40000 'f.$$$=/'
run c f; expect 1 "40000 $n" "$CREATE" f=z40000 'f.$$$=/'
if posix_test "vkt2c's write that fails under a file-size limit removes the temporary file" "file-size limits"; then
    fresh f=z40000
    with="prlimit --fsize=$((n - 1))" run c f; expect 1 "40000 $n" "$WRITE" f=z40000
fi

echo "$cases cases ($skipped skipped), $runs runs, $failures failures"
[ "$failures" = 0 ]
