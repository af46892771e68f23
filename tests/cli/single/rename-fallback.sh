# without an atomic no-replace rename, link and unlink do
strace_only
fresh data.bin=ex
with="strace -o /dev/null -e inject=renameat2:error=EINVAL" run x data.bin
expect 0 "14 10" "" data.bin=dec data.bin.BAK=ex
