# vkt2c's write that fails under a file-size limit removes the temporary file
posix_only "file-size limits"
n=$(packed_size z40000)
fresh f=z40000
with="prlimit --fsize=$((n - 1))" run c f; expect 1 "40000 $n" "$WRITE" f=z40000
