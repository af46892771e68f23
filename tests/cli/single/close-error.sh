# a close that reports an error fails the run
strace_only
fresh data.bin=hffff
# Only the temporary file's close: a dynamically linked tool's loader closes files too.
with="strace -o /dev/null -P $W/data.bin.\$\$\$ -e inject=close:error=EIO" run x data.bin
expect 1 "6 65535" "$WRITE" data.bin=hffff
