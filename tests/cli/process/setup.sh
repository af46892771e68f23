# The folder tool run as a process, and the single-file tools' rows for the same: the helpers
# that make folders of packed files, check that a run left no file half done, and wait for a
# process to reach the state a case needs.
# Arguments: VKT2 VKT2X VKT2C [LAUNCHER...]
# With a launcher the tools are Windows programs, and the cases that need signals, pipes closed
# at the reader or POSIX descriptors skip.
export LC_ALL=C
V=$(realpath "$1") X=$(realpath "$2") C=$(realpath "$3") LAUNCH=("${@:4}") win=${4:+1}

vkt2() { "${LAUNCH[@]}" "$V" "$@"; }
posix_only() {
    [ -z "$win" ] || skip "needs POSIX signals, pipes and descriptors"
}

# pack NAME TEXT: NAME becomes TEXT in VKT2 form, made by vkt2c.
pack() {
    printf '%s' "$2" >"$1" && "${LAUNCH[@]}" "$C" "$1" >/dev/null && rm -f "$1.BAK"
}
# many DIR N: N packed files in DIR with long names, NAME.BAK in the way for every third one,
# so that a run has much to say.
L=$(printf '%0200d' 0)
many() {
    mkdir -p "$1"
    local i
    for ((i = 0; i < $2; i++)); do
        printf 'file %d of a folder, file %d of a folder\n' "$i" "$i" >"$1/f$i$L"
    done
    vkt2 c -q "$1"
    find "$1" -name '*.BAK' -delete
    for ((i = 0; i < $2; i += 3)); do echo taken >"$1/f$i$L.BAK"; done
}
# whole DIR N: no NAME.$$$ left, and every file either still packed or decoded with its backup.
whole() {
    local i f text
    [ -z "$(find "$1" -name '*$$$')" ] || fail "temporary files left: $(find "$1" -name '*$$$' | head -3)"
    for ((i = 0; i < $2; i++)); do
        f=$1/f$i$L text=
        [ -e "$f" ] || { fail "$f is missing"; continue; }
        IFS= read -r -d '' text <"$f"
        [[ $text == VKT2* ]] && continue
        [ "$text" = "file $i of a folder, file $i of a folder"$'\n' ] || fail "$f is damaged"
        [ -e "$f.BAK" ] || fail "$f has no backup"
    done
}
# closed_pipe FD CMD...: runs CMD with descriptor FD a pipe whose reader is already gone. An end
# by a signal gives 128 + its number; an exit with a status that high, 255.
closed_pipe() {
    python3 -c 'import os, subprocess, sys
r, w = os.pipe(); os.close(r)
fd = int(sys.argv[1])
kw = {"stdout": w} if fd == 1 else {"stderr": w}
status = subprocess.call(sys.argv[2:], **kw)
sys.exit(128 - status if status < 0 else 255 if status > 128 else status)' "$@"
}
# as_nobody: root searches every folder, so as root a run that must be refused is made as nobody
# (the command prefix is left in $as, and the case's files are given to nobody).
as_nobody() {
    as=()
    [ "$(id -u)" = 0 ] || return 0
    command -v setpriv >/dev/null || skip "setpriv is not installed"
    as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    chown -R 65534:65534 .
}

# The waits below poll what /proc shows of a process until it is where the case needs it; the
# bound of 20 seconds only guards against a hang, which fails the case.

# until_true WHAT CMD...: runs CMD until it succeeds; fails the case saying WHAT if it never does.
until_true() {
    local what=$1 i
    shift
    for ((i = 0; i < 2000; i++)); do
        "$@" && return 0
        sleep 0.01
    done
    fail "never $what"
    return 1
}
# syscall NAME: $nr becomes this system's number for the system call NAME, or the case skips.
syscall() {
    nr=$(printf '#include <sys/syscall.h>\nSYS_%s\n' "$1" | cpp -P 2>/dev/null | tail -n 1)
    [[ $nr == [0-9]* ]] || skip "cannot tell the number of the system call $1 (no cpp)"
}
# in_syscall PID ARG: a thread of PID sleeps in the system call $nr with first argument ARG.
in_syscall() {
    local line t
    for t in /proc/"$1"/task/*/syscall; do
        read -r line <"$t" 2>/dev/null && [[ $line == "$nr $2 "* ]] && return 0
    done
    return 1
}
# has_open PID FILE: PID holds FILE open.
has_open() {
    local fd
    for fd in /proc/"$1"/fd/*; do [ "$fd" -ef "$2" ] && return 0; done
    return 1
}
# pending PID SIG: the signal SIG (a number) waits for PID, held back.
pending() {
    local key value
    while read -r key value; do
        [[ $key == ShdPnd: || $key == SigPnd: ]] && (((0x$value >> ($2 - 1)) & 1)) && return 0
    done <"/proc/$1/status"
    return 1
}
# wakes PID: how often the threads of PID have woken from sleeping, in all.
wakes() {
    local key value sum=0 t
    for t in /proc/"$1"/task/*/status; do
        while read -r key value; do
            [ "$key" = voluntary_ctxt_switches: ] && sum=$((sum + value))
        done <"$t" 2>/dev/null
    done
    echo "$sum"
}
# woken PID N SINCE: the threads of PID have woken N times since they had woken SINCE times.
woken() { [ "$(wakes "$1")" -ge $(($3 + $2)) ]; }
# guard PID: a process that hangs is killed after 20 seconds, and the case sees it end by SIGKILL.
guard() {
    { timeout 20 tail --pid="$1" -f /dev/null || kill -KILL "$1"; } >/dev/null 2>&1 &
}
# status_is N: the last run, whose status is in $status, ended with N.
status_is() { [ "$status" = "$1" ] || fail "status $status, expected $1"; }
