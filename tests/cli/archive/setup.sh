# vkt2 on what holds VKT2 files: archives read like folders, and files embedded in others.
# Arguments: VKT2 [LAUNCHER...]. A build without archive support is checked for saying so; with
# a launcher (a Windows build) only that runs.
export LC_ALL=C
V=$(realpath "$1") LAUNCH=("${@:2}") win=${2:+1}
out=$CASE_DIR/out err=$CASE_DIR/err

vkt2() { "${LAUNCH[@]}" "$V" "$@"; }

# run ARGS...: runs vkt2 with no input; its status in $status, its streams in $out and $err.
run() { run_cmd vkt2 "$@"; }

# said TEXT: the last run's standard error was TEXT, but for a Windows console's CRs.
said() { [ "$(tr -d '\r' <"$err")" = "$1" ] || fail "said: $(cat "$err")"; }

# needs_archives: the case needs a build that reads archives, on a POSIX system.
needs_archives() {
    [ -z "$win" ] || skip "needs POSIX names and modes"
    [ -e "$SHARED/archives" ] || skip "this vkt2 reads no archives"
}

# shared NAME...: copies the files prep.sh made here.
shared() {
    local n
    for n; do cp "$SHARED/$n" . || fail "no shared $n"; done
}

# host: host.bin here; its embedded files' sizes in $one and $two, the false starts' offsets in
# $third and $last.
host() {
    needs_archives
    shared host.bin
    read -r one two third last <"$SHARED/host.txt"
}
