# a symbolic link at NAME.$$$ is not followed
posix_only "symbolic links"
fresh data.bin=ex victim=older 'data.bin.$$$=@victim'
run -m x data.bin; expect 1 "14 10" "$CREATE" data.bin=ex victim=older 'data.bin.$$$=@victim'
