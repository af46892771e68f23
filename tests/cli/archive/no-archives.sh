# Without archive support, -V says so, and an archive named is a failure that says so
[ ! -e "$SHARED/archives" ] || skip "this vkt2 reads archives"
[ "$(vkt2 -V | tr -d '\r' | sed -n 2p)" = 'archives: not built in' ] || fail "-V: $(vkt2 -V)"
shared m.zip
run t -q m.zip
expect_status 1
said 'vkt2: m.zip: an archive (zip); this vkt2 reads no archives'
