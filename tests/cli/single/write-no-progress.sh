# a write that makes no progress fails the run
strace_only
fresh data.bin=hffff
with="strace -o /dev/null -e inject=write:retval=0:when=2" run x data.bin
expect 1 "6 65535" "$WRITE" data.bin=hffff
