# a SIGINT the caller ignores (nohup) stays ignored
strace_only
fresh data.bin=ex
with="env --ignore-signal=INT strace -o /dev/null -e inject=write:signal=INT:when=2" run x data.bin
expect 0 "14 10" "" data.bin=dec data.bin.BAK=ex
