# scan -o on a folder puts outputs below its folders, made with their modes and dates
host
mkdir -p tree/sub && cp host.bin tree/sub/ && chmod 750 tree/sub && touch -d 2001-01-01 tree/sub
run scan -q -o mirror tree
[ "$(cat mirror/sub/host.bin@70000)" = second ] && [ "$(stat -c %a mirror/sub)" = 750 ] &&
    [ "$(date -u -r mirror/sub +%F)" = 2001-01-01 ] || fail "mirror: $(ls -la mirror/sub)"
