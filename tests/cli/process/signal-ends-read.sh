# an ending signal ends every read of standard input, data or no data
posix_only
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
