# Damaged and encrypted archives fail with the reason libarchive gives
needs_archives
shared m.zip
head -c 200 m.zip >cut.zip
mkdir d && printf 'VKT2\0\0\0\0' >d/a.vk
bsdtar -cf a.7z --format 7zip d && head -c 40 a.7z >cut.7z
bsdtar -czf a.tgz d && head -c 30 a.tgz >cut.tgz
bsdtar -cf enc.zip --format zip --options zip:encryption=traditional --passphrase pw d
run t -q cut.7z cut.tgz enc.zip
expect_status 1
said 'vkt2: cut.7z: cannot read the archive: damaged, or cut short
vkt2: cut.tgz: cannot read the archive: truncated gzip input
vkt2: enc.zip/d/a.vk: cannot read: Passphrase required for this entry'
run t -q cut.zip
[ "$status" = 1 ] && grep -q '^vkt2: cut.zip: cannot read the archive: ' "$err" || fail "cut.zip: $(cat "$err")"
