# c --all copies a file too large to compress as it is, with its mode and date, and still fails
posix_only
mkdir d
head -c 70000 /dev/zero >d/big
printf 'VKT2\005\000' >d/cut
chmod 604 d/big && touch -d '2001-02-03 04:05:06' d/big
run c -o out --all d
expect 1 'vkt2: d/big: too large: VKT2 holds at most 65,535 bytes; copied as it is to out/big
vkt2: 0 files done, 1 failed, 0 skipped, 1 copied; 0 bytes in, 0 bytes out'
cmp -s d/big out/big && [ "$(stat -c %a.%Y out/big)" = "$(stat -c %a.%Y d/big)" ] || fail "out/big"
