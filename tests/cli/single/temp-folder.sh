# a folder at NAME.$$$ is left alone, and nothing is renamed
fresh data.bin=ex 'data.bin.$$$/inside=stale'
run -m x data.bin; expect 1 "14 10" "$CREATE" data.bin=ex 'data.bin.$$$=/' 'data.bin.$$$/inside=stale'
