# What every command-line case can use: failing with a reason, skipping with a reason, running a
# command with its streams kept, and checking what it said and did. Sourced by run.sh before the
# group's setup.sh; a case runs in its own work folder ($PWD), with $CASE_DIR/out and
# $CASE_DIR/err beside it for the last run's output.
failures=0 status=

# fail MESSAGE: the case fails, and says why; it runs on to its end.
fail() {
    echo "FAIL [$CASE]: $*" >&2
    failures=$((failures + 1))
}

# skip WHY: this system cannot run the case; it ends here.
skip() {
    echo "skip [$CASE]: $*"
    exit 77
}

# run_cmd CMD...: runs CMD with no input, its output in $CASE_DIR/out and $CASE_DIR/err and its
# status in $status.
run_cmd() {
    "$@" </dev/null >"$CASE_DIR/out" 2>"$CASE_DIR/err"
    status=$?
}

# expect_status N: the last run ended with status N.
expect_status() {
    [ "$status" = "$1" ] || fail "status $status, expected $1 (said: $(head -c 300 "$CASE_DIR/err"))"
}

# same_bytes FILE TEXT: FILE holds exactly TEXT.
same_bytes() {
    local text=''
    IFS= read -r -d '' text <"$1"
    [ "$text" = "$2" ] || fail "${1##*/} is $(printf %q "$text"), expected $(printf %q "$2")"
}

# expect_out TEXT / expect_err TEXT: the last run's standard output / error was exactly TEXT.
expect_out() { same_bytes "$CASE_DIR/out" "$1"; }
expect_err() { same_bytes "$CASE_DIR/err" "$1"; }

# expect_err_has TEXT...: the last run's standard error holds each TEXT.
expect_err_has() {
    local t
    for t; do grep -qF -- "$t" "$CASE_DIR/err" || fail "no '$t' in: $(head -c 300 "$CASE_DIR/err")"; done
}

# keep_up LAUNCHER...: from a prep.sh, starts an emulator such as Wine once, then keeps it up
# until the runner ($$) ends with a program left waiting: its first start may report that it is
# setting itself up, and its services would otherwise start again every few runs, taking seconds.
keep_up() {
    "$@" cmd /c exit >/dev/null 2>&1 </dev/null
    tail --pid=$$ -f /dev/null 2>/dev/null | "$@" cmd /c pause >/dev/null 2>&1 &
}
