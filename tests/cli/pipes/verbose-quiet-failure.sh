# -v after -q still says why a file failed, and the summary
posix_only
make_tree
run x -q -v d/sub/plain
expect 1 'vkt2: d/sub/plain: not a VKT2 file
vkt2: 0 files done, 1 failed, 0 skipped; 0 bytes in, 0 bytes out'
