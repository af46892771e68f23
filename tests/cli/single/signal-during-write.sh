# a signal while the temporary file is written removes it
strace_only
fresh data.bin=hffff
with="strace -o /dev/null -e inject=write:signal=INT:when=2" run x data.bin
expect 130 "6 65535" "" data.bin=hffff
