#!/usr/bin/env bash
# The folder tool run as a process: command-line errors, signals, closed pipes, closed
# standard streams and a stalled reader, and the single-file tools' rows for the same.
#
# Usage: vkt2_e2e.sh VKT2 VKT2X VKT2C [LAUNCHER...]
# With a launcher the tools are Windows programs, and the cases that need signals, pipes
# closed at the reader or POSIX descriptors are skipped.
set -u
export LC_ALL=C
V=$(realpath "$1") X=$(realpath "$2") C=$(realpath "$3") LAUNCH=("${@:4}") win=${4:+1}
root=$(mktemp -d) || exit 1
trap 'chmod -R u+rwx "$root"; rm -rf "$root"' EXIT
cd "$root" || exit 1
failures=0 name=''

begin_test() { name=$1; rm -rf "${root:?}"/w && mkdir "$root/w" && cd "$root/w" || exit 1; }
fail() { echo "FAIL [$name]: $*" >&2 && failures=$((failures + 1)); }
skip() { echo "skipped [$1]: $2"; }
vkt2() { "${LAUNCH[@]}" "$V" "$@"; }

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
    local i f
    [ -z "$(find "$1" -name '*$$$')" ] || fail "temporary files left: $(find "$1" -name '*$$$' | head -3)"
    for ((i = 0; i < $2; i++)); do
        f=$1/f$i$L
        [ -e "$f" ] || { fail "$f is missing"; continue; }
        if [ "$(head -c 4 "$f")" = VKT2 ]; then continue; fi
        [ "$(cat "$f")" = "file $i of a folder, file $i of a folder" ] || fail "$f is damaged"
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

