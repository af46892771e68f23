# Compressed data that is no archive, and a file opening with a block of zeros, are files like any other
needs_archives
printf 'text\n' | gzip >plain.gz
run t -q plain.gz
said 'vkt2: plain.gz: not a VKT2 file'
# libarchive reads a block of zeros as an empty tar.
head -c 1024 /dev/zero >zeros.bin && printf 'data' >>zeros.bin
run t -q zeros.bin
expect_status 1
said 'vkt2: zeros.bin: not a VKT2 file'
