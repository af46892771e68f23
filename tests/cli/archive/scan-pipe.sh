# scan reads a pipe as it reads a file, naming it -
host
dd if=host.bin status=none | vkt2 scan -q >piped 2>"$err"
[ "$(cat piped)" = "$(printf '%12s %10s %10s %s\n' 100 "$one" 220 'passed  -' 70000 "$two" 7 'passed  -')" ] ||
    fail "from a pipe: $(cat piped)"
