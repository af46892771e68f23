# x --all copies a damaged file as it is and still fails; when the copy fails too, both are said
posix_only
mkdir d
printf 'VKT2\005\000' >d/cut
run x -q -o out2 --all d/cut
expect 1 'vkt2: d/cut: cut short: the file ends inside its 8-byte header; copied as it is to out2/cut'
cmp -s d/cut out2/cut || fail "out2/cut"
run x -q -o out2 --all d/cut
expect 1 'vkt2: d/cut: cut short: the file ends inside its 8-byte header
vkt2: d/cut: out2/cut already exists (-f replaces it)'
