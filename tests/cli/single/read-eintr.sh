# an interrupted read is retried
strace_only
fresh data.bin=ex
with="strace -o /dev/null -P $W/data.bin -e inject=read:error=EINTR:when=1" run x data.bin
expect 0 "14 10" "" data.bin=dec data.bin.BAK=ex
