# A walk with --archives opens the archives it meets, to test them or to decode them under -o
needs_archives
mkdir d && cp "$SHARED/m.zip" d/
run t -v --archives d
[ "$(head -n 1 "$err")" = 'vkt2: d/m.zip/a/one.vk: passed' ] || fail "--archives: $(cat "$err")"
run x -q --archives -o o d
[ "$(cat o/m.zip/a/one.vk)" = 'hello one' ] || fail "x --archives -o: $(find o)"
