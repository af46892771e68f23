# The folder tool in pipes and scripts: what every case of this group shares.
# Arguments: VKT2 VKT2C [LAUNCHER...]; with a launcher the tools are Windows programs, and only
# the cases that need no POSIX pipes, links or modes run.
export LC_ALL=C
V=$(realpath "$1") C=$(realpath "$2") LAUNCH=("${@:3}") win=${3:+1}
checks=$(dirname "${BASH_SOURCE[0]}")/checks.py

vkt2() { "${LAUNCH[@]}" "$V" "$@"; }

# run ARGS...: runs vkt2 with no input, its streams in $CASE_DIR/out and err.
run() { run_cmd vkt2 "$@"; }

# expect STATUS STDERR: the last run's status and whole standard error.
expect() {
    expect_status "$1"
    expect_err "$2"$'\n'
}

# posix_only: the case needs POSIX pipes, names and modes.
posix_only() { [ -z "$win" ] || skip "needs POSIX pipes, names and modes"; }

# pack NAME TEXT: NAME becomes TEXT in VKT2 form, made by vkt2c.
pack() { printf '%s' "$2" >"$1" && "${LAUNCH[@]}" "$C" "$1" >/dev/null && rm -f "$1.BAK"; }

# expect_files NAME...: the work folder holds exactly these names.
expect_files() {
    local want got
    want=$(printf '%s\n' "$@" | LC_ALL=C sort)
    got=$(find . -mindepth 1 -maxdepth 1 -printf '%P\n' | LC_ALL=C sort)
    [ "$got" = "$want" ] || fail "files: $(printf %q "$got"), expected: $*"
}

# make_tree: d, the tree prep.sh made, with its modes and dates.
make_tree() { cp -a "$SHARED/d" . || fail "no shared tree"; }

# check_json FILES SUMMARY <JSON: each file line's (result, reason, bytes_out) by path's bytes,
# and the summary's named fields, are as given (Python literals).
check_json() { python3 "$checks" json "$@"; }

# mirror SRC OUT: every regular file of SRC but NAME.$$$ is in OUT with its mode and mtime;
# packed files decoded by x, the rest byte for byte.
mirror() { python3 "$checks" mirror "$@"; }

# same_folders SRC OUT: every folder of SRC is in OUT with its mode and modification time.
same_folders() { python3 "$checks" folders "$@"; }

# pty IN RUN...: runs with standard output a terminal and standard input IN ("tty": the
# terminal too); prints the status, then what it wrote.
pty() { python3 "$checks" pty "$@"; }

# make_private_tree: d/open/private/deep, folders of four modes and an old date; as root,
# d/open/private belongs to nobody. Prints the owner the mirror's d/open/private should have.
make_private_tree() {
    mkdir -p d/open/private/deep
    printf 'secret text, secret text' >d/open/private/deep/f
    pack d/open/p 'packed text, packed text'
    chmod 644 d/open/private/deep/f && chmod 700 d/open/private && chmod 710 d/open/private/deep
    chmod 750 d/open && chmod 755 d
    owner=$(id -u):$(id -g)
    [ "$(id -u)" != 0 ] || { owner=65534:65534 && chown "$owner" d/open/private; }
    touch -d '2001-02-03 04:05:06' d/open/private/deep d/open/private d/open d
}
