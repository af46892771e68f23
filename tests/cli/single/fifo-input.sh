# only regular files are replaced: a FIFO input is refused unopened
posix_only "FIFOs"
fresh 'in=|'
with="timeout 10" run x in; expect 1 "" "$OPEN" 'in=|'
with="timeout 10" run c in; expect 1 "" "$OPEN" 'in=|'
