# vkt2x decodes a stream that ends at byte 65,536, replacing a stale temporary file
# Only the first 65,536 bytes are loaded: the stream of 58,247 literals ends exactly there.
fresh big=big58247 'big.$$$=stale'
run x big; expect 0 "65536 58247" "" big=lit big.BAK=big58247