begin_test 'a bad command line exits 2 with the usage line and a pointer to --help'
out=$(vkt2 x -j 0 d 2>&1)
status=$?
out=${out//$'\r'/}  # a Windows console's line ends
[ $status = 2 ] || fail "status $status"
[[ $out == "vkt2: -j needs"*"usage: vkt2"*"Try 'vkt2 --help' for more information." ]] ||
    fail "printed: $out"
vkt2 frobnicate d 2>/dev/null
[ $? = 2 ] || fail "unknown command: status $?"

begin_test '--version prints the name and version'
out=$(vkt2 --version) || fail "status $?"
[[ $out =~ ^vkt2\ [0-9]+\.[0-9]+ ]] || fail "printed: $out"

begin_test 'a file cut inside its header fails t'
printf VKT2 >bare
printf 'VKT2\005' >five
vkt2 t -q bare five 2>err
[ $? = 1 ] || fail "status $?"
[ "$(grep -c 'ends inside its 8-byte header' err)" = 2 ] || fail "said: $(cat err)"

begin_test 'undo puts back what vkt2x, vkt2c and vkt2 x did, and leaves the rest'
mkdir d && printf 'plain text, plain text\n' >d/p && printf 'notes\n' >d/n && printf 'mine\n' >d/n.BAK
pack d/q 'packed text, packed text' && cp d/q q.orig && cp d/p p.orig
"${LAUNCH[@]}" "$C" d/p >/dev/null || fail "vkt2c: status $?"
"${LAUNCH[@]}" "$X" d/q >/dev/null || fail "vkt2x: status $?"
before=$(cksum d/*)
vkt2 undo -n d >out 2>err || fail "-n: status $?"
[ "$(cat out)" = "would restore d/p from d/p.BAK, undoing c
would restore d/q from d/q.BAK, undoing x" ] || fail "-n listed: $(cat out)"
[ "$(cksum d/*)" = "$before" ] || fail "-n changed files"
vkt2 undo d 2>err || fail "status $?"
[ "$(tr -d '\r' <err)" = "vkt2: 2 files restored, 0 failed, 1 left alone" ] || fail "said: $(cat err)"
cmp -s d/p p.orig || fail "d/p not restored"
cmp -s d/q q.orig || fail "d/q not restored"
[ "$(ls d)" = "$(printf 'n\nn.BAK\np\nq')" ] || fail "left: $(ls d)"
vkt2 x -q d || fail "x: status $?"
vkt2 undo -q d/q d/q.BAK 2>err || fail "named: status $?"
cmp -s d/q q.orig || fail "named twice: d/q not restored"
[ ! -s err ] || fail "named twice: $(cat err)"

begin_test 'undo keeps an original it did not make, and restores one backup onto a NAME'
pack v 'the original, the original' && printf 'VKT2\x1a\0\1\2' | dd of=v conv=notrunc status=none
cp v v.orig || exit 1
vkt2 cat v >v.bak || fail "cat: status $?"
vkt2 undo . 2>/dev/null || fail "undo: status $?"
cmp -s v v.orig || fail "another encoder's file was replaced"
if [ "$win" ]; then
    skip 'two backups of one NAME' 'v.BAK and v.bak are one name on Windows'
else
    if ! { rm v.bak && vkt2 x -q v && cp v v.bak && vkt2 undo . 2>err; }; then fail "status $?"; fi
    cmp -s v v.orig || fail "both backups restored, the original lost"
    [ "$(cat err)" = "vkt2: 1 file restored, 0 failed, 1 left alone" ] || fail "said: $(cat err)"
fi

if [ "$win" ]; then
    for c in 'a closed pipe' 'closed standard streams' 'a stalled reader and SIGINT' \
        'a tree 10,000 folders deep'; do
        skip "$c" "needs POSIX signals, pipes and descriptors"
    done
    [ "$failures" = 0 ] || exit 1
    exit 0
fi

begin_test 'a closed pipe ends the run by SIGPIPE, no file between its renames'
many d 300
closed_pipe 2 "$V" x -j2 d
status=$?
[ $status = 141 ] || fail "status $status"
whole d 300
vkt2 x d 2>&1 | head -n 1 >/dev/null
[ "${PIPESTATUS[0]}" = 141 ] || fail "through head: status ${PIPESTATUS[0]}"
whole d 300
# Data or a listing for a reader gone: SIGPIPE too, with no word of a write error.
pack f 'for a reader gone'
for args in 'cat f' 'undo -n d'; do
    # shellcheck disable=SC2086
    closed_pipe 1 "$V" $args 2>err
    status=$?
    { [ $status = 141 ] && [ ! -s err ]; } || fail "$args: status $status, said: $(cat err)"
done

begin_test 'vkt2x and vkt2c leave no temporary file when a message meets a closed pipe'
printf 'VKT2\377\377' >hungry
head -c 65530 /dev/zero | tr '\0' '\377' >>hungry
closed_pipe 2 "$X" hungry >stat
[ -e 'hungry.$$$' ] && fail "vkt2x left hungry.\$\$\$"
printf 'plain text' >p
closed_pipe 1 "$C" p 2>/dev/null
[ -e 'p.$$$' ] && fail "vkt2c left p.\$\$\$"
cmp -s p.BAK <(printf 'plain text') || fail "vkt2c did not keep the original"

begin_test 'closed standard streams never receive the data'
many d 30
vkt2 x d 2>&- >&- <&-
[ $? = 1 ] || fail "status $?"
whole d 30
[ "$(cat "d/f1$L")" = "file 1 of a folder, file 1 of a folder" ] || fail "d/f1 not decoded"
pack one 'the only file'
"$X" one 2>&- >&-
[ "$(cat one)" = 'the only file' ] || fail "vkt2x wrote into its data"
# Data or JSON for a closed standard output is lost: a write error, never success.
pack two 'the second file'
for args in 'cat two' 't --json two' 'l two'; do
    # shellcheck disable=SC2086
    vkt2 $args >&- 2>err
    status=$?
    [ $status = 1 ] || fail "$args: status $status"
    grep -q '^vkt2: standard output: write error$' err || fail "$args said: $(cat err)"
done
vkt2 t two >&- 2>/dev/null || fail "t, writing nothing there: status $?"
vkt2 --help >&-
[ $? = 1 ] || fail "--help: status $?"

begin_test 'a stalled reader and SIGINT: the run ends within a second with 130'
many d 3000
mkfifo stall
exec 3<>stall
# Job control, or the shell starts the run with SIGINT ignored.
set -m
"$V" x -j2 d 2>stall &
pid=$!
set +m
sleep 0.5
kill -INT $pid
start=$(date +%s%N)
wait $pid
status=$?
elapsed=$((($(date +%s%N) - start) / 1000000))
exec 3>&-
[ $status = 130 ] || fail "status $status"
[ $elapsed -lt 1500 ] || fail "took $elapsed ms to end"
whole d 3000

begin_test 'a FIFO with no writer yet: SIGINT ends the wait with 130, unless it is ignored'
pack f 'through the FIFO'
mkfifo p
set -m
"$V" cat p >out 2>err &
pid=$!
set +m
(sleep 5 && kill -KILL $pid 2>/dev/null) &
watch=$!
sleep 0.3
kill -INT $pid
wait $pid
status=$?
kill $watch
{ [ $status = 130 ] && [ ! -s out ]; } || fail "status $status"
# Without job control the shell starts the run with SIGINT ignored, as nohup does.
"$V" cat p >out 2>err &
pid=$!
sleep 0.3
kill -INT $pid
sleep 0.2
timeout 5 dd if=f of=p status=none
wait $pid
status=$?
{ [ $status = 0 ] && [ "$(cat out)" = 'through the FIFO' ]; } || fail "ignored: status $status, said: $(cat err)"

begin_test 'an ending signal ends every read of standard input, data or no data'
# ends_read VKT2 CASE: runs the reader, sends the signal once it is surely reading, and prints
# its status (128 + the signal), or why not. The 20-second limit only guards against a hang.
ends_read() {
    python3 -c 'import fcntl, os, signal, subprocess, sys, termios, threading, time
vkt2, case = sys.argv[1:3]
def default_signals():
    for s in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(s, signal.SIG_DFL)
if case != "tty":
    sig = {"flood": signal.SIGTERM, "trickle": signal.SIGINT, "hangup": signal.SIGHUP}[case]
    r, w = os.pipe()
    p = subprocess.Popen([vkt2, "l", "-"], stdin=r, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL, preexec_fn=default_signals)
    os.close(r)
    os.write(w, bytes(1 << 20))  # more than a pipe holds: the run is reading
    def feed():  # data never stops, or never stops for long
        try:
            while True:
                if case == "flood":
                    os.write(w, bytes(1 << 16))
                else:
                    os.write(w, b"x")
                    time.sleep(0.01)
        except OSError:
            pass
    threading.Thread(target=feed, daemon=True).start()
    p.send_signal(sig)
    try:
        status = p.wait(timeout=20)
        print(128 - status if status < 0 else status)
    except subprocess.TimeoutExpired:
        p.kill()
        print("still running")
    sys.exit()
# A background job that reads its terminal is stopped; killed as a shell kills a stopped job
# (the signal, then SIGCONT), it must end rather than stop again.
if os.fork():
    sys.exit(os.waitstatus_to_exitcode(os.wait()[1]))
os.setsid()
master, slave = os.openpty()
fcntl.ioctl(slave, termios.TIOCSCTTY, 0)
os.write(master, b"typed before the job started\n")
child = os.fork()
if child == 0:
    os.setpgid(0, 0)
    os.dup2(slave, 0)
    null = os.open(os.devnull, os.O_WRONLY)
    os.dup2(null, 1)
    os.dup2(null, 2)
    default_signals()
    os.execv(vkt2, [vkt2, "c", "-"])
def hung(*_):
    os.kill(child, signal.SIGKILL)
    print("still running")
    os._exit(0)
signal.signal(signal.SIGALRM, hung)
signal.alarm(20)
if not os.WIFSTOPPED(os.waitpid(child, os.WUNTRACED)[1]):
    print("never stopped")
    os._exit(0)
os.kill(child, signal.SIGTERM)
os.kill(child, signal.SIGCONT)
status = os.waitpid(child, os.WUNTRACED)[1]
if os.WIFSTOPPED(status):
    os.kill(child, signal.SIGKILL)
    print("stopped again")
else:
    print(128 + os.WTERMSIG(status) if os.WIFSIGNALED(status) else os.WEXITSTATUS(status))
os._exit(0)' "$V" "$1"
}
for want in flood:143 trickle:130 hangup:129 tty:143; do
    said=$(ends_read "${want%:*}")
    [ "$said" = "${want#*:}" ] || fail "${want%:*}: $said, not ${want#*:}"
done

begin_test 'two undo runs at the same moment restore each pair once'
many d 200
find d -name '*.BAK' -delete
vkt2 x -q d
(vkt2 undo -j2 d 2>err1 & vkt2 undo -j2 d 2>err2 & wait) || fail "status $?"
n=$(cat err1 err2 | sed -n 's/^vkt2: \([0-9]*\) files* restored, 0 failed, [0-9]* left alone$/\1/p' |
    paste -sd+ | bc)
[ "$n" = 200 ] || fail "restored $n times: $(cat err1 err2)"
[ -z "$(find d -name '*.BAK' -o -name '*$$$')" ] || fail "left: $(find d -name '*.*' | head -3)"
[ "$(cat d/* | grep -c VKT2)" = 200 ] || fail "not every file is packed again"

begin_test 'a tree 10,000 folders deep is walked whole on a small stack'
pack f 'at the bottom'
mkdir deep
# Made by descriptors too: no shell can cd that far down.
python3 -c 'import os, sys
fd = os.open("deep", os.O_RDONLY)
for _ in range(10000):
    os.mkdir("d", dir_fd=fd)
    below = os.open("d", os.O_RDONLY, dir_fd=fd)
    os.close(fd)
    fd = below
out = os.open("f", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd)
os.write(out, open("f", "rb").read())' || fail "cannot make the tree"
rm f
(ulimit -s 512 && "$V" x -q deep) || fail "status $?"
python3 -c 'import os
fd = os.open("deep", os.O_RDONLY)
for _ in range(10000):
    fd = os.open("d", os.O_RDONLY, dir_fd=fd)
assert os.read(os.open("f", os.O_RDONLY, dir_fd=fd), 100) == b"at the bottom"' 2>/dev/null ||
    fail "the deepest file was not decoded"

begin_test 'a folder that can be listed but not searched fails the run with the reason'
# Root searches every folder, so as root the run is made as nobody.
as=()
if [ "$(id -u)" = 0 ]; then
    as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    chmod 755 "$root" "$root/w"
fi
mkdir -p d/locked && pack d/locked/f x && pack d/open y
[ "${#as[@]}" = 0 ] || chown -R 65534:65534 d
chmod 500 d/open && chmod 444 d/locked
"${as[@]}" "$V" t d >out 2>err
status=$?
chmod 755 d/locked
[ $status = 1 ] || fail "status $status"
[ "$(head -n 1 err)" = "vkt2: d/locked: cannot read the folder: Permission denied" ] ||
    fail "said: $(cat err)"
grep -q '^vkt2: 1 file passed, 1 failed' err || fail "summary: $(tail -n 1 err)"

begin_test 'undo that cannot make its lock beside a pair fails with the reason'
as=()
if [ "$(id -u)" = 0 ]; then
    as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    chmod 755 "$root" "$root/w"
fi
printf 'the original\n' >a && vkt2 c -q a && cp a a.packed
chmod 555 .
"${as[@]}" "$V" undo a 2>err
status=$?
chmod 755 .
[ $status = 1 ] || fail "status $status"
[ "$(head -n 1 err)" = 'vkt2: a.BAK: cannot create a.$$$: Permission denied' ] ||
    fail "said: $(cat err)"
{ cmp -s a a.packed && [ -e a.BAK ]; } || fail "the pair changed"

[ "$failures" = 0 ] || exit 1
