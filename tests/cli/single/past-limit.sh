# vkt2x refuses a stream that needs byte 65,537, removing a stale temporary file
fresh big=big58248 'big.$$$=stale'
run x big; expect 1 "65536 58248" "$TRUNC" big=big58248
