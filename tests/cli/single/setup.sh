# vkt2x and vkt2c run as a user would, in the case's work folder: the helpers that make its files
# from the references in $SHARED and check the status, both streams byte for byte and every file
# left behind.
# Arguments: VKT2X VKT2C [LAUNCHER...]
# With a launcher (such as `env WINEDEBUG=-all wine`) the tools are taken for Windows programs:
# their console lines end in CR LF, and cases that need links, FIFOs or file-size limits skip.

# Fresh allocations are filled with junk, so a buffer the tools forget to zero shows.
export LC_ALL=C MALLOC_PERTURB_=165
umask 022
X=$1 C=$2 LAUNCH=("${@:3}") win=${3:+1} NL=$'\n'
[ "$win" ] && NL=$'\r\n'
R=$SHARED W=$PWD
# References a case makes for itself, beside its work folder.
mkdir -p "$CASE_DIR/ref"

# posix_only NEEDS: a Windows build cannot be tested with NEEDS.
posix_only() {
    [ -z "$win" ] || skip "a Windows program cannot be tested with $1"
}
# strace_only: the case injects faults with strace.
strace_only() {
    posix_only "strace's fault injection"
    command -v strace >/dev/null || skip "strace is not installed"
    [ -z "${VKT2_SANITIZED-}" ] || skip "the sanitizers' runtimes cannot run under ptrace, which strace needs"
}

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

# keep_ref NAME FILE: FILE's bytes become the reference NAME of this case.
keep_ref() { cp "$2" "$CASE_DIR/ref/$1"; }

# files ENTRY...: the work folder holds exactly ENTRY..., each file with mode 644.
files() {
    local -A want=() got=() sum=()
    local e p k l mine=$CASE_DIR/ref
    # "CRC SIZE PATH" for every file, then "NAME<tab>KIND MODE<tab>LINK TARGET" for each entry.
    while IFS=$'\t' read -r p k l; do
        case $k in
            '') sum[${p#* * }]=${p%% /*} ;;
            d*) got[$p]=/ ;;
            p*) got[$p]='|' ;;
            l*) got[$p]=@$l ;;
            *) got[$p]="${k#f} ${sum[$W/$p]}" ;;
        esac
    done < <(find "$R" "$mine" "$W" -type f -exec cksum {} + && find "$W" -mindepth 1 -printf '%P\t%y%m\t%l\n')
    for e; do
        p=${e%%=*} k=${e#*=}
        case $k in
            / | '|' | @*) want[$p]=$k ;;
            *) want[$p]="644 ${sum[$mine/$k]-${sum[$R/$k]-(no reference $k)}}" ;;
        esac
    done
    for p in "${!want[@]}" "${!got[@]}"; do
        [ "${got[$p]-none}" = "${want[$p]-none}" ] || fail "$p is ${got[$p]-none}, expected ${want[$p]-none}"
        unset 'want[$p]' 'got[$p]'
    done
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
    ) </dev/null >"$CASE_DIR/out" 2>"$CASE_DIR/err"
    status=$?
}

# expect STATUS "A B" STDERR ENTRY...: checks the last run: its status, its statistics line
# with the numbers A and B in the tool's order ("" for none), standard error, and that the work
# folder holds exactly ENTRY... (as for fresh; a file has mode 644).
expect() {
    local out='' err=$3 a b
    read -r a b <<<"$2"
    if [ -z "$2" ]; then :
    elif [ "$tool" = x ]; then out="compressed = $a -> original = $b$NL"
    else out="original = $a -> compressed = $b$NL"; fi
    [ "$merge" ] && out+=$err err=
    expect_status "$1"
    expect_out "$out"
    expect_err "$err"
    shift 3
    files "$@"
}

# old NAME...: each still has the date fresh gave it, so it was renamed, never rewritten.
old() { local f; for f; do [ "$(stat -c %Y "$f")" = 1000000000 ] || fail "$f was rewritten"; done; }

# packed_size REF: the size of vkt2c's output for the reference REF, packed away from the work
# folder.
packed_size() {
    mkdir -p "$CASE_DIR/pack" && cp "$R/$1" "$CASE_DIR/pack/f" &&
        (cd "$CASE_DIR/pack" && "${LAUNCH[@]}" "$C" f >/dev/null) && size "$CASE_DIR/pack/f"
}
