# x -o DIR --all writes members under DIR/ARCHIVE/, copies the rest with its dates, and nothing outside
needs_archives
shared m.zip
chmod 600 m.zip
run x -o o --all m.zip
expect_status 1
[ "$(cat o/m.zip/a/one.vk)" = 'hello one' ] || fail "one.vk: $(cat o/m.zip/a/one.vk)"
[ "$(find o -type f | sort)" = "$(printf 'o/m.zip/a/one.vk\no/m.zip/b/readme.txt')" ] ||
    fail "written: $(find o | sort)"
[ "$(wc -c <o/m.zip/b/readme.txt)" = 11000 ] || fail "readme.txt not copied whole"
[ "$(date -u -r o/m.zip/b/readme.txt +%F)" = 2001-02-03 ] || fail "date: $(ls -l o/m.zip/b)"
# The member's mode, within what the archive itself allows.
[ "$(stat -c %a o/m.zip/b/readme.txt)" = 600 ] || fail "mode $(stat -c %a o/m.zip/b/readme.txt)"
[ ! -e evil.vk ] && [ ! -e o/evil.vk ] || fail "a name with .. was written"
[ "$(stat -c %a o/m.zip/a)" = 700 ] || fail "member folder mode $(stat -c %a o/m.zip/a)"
