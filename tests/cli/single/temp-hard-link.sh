# a second name of the input at NAME.$$$ is not truncated
fresh data.bin=ex && ln data.bin 'data.bin.$$$'
run -m x data.bin; expect 1 "14 10" "$CREATE" data.bin=ex 'data.bin.$$$=ex'
